// Presses that begin and end between two reads of the input state. A state
// read alone is a sample: a key or button that goes down and up between two
// reads (a quick tap, or events queued while the program was busy starting)
// would never be seen. Each input's latch is set when it goes down and is
// taken by the next read; the reads that follow within the same presented
// frame see it too, so that the several reads of one frame agree (the mouse
// is read once per button, and a scene's first frame reads the keys twice,
// with a pump and perhaps a long load between). A program that has presented
// nothing yet has a frame per pump; one that stops presenting (drawing on the
// front screen) lets a press go at the first pump two seconds on.
#ifndef QUARNEX_RUNTIME_PLATFORM_INPUT_LATCH_H
#define QUARNEX_RUNTIME_PLATFORM_INPUT_LATCH_H

#include <stdint.h>
#include <string.h>

namespace qx {

template <int N>
struct InputLatch {
  uint8_t pressed[N];   // went down since the last read
  uint8_t reported[N];  // taken by a read of this frame
  uint64_t reportedFrame;
  uint64_t reportedMs;  // when the reads began to report it

  void Clear() {
    memset(pressed, 0, sizeof pressed);
    memset(reported, 0, sizeof reported);
  }
  // An input went down.
  void Press(int index) {
    if (index >= 0 && index < N) pressed[index] = 1;
  }
  // A pump is about to take new events, `frame` frames having been
  // presented, at `nowMs` on a millisecond clock.
  void BeginPump(uint64_t frame, uint64_t nowMs) {
    if (frame == 0 || nowMs - reportedMs >= 2000) memset(reported, 0, sizeof reported);
  }
  // Marks the latched inputs down (bit 7) in a state read of `count` bytes
  // made during presented frame `frame`, at `nowMs`.
  void Apply(uint8_t* state, int count, uint64_t frame, uint64_t nowMs) {
    if (frame != reportedFrame) memset(reported, 0, sizeof reported);
    reportedFrame = frame;
    for (int i = 0; i < N; ++i) {
      if (pressed[i] && !reported[i]) reportedMs = nowMs;
    }
    for (int i = 0; i < N; ++i) {
      if (pressed[i]) reported[i] = 1;
      if (reported[i] && i < count) state[i] |= 0x80;
    }
    memset(pressed, 0, sizeof pressed);
  }
};

}  // namespace qx

#endif
