// Frame and load statistics for benchmarks: when QUARNEX_FRAME_STATS names a
// file, the processor time of every scene frame (between two presentations,
// the presentation and the frame wait left out) and the wall time of every
// scene's resource loading are kept and written there at exit.
//
// Measured with the standard library alone (processor time of the process,
// a steady clock), so the game needs nothing beyond the runtime's surface.
#ifndef QUARNEX_GAME_FRAME_STATS_H
#define QUARNEX_GAME_FRAME_STATS_H

#include <stdint.h>
#include <stdio.h>

enum StatScene { kStatLogo, kStatTitle, kStatIntro, kStatPlay, kStatSceneCount };

// Reads QUARNEX_FRAME_STATS; without it every other call does nothing.
void FrameStatsStart();
// Writes the file (if one was asked for).
void FrameStatsFinish();

// The scene whose frames are being counted.
void FrameStatsScene(StatScene scene);
// A frame begins (the loop condition), is presented (around FlipScreen) and
// ends (before the frame wait, or after the presentation where none follows).
void FrameStatsBegin();
void FrameStatsPresentBegin();
void FrameStatsPresentEnd();
void FrameStatsEnd();

void FrameStatsLoadBegin();
void FrameStatsLoadEnd(StatScene scene);

// The summary of one scene's frames in microseconds: nearest-rank percentiles
// to 10 us, the maximum exact. Exposed for tests.
struct FrameSummary {
  int frames;
  int64_t p50, p90, p99, max;
};
void FrameStatsReset();
void FrameStatsAddFrame(StatScene scene, int64_t micros);
FrameSummary FrameStatsSummary(StatScene scene);
void FrameStatsWrite(FILE* out);
void FrameStatsAddLoad(StatScene scene, int64_t micros);

#endif
