// Start-up and shutdown of the whole runtime, the settings given before
// start-up, the system report and the fatal exit.
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#if defined(__x86_64__) || defined(__i386__)
#include <x86intrin.h>
#endif

#include "runtime/core/alloc.h"
#include "runtime/core/api_internal.h"
#include "runtime/core/checkpoint.h"
#include "runtime/core/lock.h"
#include "runtime/core/log.h"
#include "runtime/core/subsystems.h"
#include "runtime/core/timing.h"
#include "runtime/core/window.h"
#include "runtime/core/window_state.h"
#include "runtime/file/file.h"
#include "runtime/platform/platform.h"
#include "runtime/platform/process_memory.h"

namespace qx {
namespace {

const PlatformWindowOps& Win() { return *GetPlatform().window; }

uint64_t ReadTimeStampCounter() {
#if defined(__x86_64__) || defined(__i386__)
  return __rdtsc();
#else
  return 0;
#endif
}

void WriteSystemReport() {
  WindowState& ws = GetWindowState();
  const PlatformOsOps& os = Os();
  LogWrite("システムの情報を出力します\n");
  LogIndentIncrease();
  LogText("ランタイム Ver%s\n", "1.00");

  PlatformSystemInfo info;
  os.QuerySystemInfo(&info);
  LogWrite("ＯＳ  ");
  LogText("%s ( Build %d %s )\n", info.osName[0] ? info.osName : "Linux", info.osBuild, info.osRelease);

  ws.timerPeriodMin = os.TimerPeriodMin();
  os.TimerBeginPeriod(ws.timerPeriodMin);

  ws.hasTsc = info.hasTsc;
  if (info.hasCpuid && info.hasTsc) {
    uint64_t c0 = ReadTimeStampCounter();
    uint32_t t0 = TickNow();
    while (static_cast<uint32_t>(TickNow() - t0) < 100u) os.Sleep(1);
    uint64_t diff = ReadTimeStampCounter() - c0;
    ws.cpuMHz = static_cast<int>(static_cast<double>(diff) * 0.00001);
    LogText("ＣＰＵ動作速度：大体%.2fGHz\n", ws.cpuMHz * 0.001);
  }
  if (!info.hasCpuid) {
    LogWrite("ＣＰＵＩＤ命令は使えません\n");
  } else {
    if (info.hasMmx) {
      LogWrite("ＭＭＸ命令を使用します\n");
      ws.hasMmx = 1;
    } else {
      LogWrite("ＭＭＸは使えません\n");
    }
    LogText("ＣＰＵベンダ：%.12s\n", info.cpuVendor);
    if (info.cpuBrand[0]) {
      LogText("ＣＰＵ名：%s\n", info.cpuBrand);
      snprintf(ws.cpuName, sizeof(ws.cpuName), "%s", info.cpuBrand);
    }
  }
  LogIndentDecrease();
}

// Longer texts are cut to the field, as the window's fields always were.
void CopyText(char* field, size_t size, const char* text) {
  const size_t n = text ? strnlen(text, size - 1) : 0;
  if (n) memcpy(field, text, n);
  field[n] = '\0';
}

}  // namespace

int SetWindowCaption(const char* caption) {
  WindowState& ws = GetWindowState();
  CopyText(ws.caption, sizeof(ws.caption), caption);
  if (ws.hasMainWindow && Win().Exists()) Win().SetCaption(ws.caption);
  return 0;
}

int SetWindowIconResource(int iconId) {
  WindowState& ws = GetWindowState();
  ws.iconId = iconId;
  if (ws.hasMainWindow && Win().Exists()) Win().SetIcon(iconId == 0 ? 32512 : iconId);
  return 0;
}

int SetLogFileEnabled(int enabled) {
  GetWindowState().logDisabled = enabled == 0 ? 1 : 0;
  return 0;
}

int SetRunWhileInactive(int flag) {
  GetWindowState().runWhileInactive = flag;
  return 0;
}

int InitRuntime() {
  WindowState& ws = GetWindowState();
  const PlatformOsOps& os = Os();
  ws.initialising = 1;
  KeepLargeBlocksOutOfHeap();

  InitFileLayer();
  // The file layer reports its directory; the process's own is the fallback.
  char directory[4096] = "";
  if (FileGetDirectory(directory) != 0 || directory[0] == '\0') os.GetCurrentDirectory(directory, sizeof(directory));
  CopyText(ws.StartDirectory, sizeof(ws.StartDirectory), directory);
  StartLog();

  int desktopBits = 0;
  Win().GetDesktopMode(nullptr, nullptr, &desktopBits, nullptr);
  if ((desktopBits == 24 && ws.windowed == 1) || GetRequestedColorBits() == 24) {
    LogWrite("ランタイムは２４ビットカラーモードに対応していません\n");
    ws.initialising = 0;
    return -1;
  }

  ws.counterFrequency = os.CounterFrequency();
  ws.UsePerformanceCounter = ws.counterFrequency != 0;
  WriteSystemReport();
  InstallStreamTables();
  InstallDefaultImageLoader();

  bool ok = false;
  do {
    // COM has no counterpart here; its flag still refuses a second start-up.
    if (ws.comInitialised) break;
    LogWrite("ＣＯＭの初期化... ");
    LogWrite("成功しました\n");
    ws.comInitialised = 1;

    if (CreateMainWindow() != 0) break;
    if (SetUpInput() == -1) break;
    InitSound();
    if (InitGraphics() < 0) break;

    LogWrite("文字コードバッファの初期化を行います... ");
    ws.charWrite = 0;
    ws.charRead = 0;
    LogWrite("完了しました\n");

    ws.initialised = 1;
    EnableVerticalSync(1);
    InitOnScreenLog();
    SetDrawTarget(-2);
    SetDrawTarget(-4);
    GraphicsWarmUp();
    ok = true;
  } while (false);

  if (!ok) {
    RunEndSequence();
    ws.initialising = 0;
    return -1;
  }
  ws.initialising = 0;
  return 0;
}

void RunEndSequence() {
  WindowState& ws = GetWindowState();
  ws.ending = 1;
  EndOnScreenLog();
  StopMusic();
  EndGraphics();
  EndInput();
  EndSound();
  EndMainWindow();
  if (ws.comInitialised) {
    LogWrite("ＣＯＭを終了... 完了\n");
    ws.comInitialised = 0;
  }
  ws.initialised = 0;
  if (ws.StartDirectory[0]) FileSetDirectory(ws.StartDirectory);
  CloseUnusedArchives();
  WriteAllocationReport();
  WriteResourceCheckpoint("end");
}

int EndRuntime() {
  RunEndSequence();
  return 0;
}

void FatalShutdown(const char* text) {
  LogWrite(text);
  LogWrite("\n");
  RunEndSequence();
  ApiLockTeardown();
  exit(-1);
}

void FatalShutdownFormat(const char* format, ...) {
  char text[1024];
  va_list args;
  va_start(args, format);
  vsnprintf(text, sizeof(text), format, args);
  va_end(args);
  FatalShutdown(text);
}

}  // namespace qx

int FillPixelFormatRecord(PixelFormatRecord* out, int bits, int redMask, int greenMask, int blueMask, int alphaMask) {
  memset(out, 0, sizeof(*out));
  out->Size = 32;
  out->Flags = 0x40;  // RGB; no alpha flag whatever the alpha mask
  out->RGBBitCount = static_cast<uint32_t>(bits);
  out->RBitMask = static_cast<uint32_t>(redMask);
  out->GBitMask = static_cast<uint32_t>(greenMask);
  out->BBitMask = static_cast<uint32_t>(blueMask);
  out->RGBAlphaBitMask = static_cast<uint32_t>(alphaMask);
  return 0;
}
