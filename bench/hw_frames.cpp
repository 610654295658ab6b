// What the hardware back end asks of the graphics processor, frame by frame:
// draw calls, state changes between batches, texture uploads (bytes) and
// back-screen read-backs, and the time and bytes of each scene's loads
// (where its pictures are sent to the device).
//
// On the fake device (tests/graphics/fake_gpu.h), the real game plays its
// scripted minute headless (needs build/run/res.ptk):
//   build/bench/bench_hw_frames --benchmark_filter=FakeDevice
// On a real OpenGL (llvmpipe under Xvfb), the game's own play frames with
// fixed input, from the folder with the packed resources:
//   cd build/run && QUARNEX_RENDERER=hardware xvfb-run -s "-screen 0 1280x1024x24"
//     ../bench/bench_hw_frames --benchmark_filter=OpenGl   (one line)
// QUARNEX_HW_FRAMES=FILE writes one line per frame there.
#include <benchmark/benchmark.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "game/game.h"
#include "game/game_draw.h"
#include "game/game_rules.h"
#include "game/resources.h"
#include "game/scenes.h"
#include "graphics/fake_gpu.h"
#include "game/scripted_play.h"
#include "runtime/core/timing.h"
#include "runtime/graphics/hw.h"
#include "runtime/graphics/screen.h"
#include "runtime/runtime.h"

namespace {

struct Frame {
  uint64_t drawCalls, stateChanges, uploadBytes, readBacks;
};

std::vector<Frame> g_frames;
qx::HwStats g_last;

void NoteFrame() {
  const qx::HwStats& s = qx::HwGetStats();
  g_frames.push_back(Frame{s.drawCalls - g_last.drawCalls, s.stateChanges - g_last.stateChanges,
                           s.uploadBytes - g_last.uploadBytes, s.readBacks - g_last.readBacks});
  g_last = s;
}

void Report(benchmark::State& state, size_t firstPlay, size_t endPlay) {
  if (const char* path = getenv("QUARNEX_HW_FRAMES")) {
    if (FILE* f = fopen(path, "w")) {
      fprintf(f, "frame draw_calls state_changes upload_bytes read_backs\n");
      for (size_t i = 0; i < g_frames.size(); ++i)
        fprintf(f, "%zu %llu %llu %llu %llu\n", i + 1, static_cast<unsigned long long>(g_frames[i].drawCalls),
                static_cast<unsigned long long>(g_frames[i].stateChanges),
                static_cast<unsigned long long>(g_frames[i].uploadBytes),
                static_cast<unsigned long long>(g_frames[i].readBacks));
      fclose(f);
    }
  }
  endPlay = std::min(endPlay, g_frames.size());
  if (firstPlay >= endPlay) {
    state.SkipWithError("no play frames");
    return;
  }
  std::vector<uint64_t> calls;
  uint64_t changes = 0, bytes = 0, reads = 0, maxBytes = 0;
  for (size_t i = firstPlay; i < endPlay; ++i) {
    calls.push_back(g_frames[i].drawCalls);
    changes += g_frames[i].stateChanges;
    bytes += g_frames[i].uploadBytes;
    maxBytes = std::max(maxBytes, g_frames[i].uploadBytes);
    reads += g_frames[i].readBacks;
  }
  const double n = static_cast<double>(calls.size());
  std::sort(calls.begin(), calls.end());
  state.counters["play_frames"] = n;
  state.counters["draw_calls_median"] = static_cast<double>(calls[calls.size() / 2]);
  state.counters["draw_calls_max"] = static_cast<double>(calls.back());
  state.counters["state_changes_avg"] = static_cast<double>(changes) / n;
  state.counters["upload_bytes_avg"] = static_cast<double>(bytes) / n;
  state.counters["upload_bytes_max"] = static_cast<double>(maxBytes);
  state.counters["read_backs"] = static_cast<double>(reads);
}

// The real game, scripted, on the fake device.
void FakeDevice(benchmark::State& state) {
  namespace fs = std::filesystem;
  const fs::path archive = fs::path(QUARNEX_BINARY_DIR) / "run" / "res.ptk";
  char pattern[] = "/tmp/quarnex-hw-frames-XXXXXX";
  if (!mkdtemp(pattern) || !fs::exists(archive)) {
    state.SkipWithError("no build/run/res.ptk (build the quarnex target)");
    return;
  }
  const fs::path dir = pattern, back = fs::current_path();
  fs::copy_file(archive, dir / "res.ptk");
  fs::current_path(dir);
  setenv("QUARNEX_LOCK_DIR", pattern, 1);
  unsetenv("QUARNEX_RENDERER");
  const qx::Platform* previous = nullptr;
  for (auto _ : state) {
    previous = qx::SelectPlatform(&qxtest::FakeGpuPlatform());
    qx::HeadlessReset();
    qx::HeadlessLoadScriptText(qxtest::ScriptedPlay().c_str());
    qxtest::ResetFake();
    qxtest::Fake().rasterise = false;
    g_frames.clear();
    g_last = qx::HwStats{};
    qxtest::Fake().onPresent = NoteFrame;
    GameMain();
    qxtest::Fake().onPresent = nullptr;
    qx::SelectPlatform(previous);
  }
  fs::current_path(back);
  fs::remove_all(dir);
  Report(state, qxtest::kPlayFirstFrame - 1, qxtest::kPlayEscape - 1);
  state.SetLabel("fake device, scripted game");
}
BENCHMARK(FakeDevice)->Iterations(1)->Unit(benchmark::kMillisecond);

int FixedRandom(int max) {
  static unsigned seed = 12345;
  seed = seed * 1103515245u + 12345u;
  return static_cast<int>((seed >> 16) % static_cast<unsigned>(max + 1));
}

// The game's play frames on the OpenGL back end in a real window.
void OpenGl(benchmark::State& state) {
  SetWindowCaption("Quarnex hardware frames");
  SetScreenMode(800, 600, 32, 60);
  ChangeWindowMode(1);
  SetRunWhileInactive(1);
  SetLogFileEnabled(0);
  if (InitRuntime() == -1 || !qx::HwInUse()) {
    if (qx::ScreenExists()) EndRuntime();
    state.SkipWithError("no OpenGL device (run with QUARNEX_RENDERER=hardware under an X server)");
    return;
  }
  SetDrawTarget(-2);
  SetArchiveKeyString(QUARNEX_ARCHIVE_KEY);
  SetArchiveExtension("ptk");
  SetTransparentColor(255, 0, 255);
  uint64_t bytes = qx::HwGetStats().uploadBytes, start = qx::GetMicrosecondCount();
  LoadTitleResources();
  state.counters["title_load_ms"] = static_cast<double>(qx::GetMicrosecondCount() - start) / 1000.0;
  state.counters["title_upload_bytes"] = static_cast<double>(qx::HwGetStats().uploadBytes - bytes);
  bytes = qx::HwGetStats().uploadBytes;
  start = qx::GetMicrosecondCount();
  LoadGameResources();
  state.counters["play_load_ms"] = static_cast<double>(qx::GetMicrosecondCount() - start) / 1000.0;
  state.counters["play_upload_bytes"] = static_cast<double>(qx::HwGetStats().uploadBytes - bytes);
  GameState game;
  StartGame(game);
  const PlayInput still{400, 300, 0, 0};
  const int white = GetColorValue(255, 255, 255), black = GetColorValue(0, 0, 0);
  g_frames.clear();
  g_last = qx::HwGetStats();
  for (auto _ : state) {
    for (int i = 0; i < 600; ++i) {
      ProcessMessage();
      ClearDrawTarget();
      if (UpdateGameRules(game, still, FixedRandom)) StartGame(game);
      DrawList list;
      BuildGameFrame(game, GameRes, TitleRes.largeDigits, 400, 300, black, white, list);
      IssueDrawList(list);
      FlipScreen();
      NoteFrame();
      ++game.frame;
    }
  }
  state.SetLabel(qx::HwRendererName());
  EndRuntime();
  Report(state, 0, g_frames.size());
}
BENCHMARK(OpenGl)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
