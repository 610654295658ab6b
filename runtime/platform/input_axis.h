// How both back ends turn a stick position into the reported axis value.
#ifndef QUARNEX_RUNTIME_PLATFORM_INPUT_AXIS_H
#define QUARNEX_RUNTIME_PLATFORM_INPUT_AXIS_H

#include <stdint.h>

namespace qx {

// position: -32768..32767. Result -1000..1000; the quarter of travel nearest
// the centre reads 0 and the rest is stretched over the whole range, so a
// worn stick that rests a little off centre reports no direction.
inline int32_t ScaleAxisWithDeadZone(int32_t position) {
  constexpr int32_t kFull = 32767;
  constexpr int32_t kDead = kFull / 4;
  int32_t magnitude = position < 0 ? -position : position;
  if (magnitude > kFull) magnitude = kFull;
  if (magnitude <= kDead) return 0;
  int32_t scaled = (magnitude - kDead) * 1000 / (kFull - kDead);
  if (scaled < 1) scaled = 1;  // just outside the dead zone still has a direction
  return position < 0 ? -scaled : scaled;
}

// position: -32768..32767 to the unscaled 0..0xFFFF reading, centre 0x7FFF.
inline uint16_t RawAxisPosition(int32_t position) {
  if (position < -32768) position = -32768;
  if (position > 32767) position = 32767;
  int32_t raw = position >= 0 ? 0x7FFF + position * 0x8000 / 32767 : 0x7FFF + position * 0x7FFF / 32768;
  return static_cast<uint16_t>(raw);
}

}  // namespace qx

#endif
