// Sound output of the headless back end: a virtual device that follows the
// virtual clock. Before every buffer operation the mixer renders, in blocks
// of 10 ms, everything due up to the current virtual time, so a run is
// deterministic. With QUARNEX_AUDIO_OUT=PATH everything mixed since start is
// written there as a 16-bit stereo WAVE file.
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "runtime/platform/headless/headless.h"
#include "runtime/platform/sound_mixer.h"
#include "runtime/platform/tables.h"

namespace qx {
namespace {

constexpr int kMaxBlockFrames = 960;  // 10 ms at up to 96000 Hz

struct HeadlessSound {
  int rate;
  int blockFrames;
  uint64_t startMicros;
  uint64_t mixedFrames;
  int16_t block[kMaxBlockFrames * 2];
};

HeadlessSound g_sound;
// Read by the signal handler, so kept apart and atomic.
int g_captureFd = -1;
uint64_t g_captureBytes = 0;
struct sigaction g_previousTerm, g_previousInt;
bool g_handlersInstalled = false;

void Put32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

void WriteHeader(int fd, int rate, uint64_t dataBytes) {
  uint32_t size = dataBytes > 0xFFFFFFFFu - 36 ? 0xFFFFFFFFu - 36 : static_cast<uint32_t>(dataBytes);
  uint8_t h[44];
  memcpy(h, "RIFF", 4);
  Put32(h + 4, 36 + size);
  memcpy(h + 8, "WAVEfmt ", 8);
  Put32(h + 16, 16);
  h[20] = 1, h[21] = 0;  // PCM
  h[22] = 2, h[23] = 0;  // stereo
  Put32(h + 24, static_cast<uint32_t>(rate));
  Put32(h + 28, static_cast<uint32_t>(rate) * 4);
  h[32] = 4, h[33] = 0;
  h[34] = 16, h[35] = 0;
  memcpy(h + 36, "data", 4);
  Put32(h + 40, size);
  // Async-signal-safe: pwrite only.
  ssize_t written = pwrite(fd, h, sizeof h, 0);
  (void)written;
}

void OnSignal(int signo) {
  int fd = __atomic_load_n(&g_captureFd, __ATOMIC_ACQUIRE);
  if (fd >= 0) WriteHeader(fd, g_sound.rate, __atomic_load_n(&g_captureBytes, __ATOMIC_ACQUIRE));
  sigaction(signo, signo == SIGTERM ? &g_previousTerm : &g_previousInt, nullptr);
  raise(signo);
}

void InstallSignalHandlers() {
  if (g_handlersInstalled) return;
  struct sigaction action;
  memset(&action, 0, sizeof action);
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESETHAND;
  sigaction(SIGTERM, &action, &g_previousTerm);
  sigaction(SIGINT, &action, &g_previousInt);
  g_handlersInstalled = true;
}

void RemoveSignalHandlers() {
  if (!g_handlersInstalled) return;
  sigaction(SIGTERM, &g_previousTerm, nullptr);
  sigaction(SIGINT, &g_previousInt, nullptr);
  g_handlersInstalled = false;
}

uint64_t VirtualMicros() { return __atomic_load_n(&Headless().clockMicros, __ATOMIC_ACQUIRE); }

// Runs under the mixer's lock: renders whole blocks until the device is at
// or just past the virtual clock.
void CatchUp() {
  HeadlessSound& s = g_sound;
  uint64_t now = VirtualMicros();
  uint64_t elapsed = now > s.startMicros ? now - s.startMicros : 0;
  uint64_t due = elapsed * static_cast<uint64_t>(s.rate) / 1000000u;
  while (s.mixedFrames < due) {
    MixerRenderLocked(s.block, static_cast<size_t>(s.blockFrames));
    s.mixedFrames += static_cast<uint64_t>(s.blockFrames);
    if (g_captureFd >= 0) {
      const size_t bytes = static_cast<size_t>(s.blockFrames) * 4;
      if (write(g_captureFd, s.block, bytes) == static_cast<ssize_t>(bytes)) {
        __atomic_add_fetch(&g_captureBytes, bytes, __ATOMIC_RELEASE);
      }
    }
  }
}

int Init(int channels, int bitsPerSample, int sampleRate) {
  if (channels != 2 || bitsPerSample != 16 || sampleRate < 8000 || sampleRate > 96000) return -1;
  HeadlessSound& s = g_sound;
  s.rate = sampleRate;
  s.blockFrames = sampleRate / 100;
  s.startMicros = VirtualMicros();
  s.mixedFrames = 0;
  const char* path = getenv("QUARNEX_AUDIO_OUT");
  if (path && *path) {
    int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd >= 0) {
      g_captureBytes = 0;
      WriteHeader(fd, s.rate, 0);
      if (lseek(fd, 44, SEEK_SET) != 44) {
        close(fd);
        fd = -1;
      }
    }
    __atomic_store_n(&g_captureFd, fd, __ATOMIC_RELEASE);
    if (fd >= 0) InstallSignalHandlers();
  }
  return MixerStart(sampleRate, CatchUp);
}

void Shutdown() {
  MixerSync();
  MixerStop();
  int fd = __atomic_exchange_n(&g_captureFd, -1, __ATOMIC_ACQ_REL);
  if (fd >= 0) {
    WriteHeader(fd, g_sound.rate, __atomic_load_n(&g_captureBytes, __ATOMIC_ACQUIRE));
    close(fd);
    RemoveSignalHandlers();
  }
}

void GetDeviceInfo(PlatformSoundDeviceInfo* out) {
  memset(out, 0, sizeof *out);
  strcpy(out->driver, "headless");
  strcpy(out->device, "virtual device");
  out->sampleRate = g_sound.rate;
  out->channels = 2;
  out->bitsPerSample = 16;
  out->bufferFrames = g_sound.blockFrames;
  out->hardwareRate = g_sound.rate;
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

const PlatformSoundOps kHeadlessSoundOps = MakeOps();

}  // namespace qx
