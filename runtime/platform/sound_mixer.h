// The software mixer behind both sound back ends: play buffers with their own
// PCM format, mixed into 16-bit stereo at the device rate. The SDL back end
// renders from its audio callback, the headless one as the virtual clock moves.
#ifndef QUARNEX_RUNTIME_PLATFORM_SOUND_MIXER_H
#define QUARNEX_RUNTIME_PLATFORM_SOUND_MIXER_H

#include <stddef.h>
#include <stdint.h>

#include "runtime/platform/platform.h"

namespace qx {

// Starts the mixer at a device rate (8000..192000). `sync`, when given, runs
// under the mixer's lock before every buffer operation, so a back end can
// render what is due first.
int MixerStart(int deviceRate, void (*sync)());
void MixerStop();  // stops every buffer still playing
// Runs the sync hook under the lock (the headless device renders what is due).
void MixerSync();
int MixerDeviceRate();

// Mixes `frames` stereo frames into `out` (interleaved left, right). Takes
// the mixer's lock; does not allocate.
void MixerRender(int16_t* out, size_t frames);
// The same, for a caller that already holds the lock (a sync hook).
void MixerRenderLocked(int16_t* out, size_t frames);

// Linear gain of a volume in hundredths of a decibel, in 1/65536 units.
int32_t MixerGainFromVolume(int hundredthsOfDecibel);

// Fills the buffer operations of a PlatformSoundOps table with the mixer's.
void FillMixerSoundOps(PlatformSoundOps* ops);

}  // namespace qx

#endif
