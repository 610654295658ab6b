#include "runtime/core/timing.h"

#include "runtime/core/api_internal.h"
#include "runtime/core/log.h"
#include "runtime/core/window_state.h"
#include "runtime/platform/platform.h"

namespace qx {
namespace {

constexpr int kN = 624;
constexpr int kM = 397;

struct RandomState {
  uint32_t state[kN];
  uint32_t output[kN];
  int position;
  int seeded;
  int vector;
};

RandomState g_random = {{}, {}, kN, 0, 0};

void GenerateBatch() {
  uint32_t* mt = g_random.state;
  for (int k = 0; k < kN; ++k) {
    uint32_t y = (mt[k] & 0x80000000u) | (mt[(k + 1) % kN] & 0x7FFFFFFFu);
    mt[k] = mt[(k + kM) % kN] ^ (y >> 1) ^ ((y & 1u) ? 0x9908B0DFu : 0u);
  }
  for (int k = 0; k < kN; ++k) {
    uint32_t y = mt[k];
    y ^= y >> 11;
    y ^= (y << 7) & 0x9D2C5680u;
    y ^= (y << 15) & 0xEFC60000u;
    y ^= y >> 18;
    g_random.output[k] = y;
  }
  g_random.position = 0;
}

void Seed(uint32_t x) {
  for (int i = 0; i < kN; ++i) {
    g_random.state[i] = (x & 0xFFFF0000u) | ((x * 69069u + 1u) >> 16);
    x = (x * 69069u + 1u) * 69069u + 1u;
  }
  // The batch could be computed two words at a time where MMX exists; the
  // results are the same, so the flag is only recorded.
  PlatformSystemInfo info;
  Os().QuerySystemInfo(&info);
  g_random.vector = info.hasMmx;
  g_random.seeded = 1;
  GenerateBatch();
}

}  // namespace

uint32_t TickNow() { return Os().TickMilliseconds(); }

uint64_t GetMicrosecondCount() {
  const WindowState& ws = GetWindowState();
  if (ws.UsePerformanceCounter && ws.counterFrequency != 0) {
    unsigned __int128 product = static_cast<unsigned __int128>(Os().QueryCounter()) * 1000000u;
    return static_cast<uint64_t>(product / ws.counterFrequency);
  }
  return static_cast<uint64_t>(TickNow()) * 1000u;
}

void TimerCheck() {
  WindowState& ws = GetWindowState();
  const PlatformOsOps& os = Os();
  ws.counterFrequency = os.CounterFrequency();
  ws.UsePerformanceCounter = ws.counterFrequency != 0;
  ws.timerPeriodMin = os.TimerPeriodMin();
  os.TimerBeginPeriod(ws.timerPeriodMin);
  if (!ws.UsePerformanceCounter) return;

  LogWrite("タイマーの精度を検査します\n");
  uint32_t t0 = TickNow();
  uint64_t c0 = os.QueryCounter();
  uint32_t start = TickNow();
  uint8_t timerCount = 0;
  uint8_t counterCount = 0;
  if (ProcessMessage() == 0) {
    while (timerCount < 60 && counterCount < 60 && static_cast<uint32_t>(TickNow() - start) < 1000u) {
      uint64_t c = os.QueryCounter();
      if (c != c0) {
        counterCount++;
        c0 = c;
      }
      uint32_t t = TickNow();
      if (t != t0) {
        timerCount++;
        t0 = t;
      }
      if (ProcessMessage() != 0) break;
    }
  }
  LogPrintf("精度結果 更新回数 マルチメディアタイマー：%d  パフォーマンスカウンター：%d", timerCount, counterCount);
  LogWrite(" ");
  if (timerCount > counterCount) {
    LogText("マルチメディアタイマーを使用します タイマー分解能 : %d.00 ms ", ws.timerPeriodMin);
    ws.UsePerformanceCounter = 0;
  } else {
    LogText("パフォーマンスカウンターを使用します タイマー分解能 : %lf KHz ",
              static_cast<double>(ws.counterFrequency) * 0.001);
  }
  LogWrite(" ");
}

uint32_t RandomNext() {
  if (g_random.position >= kN) {
    if (!g_random.seeded) Seed(4357u);
    GenerateBatch();
  }
  return g_random.output[g_random.position++];
}

int GetTickMilliseconds(int) { return static_cast<int>(TickNow()); }

int GetLocalDateTime(DateTime* out) {
  if (out) Os().GetLocalDateTime(out);
  return 0;
}

int SeedRandom(int seed) {
  Seed(static_cast<uint32_t>(seed));
  return 0;
}

int GetRandomInt(int max) {
  uint32_t r = RandomNext();
  // max + 1 in 64 bits: max = -1 multiplies by 0, and the largest max does not
  // wrap to a negative range.
  uint64_t range = static_cast<uint64_t>(static_cast<int64_t>(max) + 1);
  uint64_t product = static_cast<uint64_t>(r) * range;
  return static_cast<int32_t>(static_cast<uint32_t>(product >> 32));
}

}  // namespace qx
