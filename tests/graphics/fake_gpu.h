// A graphics processor for the tests: the platform's GPU table over main
// memory. It records every call and draws the batches with the arithmetic of
// the OpenGL back end's shader and blend stage, so the hardware back end's
// logic (batching, texture stores, failures, lost devices, text) runs and
// can be checked without a driver. Failures are switched on by fields.
#ifndef QUARNEX_TESTS_GRAPHICS_FAKE_GPU_H
#define QUARNEX_TESTS_GRAPHICS_FAKE_GPU_H

#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "runtime/platform/headless/headless.h"
#include "runtime/platform/platform.h"

namespace qxtest {

struct FakeTexture {
  int width, height, format;
  std::vector<uint8_t> texels;  // BGRA, or one byte per texel
};

struct FakeGpu {
  // Set by the test.
  bool initFails = false;
  bool softwareRasteriser = false;
  bool ready = true;          // the device belongs to the calling thread
  int maxTextureSide = 4096;  // reported by GetInfo
  int createFailsAt = -1;     // the n-th CreateTexture from now (0 = next) fails
  bool uploadsFail = false;
  bool lost = false;          // ContextLost reports a reset
  int swapInterval = 0;
  int presentWaitsMs = 0;     // a swap that waits for the refresh, on the virtual clock
  uint32_t initColour = 0xFF000000u;  // what video memory holds before any clear
  std::vector<std::string> messages;  // handed out by TakeMessage
  std::function<void()> onPresent;     // called after every presentation
  bool rasterise = true;               // false: record the calls only (whole games)

  // Recorded.
  bool exists = false;
  int width = 0, height = 0;
  int inits = 0, initsRefused = 0, lastAcceptSoftware = -1;
  int textureCreates = 0, texturesAlive = 0;
  int uploads = 0;
  uint64_t uploadBytes = 0;
  int drawCalls = 0, verticesDrawn = 0, maxVerticesInOneCall = 0;
  int clears = 0, readBacks = 0, writeBacks = 0, presents = 0, copies = 0;
  int drawsWhileNotReady = 0;
  std::vector<uint32_t> back;       // the back screen, BGRA as 0xAARRGGBB words
  std::vector<uint32_t> presented;  // the last frame shown
};

inline FakeGpu& Fake() {
  static FakeGpu fake;
  return fake;
}

namespace fakegpu {

inline FakeTexture* Tex(qx::PlatformTexture* t) { return reinterpret_cast<FakeTexture*>(t); }

inline int Init(int width, int height, int acceptSoftware) {
  FakeGpu& f = Fake();
  f.lastAcceptSoftware = acceptSoftware;
  if (f.initFails || (f.softwareRasteriser && !acceptSoftware)) {
    f.initsRefused++;
    return -1;
  }
  f.inits++;
  f.exists = true;
  f.lost = false;
  f.width = width;
  f.height = height;
  f.back.assign(static_cast<size_t>(width) * height, f.initColour);
  return 0;
}
inline void Shutdown() { Fake().exists = false; }
inline int Ready() { return Fake().exists && Fake().ready ? 1 : 0; }
inline void GetInfo(qx::PlatformGpuInfo* out) {
  memset(out, 0, sizeof(*out));
  snprintf(out->renderer, sizeof(out->renderer), "%s", Fake().softwareRasteriser ? "llvmpipe (fake)" : "fake");
  out->maxTextureSide = Fake().maxTextureSide;
  out->softwareRasteriser = Fake().softwareRasteriser ? 1 : 0;
}
inline qx::PlatformTexture* CreateTexture(int width, int height, int format) {
  FakeGpu& f = Fake();
  if (!Ready() || width <= 0 || height <= 0 || width > f.maxTextureSide || height > f.maxTextureSide) return nullptr;
  if (f.createFailsAt == 0) {
    f.createFailsAt = -1;
    return nullptr;
  }
  if (f.createFailsAt > 0) f.createFailsAt--;
  FakeTexture* t = new FakeTexture{width, height, format, {}};
  t->texels.assign(static_cast<size_t>(width) * height * (format == qx::kGpuTextureR8 ? 1 : 4), 0);
  f.textureCreates++;
  f.texturesAlive++;
  return reinterpret_cast<qx::PlatformTexture*>(t);
}
inline void DestroyTexture(qx::PlatformTexture* texture) {
  if (!texture) return;
  Fake().texturesAlive--;
  delete Tex(texture);
}
inline int UpdateTexture(qx::PlatformTexture* texture, int x, int y, int width, int height, const void* pixels,
                         int pitch) {
  FakeGpu& f = Fake();
  FakeTexture* t = Tex(texture);
  if (!Ready() || !t || f.uploadsFail || x < 0 || y < 0 || x + width > t->width || y + height > t->height) return -1;
  const int bpp = t->format == qx::kGpuTextureR8 ? 1 : 4;
  for (int row = 0; row < height; ++row)
    memcpy(&t->texels[(static_cast<size_t>(y + row) * t->width + x) * bpp],
           static_cast<const uint8_t*>(pixels) + static_cast<ptrdiff_t>(row) * pitch, static_cast<size_t>(width) * bpp);
  f.uploads++;
  f.uploadBytes += static_cast<uint64_t>(width) * height * bpp;
  return 0;
}

// The texel under a position, clamped to the texture (texelFetch of floor).
inline void Fetch(const FakeTexture* t, float u, float v, int out[4]) {
  int x = std::clamp(static_cast<int>(floorf(u)), 0, t->width - 1);
  int y = std::clamp(static_cast<int>(floorf(v)), 0, t->height - 1);
  if (t->format == qx::kGpuTextureR8) {
    out[0] = 0;  // b
    out[1] = 0;  // g
    out[2] = t->texels[static_cast<size_t>(y) * t->width + x];
    out[3] = 255;
    return;
  }
  const uint8_t* p = &t->texels[(static_cast<size_t>(y) * t->width + x) * 4];
  for (int i = 0; i < 4; ++i) out[i] = p[i];
}

inline int ToByte(double v) { return std::clamp(static_cast<int>(floor(v * 255.0 + 0.5)), 0, 255); }

// One pixel of the shader and blend stage.
inline void Shade(const qx::PlatformGpuState& s, const float uv[4], const float rgb[3], uint32_t* dest) {
  double src[3], w = 1.0;
  if (s.texture) {
    int t[4];
    Fetch(Tex(s.texture), uv[0], uv[1], t);
    const int a = t[3];
    if (s.discardZeroAlpha && a == 0) return;
    if ((s.alpha == qx::kGpuAlphaKeyed && a < 255) || s.alpha == qx::kGpuAlphaWeightAll) w *= a / 256.0;
    const int bgr[3] = {t[2], t[1], t[0]};  // as r, g, b
    for (int i = 0; i < 3; ++i) src[i] = floor((rgb[i] * bgr[i] + 0.5) / 255.0);
  } else {
    for (int i = 0; i < 3; ++i) src[i] = rgb[i];
  }
  if (s.mask && s.maskTable) {
    int m[4], table[4];
    Fetch(Tex(s.mask), uv[2], uv[3], m);
    Fetch(Tex(s.maskTable), static_cast<float>(m[2]), 0, table);
    w *= table[2] / 256.0;
  }
  const uint32_t d = *dest;
  int dc[3] = {static_cast<int>((d >> 16) & 255), static_cast<int>((d >> 8) & 255), static_cast<int>(d & 255)};
  int out[3];
  for (int i = 0; i < 3; ++i) {
    switch (s.blend) {
      case qx::kGpuBlendMix: {
        double ww = w * (s.param < 256 ? s.param / 256.0 : 1.0);
        out[i] = ToByte(src[i] / 255.0 * ww + dc[i] / 255.0 * (1.0 - ww));
        break;
      }
      case qx::kGpuBlendMultiply: {
        double f = (1.0 - w) + w * src[i] / 256.0;
        out[i] = ToByte(dc[i] / 255.0 * f);
        break;
      }
      default: {
        double v = floor((std::min(s.param, 255) * src[i] + 0.5) / 255.0);
        if (w < 1.0) v = floor(v * w);
        out[i] = s.blend == qx::kGpuBlendAdd ? std::min(255, dc[i] + static_cast<int>(v))
                                             : std::max(0, dc[i] - static_cast<int>(v));
      }
    }
  }
  *dest = (d & 0xFF000000u) | static_cast<uint32_t>(out[0]) << 16 | static_cast<uint32_t>(out[1]) << 8 |
          static_cast<uint32_t>(out[2]);
}

inline double Edge(const qx::PlatformGpuVertex& a, const qx::PlatformGpuVertex& b, double px, double py) {
  return (b.x - a.x) * (py - a.y) - (b.y - a.y) * (px - a.x);
}

// Barycentric weights of (px, py) in the triangle, false when outside.
inline bool Inside(const qx::PlatformGpuVertex* t, double px, double py, double l[3]) {
  const double area = Edge(t[0], t[1], t[2].x, t[2].y);
  if (area == 0) return false;
  l[0] = Edge(t[1], t[2], px, py) / area;
  l[1] = Edge(t[2], t[0], px, py) / area;
  l[2] = Edge(t[0], t[1], px, py) / area;
  return l[0] >= 0 && l[1] >= 0 && l[2] >= 0;
}

inline void Draw(const qx::PlatformGpuState* state, const qx::PlatformGpuVertex* v, int count) {
  FakeGpu& f = Fake();
  if (!Ready()) {
    f.drawsWhileNotReady++;
    return;
  }
  f.drawCalls++;
  f.verticesDrawn += count;
  f.maxVerticesInOneCall = std::max(f.maxVerticesInOneCall, count);
  if (!f.rasterise) return;
  const qx::PlatformGpuState& s = *state;
  // The runtime sends rectangles as two triangles each; a pixel centre on
  // their shared side belongs to one of them only.
  for (int q = 0; q + 6 <= count; q += 6) {
    const qx::PlatformGpuVertex* a = v + q;
    double minX = a[0].x, maxX = a[0].x, minY = a[0].y, maxY = a[0].y;
    for (int i = 1; i < 6; ++i) {
      minX = std::min<double>(minX, a[i].x);
      maxX = std::max<double>(maxX, a[i].x);
      minY = std::min<double>(minY, a[i].y);
      maxY = std::max<double>(maxY, a[i].y);
    }
    const int x0 = std::max(s.clipLeft, static_cast<int>(floor(minX))), x1 = std::min(s.clipRight, static_cast<int>(ceil(maxX)));
    const int y0 = std::max(s.clipTop, static_cast<int>(floor(minY))), y1 = std::min(s.clipBottom, static_cast<int>(ceil(maxY)));
    for (int y = std::max(y0, 0); y < std::min(y1, f.height); ++y) {
      for (int x = std::max(x0, 0); x < std::min(x1, f.width); ++x) {
        const double px = x + 0.5, py = y + 0.5;
        double l[3];
        const qx::PlatformGpuVertex* t = a;
        if (!Inside(t, px, py, l)) {
          t = a + 3;
          if (!Inside(t, px, py, l)) continue;
        }
        float uv[4];
        uv[0] = static_cast<float>(l[0] * t[0].u + l[1] * t[1].u + l[2] * t[2].u);
        uv[1] = static_cast<float>(l[0] * t[0].v + l[1] * t[1].v + l[2] * t[2].v);
        uv[2] = static_cast<float>(l[0] * t[0].mu + l[1] * t[1].mu + l[2] * t[2].mu);
        uv[3] = static_cast<float>(l[0] * t[0].mv + l[1] * t[1].mv + l[2] * t[2].mv);
        const float rgb[3] = {t[2].r, t[2].g, t[2].b};  // flat: the last vertex
        Shade(s, uv, rgb, &f.back[static_cast<size_t>(y) * f.width + x]);
      }
    }
  }
}
inline void Clear(int r, int g, int b) {
  FakeGpu& f = Fake();
  if (!Ready()) return;
  f.clears++;
  std::fill(f.back.begin(), f.back.end(),
            0xFF000000u | static_cast<uint32_t>(r & 255) << 16 | static_cast<uint32_t>(g & 255) << 8 |
                static_cast<uint32_t>(b & 255));
}
inline void ReadBack(void* pixels, int pitch) {
  FakeGpu& f = Fake();
  if (!Ready()) return;
  f.readBacks++;
  for (int y = 0; y < f.height; ++y)
    memcpy(static_cast<uint8_t*>(pixels) + static_cast<ptrdiff_t>(y) * pitch, &f.back[static_cast<size_t>(y) * f.width],
           static_cast<size_t>(f.width) * 4);
}
inline void WriteBack(const void* pixels, int pitch) {
  FakeGpu& f = Fake();
  if (!Ready()) return;
  f.writeBacks++;
  for (int y = 0; y < f.height; ++y)
    memcpy(&f.back[static_cast<size_t>(y) * f.width], static_cast<const uint8_t*>(pixels) + static_cast<ptrdiff_t>(y) * pitch,
           static_cast<size_t>(f.width) * 4);
}
inline void Present(const void* pixels, int pitch) {
  FakeGpu& f = Fake();
  if (!Ready()) return;
  f.presents++;
  // The headless back end counts presented frames for its script.
  qx::kHeadlessPlatform.display->Present(nullptr, 0, 0, 0, 32);
  if (f.presentWaitsMs > 0) qx::HeadlessAdvanceMicros(static_cast<uint64_t>(f.presentWaitsMs) * 1000);
  if (!pixels) {
    f.presented = f.back;
  } else {
    f.presented.resize(f.back.size());
    for (int y = 0; y < f.height; ++y)
      memcpy(&f.presented[static_cast<size_t>(y) * f.width],
             static_cast<const uint8_t*>(pixels) + static_cast<ptrdiff_t>(y) * pitch, static_cast<size_t>(f.width) * 4);
  }
  if (f.onPresent) f.onPresent();
}
inline int SwapInterval() { return Fake().exists ? Fake().swapInterval : 0; }
inline int ContextLost() { return Fake().exists && Fake().lost ? 1 : 0; }
inline void CopyScreen(int) { Fake().copies++; }
inline int TakeMessage(char* text, size_t size) {
  FakeGpu& f = Fake();
  if (f.messages.empty()) return 0;
  snprintf(text, size, "%s", f.messages.front().c_str());
  f.messages.erase(f.messages.begin());
  return 1;
}

inline const qx::PlatformGpuOps kOps = {Init,      Shutdown, Ready,     GetInfo, CreateTexture, DestroyTexture,
                                        UpdateTexture, Draw, Clear,     ReadBack, WriteBack,    Present,
                                        SwapInterval, ContextLost, CopyScreen, TakeMessage};

}  // namespace fakegpu

// The headless platform with the fake graphics processor.
inline const qx::Platform& FakeGpuPlatform() {
  static const qx::Platform platform = {"headless",
                                        qx::kHeadlessPlatform.os,
                                        qx::kHeadlessPlatform.window,
                                        qx::kHeadlessPlatform.display,
                                        qx::kHeadlessPlatform.input,
                                        qx::kHeadlessPlatform.sound,
                                        &fakegpu::kOps};
  return platform;
}

// A fresh fake: every switch back at its default, nothing recorded.
inline void ResetFake() { Fake() = FakeGpu{}; }

// The fake's back screen pixel (0x00RRGGBB).
inline uint32_t FakeBackAt(int x, int y) { return Fake().back[static_cast<size_t>(y) * Fake().width + x] & 0xFFFFFFu; }

}  // namespace qxtest

#endif
