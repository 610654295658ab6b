#include "game/frame_stats.h"

#include <cstdlib>
#include <cstring>
#include <ctime>
// For the steady clock: <chrono> itself holds a literal that the Shift-JIS
// execution character set cannot take.
#include <thread>

namespace {

// Frame times go into fixed histograms so that counting allocates nothing.
constexpr int64_t kBinMicros = 10;
constexpr int kBins = 10000;  // up to 100 ms; longer frames share the last bin
constexpr int kMaxLoads = 64;

const char* const kSceneNames[kStatSceneCount] = {"logo", "title", "intro", "play"};

struct SceneCounts {
  uint32_t bins[kBins];
  int frames;
  int64_t max;
};

struct Load {
  StatScene scene;
  int64_t micros;
};

struct Stats {
  bool enabled;
  char path[4096];
  SceneCounts scenes[kStatSceneCount];
  Load loads[kMaxLoads];
  int loadCount;
  StatScene scene;
  bool inFrame;
  int64_t frameStart;
  int64_t presentStart;
  int64_t presented;  // processor time spent presenting in the current frame
  std::chrono::steady_clock::time_point loadStart;
};

Stats g_stats;

// Processor time of the process in microseconds.
int64_t CpuMicros() {
  const std::clock_t now = std::clock();
  return static_cast<int64_t>(now) * 1000000 / CLOCKS_PER_SEC;
}

}  // namespace

void FrameStatsStart() {
  const char* path = std::getenv("QUARNEX_FRAME_STATS");
  if (!path || !*path || std::clock() == static_cast<std::clock_t>(-1)) return;
  if (std::strlen(path) >= sizeof(g_stats.path)) {
    std::fprintf(stderr, "quarnex: the frame statistics path is too long\n");
    return;
  }
  std::strcpy(g_stats.path, path);
  g_stats.enabled = true;
}

void FrameStatsFinish() {
  if (!g_stats.enabled) return;
  FILE* out = std::fopen(g_stats.path, "w");
  if (!out) {
    std::fprintf(stderr, "quarnex: cannot write frame statistics to %s\n", g_stats.path);
    return;
  }
  FrameStatsWrite(out);
  std::fclose(out);
}

void FrameStatsScene(StatScene scene) {
  g_stats.scene = scene;
  g_stats.inFrame = false;
}

void FrameStatsBegin() {
  if (!g_stats.enabled) return;
  g_stats.inFrame = true;
  g_stats.presented = 0;
  g_stats.frameStart = CpuMicros();
}

void FrameStatsPresentBegin() {
  if (g_stats.enabled) g_stats.presentStart = CpuMicros();
}

void FrameStatsPresentEnd() {
  if (g_stats.enabled) g_stats.presented += CpuMicros() - g_stats.presentStart;
}

void FrameStatsEnd() {
  if (!g_stats.enabled || !g_stats.inFrame) return;
  g_stats.inFrame = false;
  FrameStatsAddFrame(g_stats.scene, CpuMicros() - g_stats.frameStart - g_stats.presented);
}

void FrameStatsLoadBegin() {
  if (g_stats.enabled) g_stats.loadStart = std::chrono::steady_clock::now();
}

void FrameStatsLoadEnd(StatScene scene) {
  if (!g_stats.enabled) return;
  const auto elapsed = std::chrono::steady_clock::now() - g_stats.loadStart;
  FrameStatsAddLoad(scene, std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count());
}

void FrameStatsReset() {
  // Counts only: whether and where to write stays.
  std::memset(g_stats.scenes, 0, sizeof(g_stats.scenes));
  g_stats.loadCount = 0;
  g_stats.inFrame = false;
}

void FrameStatsAddFrame(StatScene scene, int64_t micros) {
  if (micros < 0) micros = 0;
  SceneCounts& s = g_stats.scenes[scene];
  const int64_t bin = micros / kBinMicros;
  s.bins[bin < kBins ? bin : kBins - 1]++;
  s.frames++;
  if (micros > s.max) s.max = micros;
}

void FrameStatsAddLoad(StatScene scene, int64_t micros) {
  if (g_stats.loadCount < kMaxLoads) g_stats.loads[g_stats.loadCount++] = {scene, micros};
}

FrameSummary FrameStatsSummary(StatScene scene) {
  const SceneCounts& s = g_stats.scenes[scene];
  FrameSummary summary{s.frames, 0, 0, 0, s.max};
  if (s.frames == 0) return summary;
  // Nearest rank: the smallest time that at least p percent of the frames do not exceed.
  auto percentile = [&](int p) {
    const int64_t rank = (static_cast<int64_t>(p) * s.frames + 99) / 100;
    int64_t seen = 0;
    for (int b = 0; b < kBins - 1; ++b) {
      seen += s.bins[b];
      if (seen >= rank) return b * kBinMicros;
    }
    return s.max;
  };
  summary.p50 = percentile(50);
  summary.p90 = percentile(90);
  summary.p99 = percentile(99);
  return summary;
}

void FrameStatsWrite(FILE* out) {
  auto ms = [](int64_t micros) { return static_cast<double>(micros) / 1000.0; };
  for (int i = 0; i < kStatSceneCount; ++i) {
    const FrameSummary s = FrameStatsSummary(static_cast<StatScene>(i));
    std::fprintf(out, "%s frames %d p50 %.2f p90 %.2f p99 %.2f max %.2f\n", kSceneNames[i], s.frames, ms(s.p50),
                 ms(s.p90), ms(s.p99), ms(s.max));
  }
  for (int i = 0; i < g_stats.loadCount; ++i)
    std::fprintf(out, "load %s %.2f\n", kSceneNames[g_stats.loads[i].scene], ms(g_stats.loads[i].micros));
}
