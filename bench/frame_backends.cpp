// Processor time of a play frame (rules, drawing, presentation) on the back
// end QUARNEX_RENDERER picks, in a real SDL window: run it under an X server
// once per back end, from the folder with the packed resources (build/run):
//   cd build/run && QUARNEX_RENDERER=hardware xvfb-run -s "-screen 0 1280x1024x24" ../bench/bench_frame_backends
// "process" counts every thread (a rasteriser on the main processor works
// on threads of its own), "main" only the game's thread.
#include <benchmark/benchmark.h>

#include "game/game_draw.h"
#include "game/game_rules.h"
#include "game/resources.h"
#include "game/scenes.h"
#include "runtime/graphics/hw.h"
#include "runtime/runtime.h"

namespace {

bool g_started = false;
GameState g_game;

int FixedRandom(int max) {
  static unsigned seed = 12345;
  seed = seed * 1103515245u + 12345u;
  return static_cast<int>((seed >> 16) % static_cast<unsigned>(max + 1));
}

bool Start() {
  if (g_started) return true;
  SetWindowCaption("Quarnex frame bench");
  SetScreenMode(800, 600, 32, 60);
  ChangeWindowMode(1);
  SetRunWhileInactive(1);
  SetLogFileEnabled(0);
  if (InitRuntime() == -1) return false;
  SetDrawTarget(-2);
  SetArchiveKeyString(QUARNEX_ARCHIVE_KEY);
  SetArchiveExtension("ptk");
  SetTransparentColor(255, 0, 255);
  LoadTitleResources();
  LoadGameResources();
  StartGame(g_game);
  g_game.frame = 100;
  // A busy field: stones have spawned and grown.
  const PlayInput still{400, 300, 0, 0};
  for (int i = 0; i < 900; ++i) {
    if (UpdateGameRules(g_game, still, FixedRandom)) StartGame(g_game);
    ++g_game.frame;
  }
  g_started = true;
  return true;
}

void PlayFrame(benchmark::State& state) {
  if (!Start()) {
    state.SkipWithError("the runtime did not start (no display?)");
    return;
  }
  const PlayInput still{400, 300, 0, 0};
  const int white = GetColorValue(255, 255, 255), black = GetColorValue(0, 0, 0);
  uint64_t quads = qx::HwQuadsDrawn(), batches = qx::HwBatchesSent();
  int64_t graphs = 0;
  for (auto _ : state) {
    ProcessMessage();
    ClearDrawTarget();
    if (UpdateGameRules(g_game, still, FixedRandom)) StartGame(g_game);
    DrawList list;
    BuildGameFrame(g_game, GameRes, TitleRes.largeDigits, 400, 300, black, white, list);
    IssueDrawList(list);
    FlipScreen();
    ++g_game.frame;
    graphs += list.count;
  }
  state.counters["draws_per_frame"] =
      benchmark::Counter(static_cast<double>(graphs), benchmark::Counter::kAvgIterations);
  state.counters["quads_per_frame"] =
      benchmark::Counter(static_cast<double>(qx::HwQuadsDrawn() - quads), benchmark::Counter::kAvgIterations);
  state.counters["batches_per_frame"] =
      benchmark::Counter(static_cast<double>(qx::HwBatchesSent() - batches), benchmark::Counter::kAvgIterations);
  state.SetLabel(qx::HwInUse() ? qx::HwRendererName() : "software");
}
BENCHMARK(PlayFrame)->Name("PlayFrame/main")->Iterations(300)->Unit(benchmark::kMillisecond);
BENCHMARK(PlayFrame)->Name("PlayFrame/process")->MeasureProcessCPUTime()->Iterations(300)->Unit(benchmark::kMillisecond);

// Only the drawing calls of a frame (with the batch flushes they cause), on
// the game's thread: what a graph costs the main processor.
void IssueOnly(benchmark::State& state) {
  if (!Start()) {
    state.SkipWithError("the runtime did not start (no display?)");
    return;
  }
  const int white = GetColorValue(255, 255, 255), black = GetColorValue(0, 0, 0);
  DrawList list;
  BuildGameFrame(g_game, GameRes, TitleRes.largeDigits, 400, 300, black, white, list);
  ClearDrawTarget();
  for (auto _ : state) IssueDrawList(list);
  FlipScreen();
  state.counters["per_graph"] = benchmark::Counter(static_cast<double>(list.count),
                                                   benchmark::Counter::kIsIterationInvariantRate |
                                                       benchmark::Counter::kInvert);
  state.SetLabel(qx::HwInUse() ? qx::HwRendererName() : "software");
}
BENCHMARK(IssueOnly)->Iterations(200)->Unit(benchmark::kMicrosecond);

}  // namespace
