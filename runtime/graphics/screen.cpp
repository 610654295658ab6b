// Screen mode, the software back end's screen images, the draw target and
// presentation with its frame pacing.
#include "runtime/graphics/screen.h"

#include <string.h>

#include "runtime/core/api_internal.h"
#include "runtime/core/log.h"
#include "runtime/core/onscreen_log.h"
#include "runtime/core/subsystems.h"
#include "runtime/core/timing.h"
#include "runtime/core/window_state.h"
#include "runtime/graphics/draw_pool.h"
#include "runtime/graphics/draw_state.h"
#include "runtime/graphics/font.h"
#include "runtime/graphics/graph.h"
#include "runtime/graphics/hw.h"
#include "runtime/graphics/renderer.h"
#include "runtime/graphics/renderer_internal.h"
#include "runtime/platform/platform.h"

namespace qx {
namespace {

constexpr int kMaxScreenSide = 16384;

struct ScreenState {
  bool softwareRenderer;
  bool choosingBackEnd;  // the first start-up on the hardware back end
  bool displayObject;  // the display is open (between start-up and shutdown)
  bool screenExists;   // the screen images exist
  bool fullScreenInForce;
  bool verticalSync;
  bool useBitBltTransfer;
  bool swapPaced;  // the device's presentation waits for the display's refresh
  uint64_t presentedFrames;
  int framePeriodMs = -1;
  int refreshRateHz = -1;
  int displayRateHz;  // what the display reports, for the pacing guard
  int vsyncSleepThresholdMs = -1;
  uint32_t lastVSyncTime;
  uint32_t lastModeChangeTime;
  bool modeChangedOnce;
  uint32_t lastPresentMs;
  uint8_t backR, backG, backB;
  int drawTarget = -4;
  int targetWidth, targetHeight;
  MEMIMG front, back, depth;
  MEMIMG targetView;  // graph targets
  PixelFormatRecord pixelFormat;
};

ScreenMode g_mode;
ScreenState g_s;

int ModeWidth() { return g_mode.width ? g_mode.width : 640; }
int ModeHeight() { return g_mode.height ? g_mode.height : 480; }
int ModeBits() { return g_mode.colorBits ? g_mode.colorBits : 16; }

const PlatformDisplayOps* Display() { return GetPlatform().display; }
const PlatformWindowOps* Window() { return GetPlatform().window; }

void FillImage(MEMIMG* img, uint32_t value) {
  if (!img || img->validMarker != kMemImgValid || !img->pixels) return;
  // Copied out of the record: stores through the rows could otherwise change
  // it as far as the compiler knows, and every pixel would reload it.
  const int bpp = MemImageBytesPerPixel(img->pixelType, img->alphaFlag, img->paletteFlag);
  const int w = img->width, h = img->height;
  const ptrdiff_t pitch = img->pitch;
  uint8_t* const first = img->pixels;
  if (w <= 0 || h <= 0) return;
  const size_t rowBytes = static_cast<size_t>(w) * bpp;
  if (bpp == 1) {
    memset(first, static_cast<int>(value & 0xFF), rowBytes);
  } else {
    FillPlan plan{0, 0, value, bpp == 4};
    FillRow(plan, first, w);
  }
  // The other rows are copies of the first, at the speed of the memory.
  for (int y = 1; y < h; ++y) memcpy(first + y * pitch, first, rowBytes);
}

uint32_t BackgroundValue(const MEMIMG* img) {
  if (img->pixelType == kPixelMask8) return g_s.backR;
  return PackColor(img->format, g_s.backR, g_s.backG, g_s.backB, 255);
}

void ClearScreenImages() {
  FillImage(&g_s.front, BackgroundValue(&g_s.front));
  FillImage(&g_s.back, BackgroundValue(&g_s.back));
  FillImage(&g_s.depth, 0xFFFF);
}

void ReleaseScreenImages() {
  HwDestroyDevice();
  LogWrite("メインサーフェスを破棄をします... ");
  ReleaseMemImage(&g_s.front);
  ReleaseMemImage(&g_s.back);
  ReleaseMemImage(&g_s.depth);
  g_s.screenExists = false;
  LogWrite("完了しました\n");
}

// Hands a screen image to the platform display.
void PresentImage(const MEMIMG* img) {
  if (HwInUse()) {
    HwPresent(img);
    return;
  }
  const PlatformDisplayOps* d = Display();
  if (!d || !d->Present || img->validMarker != kMemImgValid) return;
  d->Present(img->pixels, img->pitch, img->width, img->height, img->format->ColorBitDepth);
}

int DisplayInVerticalBlank() {
  const PlatformDisplayOps* d = Display();
  return d && d->InVerticalBlank ? d->InVerticalBlank() : 1;
}

void DisplayWaitForVerticalBlank() {
  const PlatformDisplayOps* d = Display();
  if (d && d->WaitForVerticalBlank) d->WaitForVerticalBlank();
}

void FillPixelFormat(int bits) {
  PixelFormatRecord& r = g_s.pixelFormat;
  memset(&r, 0, sizeof(r));
  r.Size = sizeof(PixelFormatRecord);
  r.Flags = 0x40;
  r.RGBBitCount = static_cast<uint32_t>(bits);
  if (bits == 16) {
    r.RBitMask = 0xF800;
    r.GBitMask = 0x7E0;
    r.BBitMask = 0x1F;
  } else {
    r.RBitMask = 0xFF0000;
    r.GBitMask = 0xFF00;
    r.BBitMask = 0xFF;
  }
}

// The display part of a mode change. Returns 0 or -1.
int SetDisplayMode(int width, int height, int bits, int refreshRate) {
  WindowState& ws = GetWindowState();
  // Unset values read as 640 x 480 x 16.
  if (width == 0) width = 640;
  if (height == 0) height = 480;
  if (bits == 0) bits = 16;
  LogPrintf("画面モードの変更処理を開始します %u x %u  %u bit ", static_cast<unsigned>(width),
            static_cast<unsigned>(height), static_cast<unsigned>(bits));
  (void)refreshRate;  // the window system picks the rate of a full-screen desktop
  // No display offers such a mode; refusing it here takes the fallback path
  // instead of trying to allocate the screens.
  if (width <= 0 || height <= 0 || width > kMaxScreenSide || height > kMaxScreenSide) {
    LogWrite("画面モードの変更に失敗しました\n");
    return -1;
  }
  const PlatformWindowOps* w = Window();
  if (ws.windowed) {
    LogWrite("ウインドウモードにします\n");
    int dw = 0, dh = 0, dbits = 0, drate = 0;
    if (w && w->GetDesktopMode) w->GetDesktopMode(&dw, &dh, &dbits, &drate);
    if (dw > 0 && dh > 0 && (dw < width || dh < height)) {
      FatalShutdown("デスクトップ画面のサイズが足りません、ソフトを終了します");
    }
    if (g_s.fullScreenInForce) {
      LogWrite("フルスクリーンモードから抜けます\n");
      if (w && w->SetFullscreen) w->SetFullscreen(0);
      g_s.fullScreenInForce = false;
    }
    if (dbits == 24) return -1;
    g_mode.colorBits = dbits > 0 ? dbits : bits;
  } else {
    if (bits == 24) return -1;
    LogWrite("画面解像度を変更します... ");
    if (w && w->SetClientSize) w->SetClientSize(width, height);
    if (w && w->SetFullscreen) w->SetFullscreen(1);
    LogWrite("成功しました\n");
    g_s.fullScreenInForce = true;
    g_mode.colorBits = bits;
  }
  // The software screens know only two layouts.
  if (g_mode.colorBits != 16 && g_mode.colorBits != 32) g_mode.colorBits = 16;
  LogWrite("画面モードの変更は正常に終了しました \n");
  return 0;
}

// The screen images, and with the hardware back end (when it is to be
// tried) the device; *deviceMade tells whether that worked.
int CreateScreenImages(bool tryDevice, bool* deviceMade) {
  LogWrite("カラー情報\n");
  FillPixelFormat(ModeBits());
  LogPrintf("A:%08x  B:%08x  G:%08x  B:%08x", g_s.pixelFormat.RGBAlphaBitMask, g_s.pixelFormat.RBitMask,
            g_s.pixelFormat.GBitMask, g_s.pixelFormat.BBitMask);
  LogWrite("出力画面用の DirectDrawSurface を作成します\n");
  int type = GetRequestedColorBits() == 16 ? kPixel16 : kPixel32;
  int w = ModeWidth(), h = ModeHeight();
  if (CreateMemImage(&g_s.front, w, h, -1, 0, type, 0, 0, false) != 0) {
    FatalShutdown("プライマリサーフェス用の MEMIMG の作成に失敗しました\n");
  }
  if (CreateMemImage(&g_s.back, w, h, -1, 0, type, 0, 0, false) != 0) {
    FatalShutdown("バックサーフェス用の MEMIMG の作成に失敗しました\n");
  }
  if (CreateMemImage(&g_s.depth, w, h, -1, 0, kPixelDepth16, 0, 0, false) != 0) {
    FatalShutdown("Ｚバッファサーフェス用の MEMIMG の作成に失敗しました\n");
  }
  // The device draws 32-bit screens only.
  *deviceMade = tryDevice && type == kPixel32 && HwCreateDevice(w, h) == 0;
  LogWrite("各スクリーンメモリの配置位置\n");
  if (*deviceMade) {
    LogWrite("PrimaryBuffer : VIDEOMEMORY  ");
    LogWrite("BaskBuffer : VIDEOMEMORY  \n");
  } else {
    LogWrite("PrimaryBuffer : SYSTEMMEMORY( MEMIMG ) ");
    LogWrite("BaskBuffer : SYSTEMMEMORY( MEMIMG ) \n");
  }
  g_s.screenExists = true;
  ClearScreenImages();
  // Video memory holds whatever was there before.
  if (*deviceMade) HwClearBackScreen(g_s.backR, g_s.backG, g_s.backB);
  LogWrite("出力画面用の DirectDrawSurface の作成は正常に終了しました\n");
  return 0;
}

// Hardware back end: which of two whole-screen copies is quicker.
void ChooseTransferMethod() {
  double deviceUs = 0, mainMemoryUs = 0;
  HwTimeTransfers(&deviceUs, &mainMemoryUs);
  g_s.useBitBltTransfer = !(deviceUs < mainMemoryUs);
  LogPrintf("サーフェス間転送には %s を使用します", g_s.useBitBltTransfer ? "BitBlt" : "BltFast");
  LogPrintf("BitBlt:%.0lfμs   BltFast:%.0lfμs", mainMemoryUs, deviceUs);
}

bool TargetSize(int target, int* w, int* h) {
  if (target == -2 || target == -4) {
    *w = ModeWidth();
    *h = ModeHeight();
    return true;
  }
  MEMIMG view;
  if (GetGraphImage(target, &view) != 0) return false;
  *w = view.width;
  *h = view.height;
  return true;
}

}  // namespace

const ScreenMode& GetScreenModeRecord() { return g_mode; }

void GetScreenSize(int* width, int* height) {
  if (width) *width = ModeWidth();
  if (height) *height = ModeHeight();
}
int GetScreenWidth() { return ModeWidth(); }
int GetScreenHeight() { return ModeHeight(); }
int GetRequestedColorBits() { return g_mode.requestedColorBits ? g_mode.requestedColorBits : 16; }

int GetDrawTarget() { return g_s.drawTarget; }

MEMIMG* GetDrawTargetImage() {
  if (!g_s.screenExists) return nullptr;
  if (g_s.drawTarget == -2) {
    // The caller draws with the main processor.
    if (HwInUse()) HwBackScreenForWrite(&g_s.back);
    return &g_s.back;
  }
  if (g_s.drawTarget == -4) return &g_s.front;
  // Looked up every time: the graph may have been deleted since it became the target.
  if (GetGraphImage(g_s.drawTarget, &g_s.targetView) != 0) return nullptr;
  if (HwInUse()) HwNoteStoreChanged(GraphStore(g_s.drawTarget));
  return &g_s.targetView;
}

MEMIMG* GetBackScreenImage() {
  if (!g_s.screenExists) return nullptr;
  if (HwInUse()) HwBackScreenForRead(&g_s.back);
  return &g_s.back;
}
MEMIMG* GetFrontScreenImage() { return g_s.screenExists ? &g_s.front : nullptr; }

const ColorFormat* GetScreenColorFormat() {
  if (g_s.screenExists) return g_s.back.format;
  return GetMemImageFormat(GetRequestedColorBits() == 16 ? kPixel16 : kPixel32, 0, 0);
}

int ScreenColorBits() { return GetScreenColorFormat()->ColorBitDepth; }
int ScreenExists() { return g_s.screenExists ? 1 : 0; }
int UseSoftwareRenderer() { return g_s.softwareRenderer ? 1 : 0; }
uint64_t GetPresentedFrameCount() { return g_s.presentedFrames; }
int GetFramePeriodMs() { return g_s.framePeriodMs; }
int GetRefreshRateHz() { return g_s.refreshRateHz; }
int GetVSyncSleepThresholdMs() { return g_s.vsyncSleepThresholdMs; }
int VerticalSyncEnabled() { return g_s.verticalSync ? 1 : 0; }
void EnableVerticalSync(int enabled) { g_s.verticalSync = enabled != 0; }

void SetBackgroundColor(int r, int g, int b) {
  g_s.backR = static_cast<uint8_t>(r & 0xFF);
  g_s.backG = static_cast<uint8_t>(g & 0xFF);
  g_s.backB = static_cast<uint8_t>(b & 0xFF);
}

const PixelFormatRecord* GetScreenPixelFormat() {
  if (g_s.pixelFormat.Size == 0) FillPixelFormat(ModeBits());
  return &g_s.pixelFormat;
}

namespace {

// The first sample whose value comes again later in the pass, or -1.
int RepeatedSample(const int* samples, int n) {
  for (int i = 0; i < n; ++i)
    for (int j = i + 1; j < n; ++j)
      if (samples[i] == samples[j]) return samples[i];
  return -1;
}

// A presentation that waits less than this did not wait for the display.
constexpr int kShortestRefreshMs = 4;

// The hardware back end presents through the device's swap, which waits for
// the display's refresh where the driver honours the swap interval: the
// frame period is the time between two presentations.
void MeasureDevicePresentation() {
  const int n = g_s.refreshRateHz < 0 ? 20 : 4;
  int desktopW = 0, desktopH = 0, bits = 0, rate = 0;
  const PlatformWindowOps* w = Window();
  if (w && w->GetDesktopMode) w->GetDesktopMode(&desktopW, &desktopH, &bits, &rate);
  LogPrintf("スキャンラインの数:%d", desktopH);
  g_s.swapPaced = false;
  if (HwSwapInterval() == 0) {
    LogWrite("１フレームの時間を正常に取得できませんでした\n");
    return;
  }
  for (int i = 0; i < 3; ++i) HwPresent(nullptr);
  int samples[20];
  uint64_t totalUs = 0, totalSamples = 0;
  for (int pass = 0; pass < 5; ++pass) {
    for (int i = 0; i < n; ++i) {
      uint32_t tick = TickNow();
      uint64_t us = GetMicrosecondCount();
      HwPresent(nullptr);
      samples[i] = static_cast<int>(TickNow() - tick);
      totalUs += GetMicrosecondCount() - us;
    }
    totalSamples += static_cast<uint64_t>(n);
    if (pass == 4) break;
    int period = RepeatedSample(samples, n);
    if (period >= kShortestRefreshMs) g_s.framePeriodMs = period;
    if (g_s.refreshRateHz < 0 && totalUs >= totalSamples) {
      uint64_t r = 10000000 / (totalUs / totalSamples);
      g_s.refreshRateHz = static_cast<int>(r / 10 + (r % 10 > 5 ? 1 : 0));
    }
    if (g_s.framePeriodMs != -1) {
      // One more pass for the log only.
      pass = 3;
    }
  }
  if (g_s.framePeriodMs == -1) {
    LogWrite("１フレームの時間を正常に取得できませんでした\n");
  } else {
    LogPrintf("１フレーム当たりの時間は %d msecです", g_s.framePeriodMs);
    g_s.swapPaced = true;
  }
  for (int i = 0; i < n; ++i) LogPrintf("\tTri%02d:%d msec", i, samples[i]);
}

}  // namespace

void MeasureFramePeriod() {
  g_s.refreshRateHz = -1;
  g_s.swapPaced = false;
  const PlatformDisplayOps* d = Display();
  if (d && d->RefreshRate) {
    int rate = d->RefreshRate();
    g_s.displayRateHz = rate;
    g_s.refreshRateHz = rate < 60 ? -1 : rate;
  }
  g_s.framePeriodMs = -1;
  if (g_s.softwareRenderer || !HwInUse()) {
    g_s.refreshRateHz = 60;
    g_s.vsyncSleepThresholdMs = -1;
    return;
  }
  MeasureDevicePresentation();
  g_s.vsyncSleepThresholdMs = g_s.framePeriodMs < 0 ? -1 : (2 * g_s.framePeriodMs - 4) / 3;
}

int ApplyScreenMode(int width, int height, int colorBits, bool force, int refreshRate) {
  // An unset mode reads as 640 x 480 x 16.
  if (width == -1) width = ModeWidth();
  if (height == -1) height = ModeHeight();
  if (colorBits == -1) colorBits = ModeBits();
  if (refreshRate == -1) refreshRate = g_mode.refreshRate;
  if (!force && width == g_mode.width && height == g_mode.height && colorBits == g_mode.colorBits &&
      refreshRate == g_mode.refreshRate) {
    return 0;
  }
  LogWrite("画面モード変更処理を開始します\n");
  ScreenMode previous = g_mode;
  g_mode.width = width;
  g_mode.height = height;
  g_mode.colorBits = colorBits;
  g_mode.refreshRate = refreshRate;
  if (!g_s.displayObject) return 0;

  uint32_t now = TickNow();
  if (g_s.modeChangedOnce && now - g_s.lastModeChangeTime < 2000) {
    Os().Sleep(static_cast<int>(g_s.lastModeChangeTime - now + 2060));
  } else {
    Os().Sleep(60);
  }
  g_s.lastModeChangeTime = TickNow();
  g_s.modeChangedOnce = true;

  DeleteAllGraphs(0);
  StopGraphSystem();
  if (g_s.screenExists) ReleaseScreenImages();

  int result = 0;
  if (SetDisplayMode(width, height, colorBits, refreshRate) != 0) {
    bool samePrevious = previous.width == width && previous.height == height &&
                        previous.colorBits == colorBits && previous.refreshRate == 0;
    g_mode = previous;
    g_mode.requestedColorBits = GetRequestedColorBits();
    if (samePrevious || SetDisplayMode(ModeWidth(), ModeHeight(), ModeBits(), g_mode.refreshRate) != 0) {
      g_mode.width = 640;
      g_mode.height = 480;
      g_mode.colorBits = 16;
      g_mode.refreshRate = 0;
      if (SetDisplayMode(640, 480, 16, 0) != 0) {
        FatalShutdown(GetWindowState().initialised ? "予期せぬ画面モード変更不能現象が起きました2"
                                                   : "予期せぬ画面モード変更不能現象が起きました");
      }
      result = -2;
    }
  }

  bool deviceMade = false;
  if (CreateScreenImages(!g_s.softwareRenderer, &deviceMade) != 0) {
    LogWrite("DirectDrawSurface の初期化に失敗しました\n");
    return -1;
  }
  if (!g_s.softwareRenderer && !deviceMade) {
    if (g_s.choosingBackEnd) {
      ReleaseScreenImages();
      // Only the device was refused; the display mode stays as it is, so the
      // software start that follows has no mode change to wait for.
      g_s.modeChangedOnce = false;
      return -1;
    }
    // A later mode change the device cannot follow goes on in software.
    LogWrite("ソフトウエアレンダリングモードに変更します\n");
    g_s.softwareRenderer = true;
  }
  // Whatever the graph system start does, the front screen is the target
  // afterwards and its draw area covers the new screen.
  g_s.targetWidth = 0;
  StartGraphSystem();
  g_s.drawTarget = -4;
  g_s.targetWidth = ModeWidth();
  g_s.targetHeight = ModeHeight();
  SetClipRect(0, 0, ModeWidth(), ModeHeight());
  RestartOnScreenLog();
  if (HwInUse()) ChooseTransferMethod();
  MeasureFramePeriod();
  LogWrite("画面モード変更処理は正常に終了しました\n");
  ProcessMessage();
  g_s.presentedFrames = 0;
  return result;
}

void SwitchToSoftwareRenderer() {
  if (g_s.softwareRenderer) return;
  g_s.softwareRenderer = true;
  if (g_s.screenExists) {
    int target = g_s.drawTarget;
    ApplyScreenMode(-1, -1, -1, true, -1);
    if (target == -2 || target == -4) SetDrawTarget(target);
  }
}

int InitGraphics() {
  // The drawing threads start here rather than in the middle of a frame.
  DrawThreads();
  if (RendererPreference() == 1 && HwAvailable()) SwitchToSoftwareRenderer();
  LogWrite("DirectDraw 関連の初期化を行います\n");
  LogWrite("DirectDraw オブジェクトの取得を行います....  ");
  LogWrite("初期化に成功しました\n");
  // The 3D device is the first choice. Without a graphics processor at all
  // the start-up ends at the device at once.
  bool started = false;
  if (!g_s.softwareRenderer && HwAvailable()) {
    g_s.displayObject = true;
    g_s.choosingBackEnd = true;
    started = ApplyScreenMode(-1, -1, -1, true, -1) >= 0;
    g_s.choosingBackEnd = false;
    if (!started) g_s.displayObject = false;
  }
  if (!started && !g_s.softwareRenderer) {
    LogWrite("ソフトウエアレンダリングモードに変更します\n");
    SwitchToSoftwareRenderer();
    LogWrite("DirectDraw 関連の初期化を行います\n");
    LogWrite("DirectDraw オブジェクトの取得を行います....  ");
    LogWrite("初期化に成功しました\n");
  }
  if (!started) {
    g_s.displayObject = true;
    if (ApplyScreenMode(-1, -1, -1, true, -1) < 0) {
      g_s.displayObject = false;
      FatalShutdown("DirectDraw の初期化に失敗しました");
    }
  }
  ClearScreenImages();
  g_s.verticalSync = true;
  g_s.drawTarget = -4;
  g_s.targetWidth = ModeWidth();
  g_s.targetHeight = ModeHeight();
  return 0;
}

void EndGraphics() {
  if (!g_s.displayObject && !g_s.screenExists) return;
  LogWrite("DirectDraw 関連の終了処理をおこないます\n");
  StopGraphSystem();
  if (g_s.screenExists) ReleaseScreenImages();
  LogWrite("ＤｉｒｅｃｔＤｒａｗオブジェクトを解放します\n");
  g_s.displayObject = false;
  LogWrite("ＤｉｒｅｃｔＤｒａｗオブジェクトを解放しました\n");
  if (g_s.fullScreenInForce) {
    const PlatformWindowOps* w = Window();
    if (w && w->SetFullscreen) w->SetFullscreen(0);
    g_s.fullScreenInForce = false;
  }
  LogWrite("画面モードを元に戻す処理は正常に終了しました\n");
  LogWrite("DirectDraw 関連の終了処理は正常に終了しました\n");
  g_s.drawTarget = -4;
  g_s.verticalSync = false;
}

void ForgetBackEndChoice() {
  if (!g_s.displayObject && !g_s.screenExists) g_s.softwareRenderer = false;
}

int SetScreenMode(int width, int height, int colorBits, int refreshRate) {
  DeleteAllGraphs(0);
  if (width == -1) width = ModeWidth();
  if (height == -1) height = ModeHeight();
  if (colorBits == -1) colorBits = ModeBits();
  if (refreshRate == -1) refreshRate = g_mode.refreshRate;
  if (width == 0 || height == 0 || (colorBits != 8 && colorBits != 16 && colorBits != 32)) return -1;
  int beforeW = ModeWidth(), beforeH = ModeHeight(), beforeBits = ModeBits(), beforeRate = g_mode.refreshRate;
  g_mode.requestedColorBits = colorBits;
  int result = ApplyScreenMode(width, height, colorBits, false, refreshRate);
  if (ModeWidth() == width && ModeHeight() == height && ModeBits() == colorBits && g_mode.refreshRate == refreshRate) {
    return 0;
  }
  bool changed = ModeWidth() != beforeW || ModeHeight() != beforeH || ModeBits() != beforeBits ||
                 g_mode.refreshRate != beforeRate;
  if (result == -2 && changed) return -2;
  return -1;
}

void GraphicsWarmUp() {
  if (!g_s.screenExists) return;
  SetDrawValidGraphCreation(1);
  GraphHandle target = CreateGraph(256, 256, true, false, false);
  SetDrawValidGraphCreation(0);
  SetDrawTarget(target);
  SetDrawTarget(-4);
  ReleaseGraph(target, 0);
  SetDrawTarget(-2);

  MEMIMG view;
  GraphHandle clear = CreateGraph(256, 256, true, true, false);
  if (GetGraphImage(clear, &view) == 0) FillImage(&view, 0);
  SetBlendMode(3, 128);
  DrawGraphAt(0, 0, clear, 1);
  SetBlendMode(0, 0);
  SetDrawTarget(-4);
  DrawGraphAt(0, 0, clear, 1);
  ReleaseGraph(clear, 0);

  GraphHandle stretched = CreateGraph(256, 256, true, true, false);
  if (GetGraphImage(stretched, &view) == 0) {
    FillImage(&view, 0);
    MEMIMG* dest = GetDrawTargetImage();
    Rect rect = {0, 0, 640, 480};
    if (dest) DrawImageStretched(dest, &view, &rect, true);
    PresentFrontScreenArea(&rect);
  }
  ReleaseGraph(stretched, 0);
}

int SetDrawTarget(int target) {
  if (!g_s.screenExists) return -1;
  WaitWhileInactive();
  int w = 0, h = 0;
  if (!TargetSize(target, &w, &h)) return -1;
  g_s.drawTarget = target;
  if (w != g_s.targetWidth || h != g_s.targetHeight) SetClipRect(0, 0, w, h);
  g_s.targetWidth = w;
  g_s.targetHeight = h;
  return 0;
}

int ClearDrawTarget() {
  WaitWhileInactive();
  if (g_s.screenExists && g_s.drawTarget == -2 && HwInUse()) {
    HwClearBackScreen(g_s.backR, g_s.backG, g_s.backB);
    return 0;
  }
  MEMIMG* img = GetDrawTargetImage();
  if (!img) return 0;
  FillImage(img, BackgroundValue(img));
  if (g_s.drawTarget == -2 || g_s.drawTarget == -4) FillImage(&g_s.depth, 0xFFFF);
  if (g_s.drawTarget == -4) PresentImage(&g_s.front);
  return 0;
}

void PresentFrontScreenArea(const Rect* area) {
  // The display takes whole frames; the area only says something changed.
  (void)area;
  if (g_s.screenExists && g_s.drawTarget == -4) PresentImage(&g_s.front);
}

int FlipScreen() {
  if (!g_s.screenExists) return -1;
  WaitWhileInactive();
  return PresentBackScreen();
}

int PresentBackScreen() {
  if (!g_s.screenExists) return -1;
  if (OnScreenLogHasText()) {
    DrawState& ds = GetDrawState();
    Rect area;
    GetClipRect(&area);
    int mode = ds.blendMode, param = ds.blendParam;
    uint32_t brightness = ds.brightness;
    SetClipRect(0, 0, ModeWidth(), ModeHeight());
    SetBlendMode(0, 0);
    SetBrightness(255, 255, 255);
    DrawOnScreenLog();
    SetClipRect(area.left, area.top, area.right, area.bottom);
    SetBlendMode(mode, param);
    SetBrightnessValue(brightness);
  }
  if (g_s.drawTarget == -4) {
    g_s.presentedFrames++;
    return WaitVerticalBlanks(1);
  }
  uint32_t start = TickNow();
  FlushPendingDrawing();
  if (HwInUse() && HwRecoverIfLost() > 0) {
    // The frame went to the lost device; the game draws the next one.
    g_s.presentedFrames++;
    return 0;
  }
  if (g_s.verticalSync) {
    if (g_s.swapPaced && HwInUse()) {
      // The swap itself waits for the refresh: sleep through most of the
      // frame, then let it block.
      while (g_s.vsyncSleepThresholdMs >= 0 &&
             TickNow() - g_s.lastVSyncTime < static_cast<uint32_t>(g_s.vsyncSleepThresholdMs))
        Os().Sleep(1);
    } else {
      SyncToVerticalBlank();
    }
  }
  if (HwInUse()) {
    HwPresent(nullptr);
    if (g_s.swapPaced) g_s.lastVSyncTime = TickNow();
  } else {
    PresentImage(&g_s.back);
  }
  g_s.lastPresentMs = TickNow() - start;
  g_s.presentedFrames++;
  return 0;
}

void SyncToVerticalBlank() {
  uint32_t now = TickNow();
  if (g_s.vsyncSleepThresholdMs >= 0 && now - g_s.lastVSyncTime < static_cast<uint32_t>(g_s.vsyncSleepThresholdMs)) {
    while (TickNow() - g_s.lastVSyncTime < static_cast<uint32_t>(g_s.vsyncSleepThresholdMs)) Os().Sleep(1);
    DisplayWaitForVerticalBlank();
  } else {
    Os().Sleep(0);
    // A blank lasts well under half a refresh: a sync that soon after the last
    // one is still in the same blank and waits for the next, so no refresh
    // shows two frames.
    int rate = g_s.displayRateHz > 0 ? g_s.displayRateHz : 60;
    bool sameBlank = TickNow() - g_s.lastVSyncTime < static_cast<uint32_t>(500 / rate);
    if (!DisplayInVerticalBlank() || sameBlank) DisplayWaitForVerticalBlank();
  }
  g_s.lastVSyncTime = TickNow();
}

int WaitVerticalBlanks(int count) {
  if (!g_s.displayObject) return -1;
  WaitWhileInactive();
  for (int i = 0; i < count; ++i) {
    int r = 0;
    while (DisplayInVerticalBlank() && (r = ProcessMessage()) == 0) {
    }
    if (r < 0) return -1;
    while (!DisplayInVerticalBlank() && (r = ProcessMessage()) == 0) {
    }
    if (r < 0) return -1;
  }
  return 0;
}

void PresentForRepaint() {
  if (!g_s.screenExists || g_s.drawTarget != -2) return;
  bool vsync = g_s.verticalSync;
  g_s.verticalSync = false;
  PresentBackScreen();
  g_s.verticalSync = vsync;
}

// Memory images are never lost, so there is nothing to restore.
void RestoreGraphicsAfterActivation() {}

int RecreateScreenForWindowMode() {
  if (!g_s.displayObject) return 0;
  int target = g_s.drawTarget;
  int result = ApplyScreenMode(-1, -1, -1, true, -1);
  if (target == -2 || target == -4) SetDrawTarget(target);
  return result;
}

// The screens live in memory and keep their pixels through a desktop change.
void RebuildScreenAfterDisplayChange() {}

void AdjustFrontTargetArea() {
  if (!g_s.screenExists || g_s.drawTarget != -4) return;
  Rect area;
  GetClipRect(&area);
  SetClipRect(area.left, area.top, area.right, area.bottom);
}

}  // namespace qx
