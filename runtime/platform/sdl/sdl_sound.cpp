// Sound output of the SDL back end: one audio device (SDL_AUDIODRIVER picks
// the driver) whose callback runs the software mixer. SDL converts the mixer's
// 16-bit stereo to whatever the hardware takes.
#include <dlfcn.h>
#include <string.h>

#include "runtime/platform/sdl/sdl_internal.h"
#include "runtime/platform/sound_mixer.h"
#include "runtime/platform/tables.h"

namespace qx {
namespace {

constexpr int kDeviceFrames = 1024;

SDL_AudioDeviceID g_device = 0;
SDL_AudioSpec g_spec;

// ALSA reports every step of a failed open on standard error by itself (a
// machine without a sound card gets eight lines of it). The runtime says in
// its own words that sound is off, so ALSA is kept quiet while SDL opens the
// device. Looked up at run time: SDL may use another driver, or none.
typedef void (*AlsaErrorHandler)(const char* file, int line, const char* function, int err, const char* format, ...);
typedef int (*AlsaSetErrorHandler)(AlsaErrorHandler handler);

void QuietAlsa(const char*, int, const char*, int, const char*, ...) {}

AlsaSetErrorHandler AlsaErrorHandlerSetter() {
  static void* const library = dlopen("libasound.so.2", RTLD_LAZY | RTLD_LOCAL);
  return library ? reinterpret_cast<AlsaSetErrorHandler>(dlsym(library, "snd_lib_error_set_handler")) : nullptr;
}

// Opens the device with ALSA's own messages dropped; its handler is the
// default again afterwards.
SDL_AudioDeviceID OpenQuietly(const SDL_AudioSpec* want, SDL_AudioSpec* have) {
  AlsaSetErrorHandler setHandler = AlsaErrorHandlerSetter();
  if (setHandler) setHandler(QuietAlsa);
  SDL_AudioDeviceID device = 0;
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) == 0) {
    device = SDL_OpenAudioDevice(nullptr, 0, want, have, 0);
    if (device == 0) SDL_QuitSubSystem(SDL_INIT_AUDIO);
  }
  if (setHandler) setHandler(nullptr);
  return device;
}

void Callback(void*, Uint8* stream, int length) {
  MixerRender(reinterpret_cast<int16_t*>(stream), static_cast<size_t>(length) / 4);
}

int Init(int channels, int bitsPerSample, int sampleRate) {
  if (channels != 2 || bitsPerSample != 16 || g_device != 0) return -1;
  SDL_AudioSpec want;
  memset(&want, 0, sizeof want);
  want.freq = sampleRate;
  want.format = AUDIO_S16SYS;
  want.channels = 2;
  want.samples = kDeviceFrames;
  want.callback = Callback;
  if (MixerStart(sampleRate, nullptr) != 0) return -1;
  // No allowed changes: SDL converts to the hardware's own format and rate.
  g_device = OpenQuietly(&want, &g_spec);
  if (g_device == 0) {
    MixerStop();
    return -1;
  }
  SDL_PauseAudioDevice(g_device, 0);
  return 0;
}

void Shutdown() {
  if (g_device == 0) return;
  SDL_CloseAudioDevice(g_device);  // the callback has returned for good after this
  g_device = 0;
  MixerStop();
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

void GetDeviceInfo(PlatformSoundDeviceInfo* out) {
  memset(out, 0, sizeof *out);
  const char* driver = SDL_GetCurrentAudioDriver();
  strncpy(out->driver, driver ? driver : "", sizeof out->driver - 1);
  out->sampleRate = g_spec.freq;
  out->channels = g_spec.channels;
  out->bitsPerSample = SDL_AUDIO_BITSIZE(g_spec.format);
  out->bufferFrames = g_spec.samples;
  char* name = nullptr;
  SDL_AudioSpec hardware;
  if (SDL_GetDefaultAudioInfo(&name, &hardware, 0) == 0) {
    out->hardwareRate = hardware.freq;
    if (name) strncpy(out->device, name, sizeof out->device - 1);
  }
  SDL_free(name);
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

const PlatformSoundOps kSdlSoundOps = MakeOps();

}  // namespace qx
