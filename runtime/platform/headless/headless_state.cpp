// The headless back end's shared state and its input script player.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <time.h>

#include <vector>

#include "runtime/platform/headless/headless.h"
#include "runtime/platform/input_axis.h"
#include "runtime/platform/input_latch.h"
#include "runtime/platform/tables.h"

namespace qx {
namespace {

// A click's release, held back until the frame after its press.
constexpr int kHeadlessClick = 100;  // a = button, b = x, c = y

struct PendingRelease {
  uint64_t frame;
  int button;
};

std::vector<HeadlessEvent> g_events;
size_t g_next = 0;  // events before this index have all fired
std::vector<uint8_t> g_fired;
PendingRelease g_releases[16];
int g_releaseCount = 0;

// Presses since the last read, as the SDL back end keeps them.
InputLatch<256> g_keyLatch;
InputLatch<8> g_mouseLatch;
InputLatch<32> g_padLatch[8];
void (*g_post)(const PlatformMessage*) = nullptr;  // null: the headless queue

struct KeyName {
  const char* name;
  int code;
};
const KeyName kKeyNames[] = {
    {"Escape", 1},     {"Esc", 1},        {"Space", 57},     {"Enter", 28},     {"Return", 28},
    {"Left", 203},     {"Right", 205},    {"Up", 200},       {"Down", 208},     {"Tab", 15},
    {"Backspace", 14}, {"Delete", 211},   {"Insert", 210},   {"Home", 199},     {"End", 207},
    {"PageUp", 201},   {"PageDown", 209}, {"LShift", 42},    {"RShift", 54},    {"LCtrl", 29},
    {"RCtrl", 157},    {"LAlt", 56},      {"RAlt", 184},     {"A", 30},         {"B", 48},
    {"C", 46},         {"D", 32},         {"E", 18},         {"F", 33},         {"G", 34},
    {"H", 35},         {"I", 23},         {"J", 36},         {"K", 37},         {"L", 38},
    {"M", 50},         {"N", 49},         {"O", 24},         {"P", 25},         {"Q", 16},
    {"R", 19},         {"S", 31},         {"T", 20},         {"U", 22},         {"V", 47},
    {"W", 17},         {"X", 45},         {"Y", 21},         {"Z", 44},         {"F1", 59},
    {"F2", 60},        {"F3", 61},        {"F4", 62},        {"F5", 63},        {"F6", 64},
    {"F7", 65},        {"F8", 66},        {"F9", 67},        {"F10", 68},       {"F11", 87},
    {"F12", 88},       {"Num0", 82},      {"Num1", 79},      {"Num2", 80},      {"Num3", 81},
    {"Num4", 75},      {"Num5", 76},      {"Num6", 77},      {"Num7", 71},      {"Num8", 72},
    {"Num9", 73},      {"NumEnter", 156},
};

bool ParseInt(const char* text, long low, long high, int* out) {
  if (!text) return false;
  char* end = nullptr;
  long v = strtol(text, &end, 10);
  if (end == text || *end != '\0' || v < low || v > high) return false;
  *out = static_cast<int>(v);
  return true;
}

bool ParseInt64(const char* text, int64_t* out) {
  if (!text) return false;
  char* end = nullptr;
  long long v = strtoll(text, &end, 10);
  if (end == text || *end != '\0' || v < 0) return false;
  *out = v;
  return true;
}

bool ParseButton(const char* text, int* out) {
  if (!text) return false;
  if (strcasecmp(text, "left") == 0) return *out = 0, true;
  if (strcasecmp(text, "right") == 0) return *out = 1, true;
  if (strcasecmp(text, "middle") == 0) return *out = 2, true;
  return ParseInt(text, 0, 7, out);
}

bool ParseKey(const char* text, int* out) {
  if (!text) return false;
  for (const KeyName& k : kKeyNames) {
    if (strcasecmp(text, k.name) == 0) return *out = k.code, true;
  }
  return ParseInt(text, 0, 255, out);
}

// 1 down, 0 up, 2 a tap: down and up before the next read.
bool ParseUpDown(const char* text, int* out) {
  if (!text) return false;
  if (strcasecmp(text, "down") == 0) return *out = 1, true;
  if (strcasecmp(text, "up") == 0) return *out = 0, true;
  if (strcasecmp(text, "tap") == 0) return *out = 2, true;
  return false;
}

// "YYYY-MM-DD" and "HH:MM:SS" into the fields of a date event.
bool ParseDate(const char* day, const char* time, HeadlessEvent* ev) {
  if (!day || !time) return false;
  int y, mo, d, h, mi, s, end1 = 0, end2 = 0;
  if (sscanf(day, "%4d-%2d-%2d%n", &y, &mo, &d, &end1) != 3 || day[end1] != '\0') return false;
  if (sscanf(time, "%2d:%2d:%2d%n", &h, &mi, &s, &end2) != 3 || time[end2] != '\0') return false;
  if (y < 1970 || mo < 1 || mo > 12 || d < 1 || d > 31 || h < 0 || h > 23 || mi < 0 || mi > 59 || s < 0 || s > 60)
    return false;
  ev->a = y * 10000 + mo * 100 + d;
  ev->b = h * 10000 + mi * 100 + s;
  return true;
}

bool ParseAxis(const char* text, int* out) {
  static const char* const kNames[] = {"x", "y", "z", "rx", "ry", "rz"};
  if (!text) return false;
  for (int i = 0; i < 6; ++i) {
    if (strcasecmp(text, kNames[i]) == 0) return *out = i, true;
  }
  return ParseInt(text, 0, 5, out);
}

// tok[0] is the event's name; the caller has checked the count is at least 1.
bool ParseEvent(char** tok, int count, HeadlessEvent* ev) {
  const char* name = tok[0];
  auto arg = [&](int i) -> const char* { return i < count ? tok[i] : nullptr; };
  int expected = 0;
  bool ok = false;
  if (strcmp(name, "move") == 0) {
    ev->type = kHeadlessMove;
    expected = 3;
    ok = ParseInt(arg(1), -100000, 100000, &ev->a) && ParseInt(arg(2), -100000, 100000, &ev->b);
  } else if (strcmp(name, "down") == 0 || strcmp(name, "up") == 0 || strcmp(name, "tap") == 0) {
    ev->type = kHeadlessButton;
    expected = 2;
    ev->b = name[0] == 'd' ? 1 : name[0] == 't' ? 2 : 0;
    ok = ParseButton(arg(1), &ev->a);
  } else if (strcmp(name, "click") == 0) {
    ev->type = kHeadlessClick;
    expected = 4;
    ok = ParseButton(arg(1), &ev->a) && ParseInt(arg(2), -100000, 100000, &ev->b) &&
         ParseInt(arg(3), -100000, 100000, &ev->c);
  } else if (strcmp(name, "key") == 0) {
    ev->type = kHeadlessKey;
    expected = 3;
    ok = ParseKey(arg(1), &ev->a) && ParseUpDown(arg(2), &ev->b);
  } else if (strcmp(name, "pad") == 0) {
    const char* what = arg(2);
    ok = ParseInt(arg(1), 0, 7, &ev->a) && what;
    if (ok && strcmp(what, "button") == 0) {
      ev->type = kHeadlessPadButton;
      expected = 5;
      ok = ParseInt(arg(3), 0, 31, &ev->b) && ParseUpDown(arg(4), &ev->c);
    } else if (ok && strcmp(what, "axis") == 0) {
      ev->type = kHeadlessPadAxis;
      expected = 5;
      ok = ParseAxis(arg(3), &ev->b) && ParseInt(arg(4), -1000, 1000, &ev->c);
    } else if (ok && strcmp(what, "reading") == 0) {
      ev->type = kHeadlessPadReading;
      expected = 6;
      ok = ParseAxis(arg(3), &ev->b) && ParseInt(arg(4), -1000, 1000, &ev->c) && ParseInt(arg(5), 0, 65535, &ev->d);
    } else if (ok && strcmp(what, "pov") == 0) {
      ev->type = kHeadlessPadPov;
      expected = 5;
      ok = ParseInt(arg(3), 0, 3, &ev->b) && ParseInt(arg(4), -1, 35999, &ev->c);
    } else {
      ok = false;
    }
  } else if (strcmp(name, "pads") == 0) {
    ev->type = kHeadlessPadConnect;
    expected = 2;
    ok = ParseInt(arg(1), 0, 8, &ev->a);
  } else if (strcmp(name, "wheel") == 0) {
    ev->type = kHeadlessWheel;
    expected = 2;
    ok = ParseInt(arg(1), -1000, 1000, &ev->a);
  } else if (strcmp(name, "close") == 0) {
    ev->type = kHeadlessClose;
    expected = 1;
    ok = true;
  } else if (strcmp(name, "paint") == 0) {
    ev->type = kHeadlessPaint;
    expected = 1;
    ok = true;
  } else if (strcmp(name, "date") == 0) {
    ev->type = kHeadlessDate;
    expected = 3;
    ok = ParseDate(arg(1), arg(2), ev);
  } else if (strcmp(name, "activate") == 0) {
    ev->type = kHeadlessActivate;
    expected = 2;
    ok = ParseInt(arg(1), 0, 1, &ev->a);
  }
  return ok && count == expected;
}

void Post(int type, int param1) {
  PlatformMessage m = {type, param1, 0, 0};
  if (g_post) {
    g_post(&m);
  } else if (kHeadlessWindowOps.PostMessage) {
    kHeadlessWindowOps.PostMessage(&m);
  }
}

// Sets a state byte: down and up as given, a tap leaves the state up but
// latches the press.
template <int N>
void SetButton(uint8_t* state, InputLatch<N>& latch, int index, int how) {
  state[index] = how == 1 ? 0x80 : 0;
  if (how != 0) latch.Press(index);
}

void SetAxisPosition(PlatformJoystickState& pad, int axis, int32_t position) {
  pad.axes[axis] = ScaleAxisWithDeadZone(position);
  pad.rawAxes[axis] = RawAxisPosition(position);
}

void ClearPads(HeadlessState& s) {
  for (PlatformJoystickState& pad : s.pads) {
    memset(&pad, 0, sizeof pad);
    for (int i = 0; i < 6; ++i) pad.rawAxes[i] = RawAxisPosition(0);
    for (int i = 0; i < 4; ++i) pad.pov[i] = -1;
    pad.axisCount = 6;
    pad.buttonCount = 32;
  }
}

void Apply(const HeadlessEvent& ev) {
  HeadlessState& s = Headless();
  switch (ev.type) {
    case kHeadlessMove:
      s.cursorX = ev.a;
      s.cursorY = ev.b;
      break;
    case kHeadlessButton:
      SetButton(s.mouseButtons, g_mouseLatch, ev.a, ev.b);
      break;
    case kHeadlessClick:
      s.cursorX = ev.b;
      s.cursorY = ev.c;
      SetButton(s.mouseButtons, g_mouseLatch, ev.a, 1);
      if (g_releaseCount < 16) {
        g_releases[g_releaseCount++] = {s.presentedFrames + 1, ev.a};
      } else {
        s.mouseButtons[ev.a] = 0;  // too many clicks in one frame: this one is lost
      }
      break;
    case kHeadlessKey:
      SetButton(s.keys, g_keyLatch, ev.a, ev.b);
      break;
    case kHeadlessClose:
      Post(kMsgClose, 0);
      break;
    case kHeadlessWheel:
      // One message per notch, as a wheel reports them.
      for (int i = 0; i < (ev.a < 0 ? -ev.a : ev.a); ++i) Post(kMsgMouseWheel, ev.a < 0 ? -120 : 120);
      break;
    case kHeadlessPadButton:
      SetButton(s.pads[ev.a].buttons, g_padLatch[ev.a], ev.b, ev.c);
      break;
    case kHeadlessPadAxis:
      // The script's -1000..1000 spans the device's whole travel.
      SetAxisPosition(s.pads[ev.a], ev.b, ev.c < 0 ? ev.c * 32768 / 1000 : ev.c * 32767 / 1000);
      break;
    case kHeadlessPadReading:
      s.pads[ev.a].axes[ev.b] = ev.c;
      s.pads[ev.a].rawAxes[ev.b] = static_cast<uint16_t>(ev.d);
      break;
    case kHeadlessPaint:
      Post(kMsgPaint, 0);
      break;
    case kHeadlessDate: {
      tm t{};
      t.tm_year = ev.a / 10000 - 1900;
      t.tm_mon = ev.a / 100 % 100 - 1;
      t.tm_mday = ev.a % 100;
      t.tm_hour = ev.b / 10000;
      t.tm_min = ev.b / 100 % 100;
      t.tm_sec = ev.b % 100;
      s.dateSeconds = static_cast<int64_t>(timegm(&t));
      s.dateClockMicros = s.clockMicros;
      __atomic_store_n(&s.dateSet, 1, __ATOMIC_RELEASE);
      break;
    }
    case kHeadlessPadPov:
      s.pads[ev.a].pov[ev.b] = ev.c;
      break;
    case kHeadlessActivate:
      Post(kMsgActivateApp, ev.a);
      Post(kMsgActivate, ev.a);
      break;
    case kHeadlessPadConnect:
      s.padCount = ev.a;
      break;
  }
}

bool Due(const HeadlessEvent& ev, const HeadlessState& s) {
  if (ev.frame >= 0) return s.presentedFrames >= static_cast<uint64_t>(ev.frame);
  return s.clockMicros / 1000 >= static_cast<uint64_t>(ev.timeMs);
}

}  // namespace

HeadlessState& Headless() {
  static HeadlessState state;
  return state;
}

void HeadlessReset() {
  HeadlessState& s = Headless();
  memset(&s, 0, sizeof s);
  ClearPads(s);
  s.cursorShown = 1;
  g_events.clear();
  g_fired.clear();
  g_next = 0;
  g_releaseCount = 0;
  HeadlessClearLatches();

  const char* path = getenv("QUARNEX_SCRIPT");
  if (!path || !*path) return;
  // A run without its input would wait for ever; a bad script ends it now.
  FILE* f = fopen(path, "rb");
  if (!f) {
    fprintf(stderr, "QUARNEX_SCRIPT: cannot open %s\n", path);
    exit(2);
  }
  std::vector<char> text;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) text.insert(text.end(), buffer, buffer + n);
  fclose(f);
  text.push_back('\0');
  if (HeadlessLoadScriptText(text.data()) < 0) {
    fprintf(stderr, "QUARNEX_SCRIPT: %s is not a valid input script\n", path);
    exit(2);
  }
}

int HeadlessLoadScriptText(const char* text) {
  std::vector<HeadlessEvent> events;
  int lineNumber = 0;
  const char* p = text;
  while (*p) {
    const char* end = strchr(p, '\n');
    size_t length = end ? static_cast<size_t>(end - p) : strlen(p);
    ++lineNumber;
    char line[512];
    if (length >= sizeof line) {
      fprintf(stderr, "input script line %d: too long\n", lineNumber);
      return -1;
    }
    memcpy(line, p, length);
    line[length] = '\0';
    p += length + (end ? 1 : 0);
    if (char* hash = strchr(line, '#')) *hash = '\0';

    char* tok[8];
    int count = 0;
    char* save = nullptr;
    for (char* t = strtok_r(line, " \t\r", &save); t; t = strtok_r(nullptr, " \t\r", &save)) {
      if (count == 8) {
        count = 9;
        break;
      }
      tok[count++] = t;
    }
    if (count == 0) continue;

    HeadlessEvent ev = {-1, -1, 0, 0, 0, 0, 0};
    bool ok = count >= 3 && count <= 8;
    if (ok && strcmp(tok[0], "frame") == 0) {
      ok = ParseInt64(tok[1], &ev.frame);
    } else if (ok && strcmp(tok[0], "time") == 0) {
      ok = ParseInt64(tok[1], &ev.timeMs);
    } else {
      ok = false;
    }
    if (ok) ok = ParseEvent(tok + 2, count - 2, &ev);
    if (!ok) {
      fprintf(stderr, "input script line %d: not understood\n", lineNumber);
      return -1;
    }
    events.push_back(ev);
  }
  g_events.swap(events);
  g_fired.assign(g_events.size(), 0);
  g_next = 0;
  g_releaseCount = 0;
  return static_cast<int>(g_events.size());
}

void HeadlessApplyDueEvents() {
  HeadlessState& s = Headless();
  // Releases of earlier clicks come first, so a click and a later press of
  // the same button in one frame end pressed.
  for (int i = 0; i < g_releaseCount;) {
    if (s.presentedFrames >= g_releases[i].frame) {
      s.mouseButtons[g_releases[i].button] = 0;
      g_releases[i] = g_releases[--g_releaseCount];
    } else {
      ++i;
    }
  }
  bool allBefore = true;
  for (size_t i = g_next; i < g_events.size(); ++i) {
    if (g_fired[i]) {
      if (allBefore) g_next = i + 1;
      continue;
    }
    if (Due(g_events[i], s)) {
      g_fired[i] = 1;
      Apply(g_events[i]);
      if (allBefore) g_next = i + 1;
    } else {
      allBefore = false;
    }
  }
}

void HeadlessAdvanceMicros(uint64_t micros) { Headless().clockMicros += micros; }

void HeadlessBeginPump() {
  const uint64_t frame = Headless().presentedFrames;
  const uint64_t now = Headless().clockMicros / 1000;
  g_keyLatch.BeginPump(frame, now);
  g_mouseLatch.BeginPump(frame, now);
  for (InputLatch<32>& pad : g_padLatch) pad.BeginPump(frame, now);
}

void HeadlessClearLatches() {
  g_keyLatch.Clear();
  g_mouseLatch.Clear();
  for (InputLatch<32>& pad : g_padLatch) pad.Clear();
}

void HeadlessReadKeys(uint8_t keys[256]) {
  memcpy(keys, Headless().keys, 256);
  g_keyLatch.Apply(keys, 256, Headless().presentedFrames, Headless().clockMicros / 1000);
}

void HeadlessReadMouseButtons(uint8_t buttons[8]) {
  memcpy(buttons, Headless().mouseButtons, 8);
  g_mouseLatch.Apply(buttons, 8, Headless().presentedFrames, Headless().clockMicros / 1000);
}

void HeadlessReadPad(int index, PlatformJoystickState* out) {
  *out = Headless().pads[index];
  g_padLatch[index].Apply(out->buttons, 32, Headless().presentedFrames, Headless().clockMicros / 1000);
}

void HeadlessSetMessageSink(void (*post)(const PlatformMessage*)) { g_post = post; }

}  // namespace qx
