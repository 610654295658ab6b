// Window creation and teardown, ProcessMessage with its waiting state, the
// window procedure, window-mode changes and the message thread.
#include "runtime/core/window.h"

#include <stdio.h>
#include <string.h>

#include "runtime/core/api_internal.h"
#include "runtime/core/lock.h"
#include "runtime/core/log.h"
#include "runtime/core/subsystems.h"
#include "runtime/core/timing.h"
#include "runtime/core/window_state.h"
#include "runtime/graphics/screen.h"

namespace qx {
namespace {

constexpr int kMessagesPerPass = 5;

const PlatformWindowOps& Win() { return *GetPlatform().window; }

void Post(int type, int p1 = 0, int p2 = 0, int p3 = 0) {
  PlatformMessage m = {type, p1, p2, p3};
  Win().PostMessage(&m);
}

int LoadAtomic(const volatile int* p) { return __atomic_load_n(p, __ATOMIC_ACQUIRE); }

void RecordClientRect() {
  WindowState& ws = GetWindowState();
  int x = 0, y = 0, w = 0, h = 0;
  Win().GetClientRect(&x, &y, &w, &h);
  ws.clientLeft = x;
  ws.clientTop = y;
  ws.clientRight = x + w;
  ws.clientBottom = y + h;
}

int MessageThreadMain(void*) {
  WindowState& ws = GetWindowState();
  const PlatformOsOps& os = Os();
  ws.messageThreadId = os.CurrentThreadId();
  while (!LoadAtomic(&ws.QuitRequested)) {
    if (!ApiLockEnterUnlessEnding(&ws.QuitRequested)) break;
    int result = ProcessMessage();
    ApiLockLeaveNoYield();
    if (result < 0) break;
    os.Sleep(17);
  }
  ApiLockAbandonWait();
  __atomic_store_n(&ws.messageThreadEnded, 1, __ATOMIC_RELEASE);
  return 0;
}

void Activate(int active) {
  WindowState& ws = GetWindowState();
  if (ws.creatingWindow) return;
  ws.windowActive = active ? 1 : 0;
  if (active) {
    RestoreGraphicsAfterActivation();
    ReacquireInputDevices();
  } else if (ws.windowed) {
    ReacquireInputDevices();
  }
  UpdatePadVibration();
}

void DisplayChange(int bits, int width, int height) {
  WindowState& ws = GetWindowState();
  if (!ws.windowed) return;
  int screenW = GetScreenWidth(), screenH = GetScreenHeight();
  int previousBits = ws.desktopDepth;
  ws.desktopWidth = width;
  ws.desktopHeight = height;
  ws.desktopDepth = bits;
  if (!ws.modeChangeInProgress && (bits != ScreenColorBits() || width != screenW || height != screenH)) {
    if (bits == 24 || (bits != previousBits && bits == 8) || screenW > width || screenH > height) {
      LogWrite("復元関数が登録されていないためか画面が２４ビットカラーに変更されたため終了します\n");
      LogWrite("またはスクリーンが小さすぎるためか色ビット数の違いが大きいためか終了します\n");
      if (!ws.closePosted) {
        ws.closePosted = 1;
        Post(kMsgClose);
      }
    } else {
      RebuildScreenAfterDisplayChange();
    }
  }
  ws.displayChangeSeen = 1;
}

}  // namespace

void WindowProcedure(const PlatformMessage& m) {
  WindowState& ws = GetWindowState();
  switch (m.type) {
    case kMsgDestroy:
      LogWrite("ウインドウが破棄されようとしています\n");
      ws.destroyed = 1;
      LogWrite("ソフトを終了する準備が整いました\n");
      Post(kMsgQuit);
      __atomic_store_n(&ws.QuitRequested, 1, __ATOMIC_RELEASE);
      break;
    case kMsgClose:
      // A close that arrives after the window is gone (a quit signal after the close box) has no window to close.
      if (ws.destroyed) break;
      LogWrite("ウインドウを閉じようとしています\n");
      Win().Destroy();
      WindowProcedure(PlatformMessage{kMsgDestroy, 0, 0, 0});
      if (ws.ending == 0) ws.ending = 1;
      break;
    case kMsgMove:
      if (ws.windowed && !ws.modeChangeInProgress) {
        int w = ws.clientRight - ws.clientLeft, h = ws.clientBottom - ws.clientTop;
        ws.clientLeft = static_cast<int16_t>(m.param1);
        ws.clientTop = static_cast<int16_t>(m.param2);
        ws.clientRight = ws.clientLeft + w;
        ws.clientBottom = ws.clientTop + h;
        AdjustFrontTargetArea();
      }
      break;
    case kMsgSize:
      FitWindowToClient();
      break;
    case kMsgPaint:
      if (ws.windowed) ws.painting = 1;
      // Presenting belongs to the window's thread.
      if (ws.initialised && GetDrawTarget() == -2 && OnMainThread()) PresentForRepaint();
      ws.painting = 0;
      break;
    case kMsgActivate:
      Activate(m.param1);
      break;
    case kMsgActivateApp:
      if (m.param1 == 0) Activate(0);
      break;
    case kMsgSetCursor:
    case kMsgMouseMove:
      if (!ws.cursorVisibleInForce) Win().ShowCursor(0);
      break;
    case kMsgMouseWheel:
      ws.wheelCount += m.param1 > 0 ? 1 : -1;
      break;
    case kMsgDisplayChange:
      DisplayChange(m.param1, m.param2, m.param3);
      break;
    case kMsgChar: {
      int c = m.param1;
      if (c == 10) c = 13;
      if (c < 32 && c != 8 && c != 9 && c != 13 && c != 16 && c != 27) break;
      StoreCharacter(static_cast<unsigned char>(c));
      break;
    }
    case kMsgKeyDown:
      switch (m.param1) {
        case 0x2E: StoreCharacter(0x10); break;
        case 0x25: StoreCharacter(0x1D); break;
        case 0x27: StoreCharacter(0x1C); break;
        case 0x26: StoreCharacter(0x1E); break;
        case 0x28: StoreCharacter(0x1F); break;
        default: break;
      }
      break;
    default:
      break;
  }
}

int ProcessMessage() {
  WindowState& ws = GetWindowState();
  if (ws.inCharService) return 0;
  if (!ws.hasMainWindow) return LoadAtomic(&ws.QuitRequested) ? -1 : 0;
  const PlatformOsOps& os = Os();
  const PlatformWindowOps& win = Win();
  // Only the window's thread may pump the window system; other threads (the
  // message thread) make a single pass over the messages already queued.
  bool onMain = OnMainThread();
  bool handledAny = true;
  for (;;) {
    bool waiting = !ws.windowActive && !ws.runWhileInactive && !ws.closePosted;
    if (!waiting && (LoadAtomic(&ws.QuitRequested) || !handledAny)) break;
    if (waiting) os.Sleep(1);
    int dispatched = 0;
    bool leave = false;
    if (onMain) win.PumpEvents();
    PlatformMessage m;
    while (dispatched < kMessagesPerPass && win.PeekMessage(&m)) {
      if (m.type == kMsgActivateApp && ws.windowed) ws.windowActive = m.param1 != 0;
      if (LoadAtomic(&ws.QuitRequested)) {
        leave = true;
        break;
      }
      if (m.type == kMsgQuit) {
        __atomic_store_n(&ws.QuitRequested, 1, __ATOMIC_RELEASE);
      } else {
        WindowProcedure(m);
      }
      dispatched++;
    }
    if (leave) break;
    handledAny = dispatched > 0;
    if (!ws.windowActive) {
      UpdateStreamSounds();
      os.Sleep(1);
    }
    if (LoadAtomic(&ws.QuitRequested) || !onMain) break;
  }

  UpdateStreamSounds();
  UpdatePadVibration();
  ws.inCharService = 1;
  ws.inCharService = 0;
  return LoadAtomic(&ws.QuitRequested) ? -1 : 0;
}

void WaitWhileInactive() {
  WindowState& ws = GetWindowState();
  if (ws.painting || ws.windowActive || (ws.runWhileInactive && ws.windowed)) return;
  // Without a window nothing can ever activate it.
  if (!ws.hasMainWindow) return;
  while (ProcessMessage() == 0 && !ws.windowActive) {
  }
  RestoreGraphicsAfterActivation();
}

void ApplyWindowStyle() {
  WindowState& ws = GetWindowState();
  const PlatformWindowOps& win = Win();
  int width = GetScreenWidth(), height = GetScreenHeight();
  if (ws.windowed) {
    LogWrite("ウインドウスタイルをウインドウモード用に変更します... ");
    win.SetFullscreen(0);
    win.SetClientSize(width, height);
    RecordClientRect();
    SetCursorVisible(1);
  } else {
    LogWrite("ウインドウスタイルをフルスクリーンモード用に変更します... ");
    win.SetFullscreen(1);
    ws.clientLeft = 0;
    ws.clientTop = 0;
    ws.clientRight = width;
    ws.clientBottom = height;
    SetCursorVisible(0);
  }
  LogWrite("完了\n");
  Post(kMsgSetCursor);
}

void FitWindowToClient() {
  WindowState& ws = GetWindowState();
  if (!Win().Exists()) return;
  int w = 0, h = 0;
  Win().GetClientRect(nullptr, nullptr, &w, &h);
  int width = GetScreenWidth(), height = GetScreenHeight();
  if (ws.windowed && (w != width || h != height)) Win().SetClientSize(width, height);
  if (ws.windowed) RecordClientRect();
  if (ws.windowed && !ws.stylesApplied) {
    ws.stylesApplied = 1;
    ApplyWindowStyle();
  }
}

int ChangeWindowMode(int windowed) {
  WindowState& ws = GetWindowState();
  LogWrite("ChangeWindowMode実行 \n");
  if (windowed == ws.windowed) return 0;
  ws.stylesApplied = 1;
  ws.windowed = windowed;
  LogWrite(windowed ? "ウインドウモードフラグが立てられました\n" : "ウインドウモードフラグが倒されました\n");
  if (!ws.hasMainWindow) return 0;

  ws.modeChangeInProgress = 1;
  ws.displayChangeSeen = 0;
  ApplyWindowStyle();
  int result = RecreateScreenForWindowMode();
  // Desktop-sized full screen changes no display mode, so no display change
  // may ever arrive: the wait is bounded.
  uint32_t start = TickNow();
  while (ProcessMessage() == 0 && !ws.displayChangeSeen && static_cast<uint32_t>(TickNow() - start) < 1000u) {
    Os().Sleep(1);
  }
  ws.modeChangeInProgress = 0;
  return result;
}

int CreateMainWindow() {
  WindowState& ws = GetWindowState();
  const PlatformOsOps& os = Os();
  const PlatformWindowOps& win = Win();

  ResetWindowStateKeepingSettings();
  if (ws.className[0] == '\0') {
    snprintf(ws.className, sizeof(ws.className), "%s", ws.caption[0] ? ws.caption : "QRT00001X");
  }
  ws.mainThreadId = os.CurrentThreadId();

  PlatformSystemInfo info;
  os.QuerySystemInfo(&info);
  ws.totalMemory = info.totalMemory;
  ws.availableMemory = info.availableMemory;
  // 64-bit amounts: a 32-bit view misreports machines with more than 4 GB.
  LogText("メモリ総量:%.2fMB  空きメモリ領域:%.2fMB ", info.totalMemory / 1048576.0, info.availableMemory / 1048576.0);
  char debug[64];
  snprintf(debug, sizeof(debug), "%.2fMB\n", info.availableMemory / 1048576.0);
  os.DebugOutput(debug);

  win.GetDesktopMode(&ws.desktopWidth, &ws.desktopHeight, &ws.desktopDepth, nullptr);
  ws.clientWidth = GetScreenWidth();
  ws.clientHeight = GetScreenHeight();

  TimerCheck();
  SeedRandom(static_cast<int>(TickNow()));
  win.SetScreenSaverEnabled(0);

  LogWrite("ソフトの二重起動検査... ");
  if (win.AcquireInstanceLock(ws.className) != 0) {
    LogWrite("二重起動されています、ソフトを終了します\n");
    __atomic_store_n(&ws.QuitRequested, 1, __ATOMIC_RELEASE);
    return -1;
  }
  LogWrite("二重起動はされていませんでした\n");

  LogWrite("ウインドウクラスを登録します... ");
  ws.creatingWindow = 1;
  LogWrite("登録に成功しました\n");
  if (ws.caption[0] == '\0') snprintf(ws.caption, sizeof(ws.caption), "%s", "GameRuntime");

  if (ws.windowed) {
    LogWrite("ウインドウモード起動用のウインドウを作成します\n");
    ws.windowedStyle = 1;
  } else {
    LogWrite("フルスクリーンモード用のウインドウを作成します\n");
    ws.windowedStyle = 0;
  }
  if (win.Create(ws.caption, ws.iconId == 0 ? 32512 : ws.iconId, ws.clientWidth, ws.clientHeight, ws.windowed) != 0) {
    LogWrite("ウインドウの作成に失敗しました\n");
    __atomic_store_n(&ws.QuitRequested, 1, __ATOMIC_RELEASE);
    ws.creatingWindow = 0;
    win.ReleaseInstanceLock();
    return -1;
  }
  ws.hasMainWindow = 1;
  ws.closePosted = 0;
  ws.destroyed = 0;
  ws.windowActive = 1;
  if (!ws.windowed) {
    LogWrite("カーソルを不可視にしました\n");
    win.ShowCursor(0);
  }
  LogWrite("ＩＭＥを無効にしました\n");

  if (ws.windowed) RecordClientRect();
  ws.oemCodePageFlag = 1;
  SetCursorVisible(ws.windowedStyle);
  ws.ending = 0;
  // Lets the window system map and expose the window before drawing starts.
  uint32_t start = TickNow();
  while (static_cast<uint32_t>(TickNow() - start) < 200u) {
    ProcessMessage();
    os.Sleep(1);
  }
  if (ws.windowed) FitWindowToClient();
  ws.creatingWindow = 0;

  __atomic_store_n(&ws.messageThreadEnded, 0, __ATOMIC_RELEASE);
  ws.messageThread = os.ThreadCreate(MessageThreadMain, nullptr);
  if (!ws.messageThread) {
    LogWrite("ProcessMessage をひたすら呼びつづけるスレッドの立ち上げに失敗しました\n");
  } else {
    ws.messageThreadStarted = 1;
  }
  return 0;
}

void EndMainWindow() {
  WindowState& ws = GetWindowState();
  const PlatformOsOps& os = Os();
  const PlatformWindowOps& win = Win();
  if (!ws.hasMainWindow) return;

  win.SetScreenSaverEnabled(1);
  SetCursorVisible(1);

  bool onMain = OnMainThread();
  if (!ws.closePosted) {
    ws.closePosted = 1;
    Post(kMsgClose);
  }
  if (onMain) {
    // A close lost to a full queue must not keep shutdown waiting for ever.
    for (int pass = 0; pass < 1000 && ProcessMessage() == 0; ++pass) {
    }
  }
  // Off the main thread (a fatal exit on the message thread) nothing waits for the close.
  if (!LoadAtomic(&ws.QuitRequested) && !ws.destroyed) WindowProcedure(PlatformMessage{kMsgClose, 0, 0, 0});
  win.Destroy();
  win.ReleaseInstanceLock();

  if (ws.messageThreadStarted) {
    bool self = os.CurrentThreadId() == ws.messageThreadId;
    if (!self) {
      while (!LoadAtomic(&ws.messageThreadEnded)) os.Sleep(1);
      os.ThreadJoin(static_cast<PlatformThread*>(ws.messageThread));
    }
    ws.messageThread = nullptr;
    ws.messageThreadStarted = 0;
  }
  os.TimerEndPeriod(ws.timerPeriodMin);
  ws.hasMainWindow = 0;
}

}  // namespace qx
