// Sound in a browser: the software mixer, pulled by Web Audio from the page's
// audio callback. Browsers start audio only after the person has clicked or
// pressed a key; until the page's audio context runs there is no device.
#include <emscripten.h>
#include <string.h>

#include <vector>

#include "runtime/platform/sound_mixer.h"
#include "runtime/platform/tables.h"

namespace qx {

// clang-format off
// The page's running context's rate, or 0 when there is none (yet).
EM_JS(int, qx_web_audio_rate, (), {
  var ctx = Module['qxAudioContext'];
  if (!ctx && typeof AudioContext != 'undefined') {
    try { ctx = Module['qxAudioContext'] = new AudioContext(); } catch (e) { return 0; }
  }
  return ctx && ctx.state == 'running' ? ctx.sampleRate : 0;
});
EM_JS(void, qx_web_audio_start, (int frames, int16_t* buffer), {
  var ctx = Module['qxAudioContext'];
  var node = ctx.createScriptProcessor(frames, 0, 2);
  node.onaudioprocess = function(e) {
    var n = e.outputBuffer.length;
    Module['_qx_web_audio_render'](n);
    var left = e.outputBuffer.getChannelData(0), right = e.outputBuffer.getChannelData(1);
    var pcm = HEAP16.subarray(buffer >> 1, (buffer >> 1) + 2 * n);
    var peak = Module['qxAudioPeak'] | 0;  // the loudest sample so far, for a look from outside
    for (var i = 0; i < n; i++) {
      var l = pcm[2 * i], r = pcm[2 * i + 1];
      left[i] = l / 32768;
      right[i] = r / 32768;
      peak = Math.max(peak, l, -l, r, -r);
    }
    Module['qxAudioPeak'] = peak;
  };
  node.connect(ctx.destination);
  Module['qxAudioNode'] = node;
});
EM_JS(void, qx_web_audio_stop, (), {
  var node = Module['qxAudioNode'];
  if (node) { node.onaudioprocess = null; node.disconnect(); }
  Module['qxAudioNode'] = null;
});
// clang-format on

namespace {

constexpr int kDeviceFrames = 2048;
int g_rate = 0;
std::vector<int16_t> g_buffer;

int Init(int channels, int bitsPerSample, int sampleRate) {
  if (channels != 2 || bitsPerSample != 16 || g_rate != 0) return -1;
  // The mixer runs at the context's own rate; Web Audio takes nothing else.
  (void)sampleRate;
  int rate = qx_web_audio_rate();
  if (rate <= 0 || MixerStart(rate, nullptr) != 0) return -1;
  g_rate = rate;
  g_buffer.assign(static_cast<size_t>(kDeviceFrames) * 2, 0);
  qx_web_audio_start(kDeviceFrames, g_buffer.data());
  return 0;
}

void Shutdown() {
  if (g_rate == 0) return;
  qx_web_audio_stop();
  MixerStop();
  g_rate = 0;
}

void GetDeviceInfo(PlatformSoundDeviceInfo* out) {
  memset(out, 0, sizeof *out);
  strncpy(out->driver, "webaudio", sizeof out->driver - 1);
  out->sampleRate = g_rate;
  out->channels = 2;
  out->bitsPerSample = 16;
  out->bufferFrames = kDeviceFrames;
  out->hardwareRate = g_rate;
}

PlatformSoundOps MakeOps() {
  PlatformSoundOps ops{};
  ops.Init = Init;
  ops.Shutdown = Shutdown;
  ops.GetDeviceInfo = GetDeviceInfo;
  FillMixerSoundOps(&ops);
  return ops;
}

}  // namespace

const PlatformSoundOps kWebSoundOps = MakeOps();

}  // namespace qx

extern "C" EMSCRIPTEN_KEEPALIVE void qx_web_audio_render(int frames) {
  if (qx::g_rate == 0 || frames <= 0 || static_cast<size_t>(frames) * 2 > qx::g_buffer.size()) return;
  qx::MixerRender(qx::g_buffer.data(), static_cast<size_t>(frames));
}
