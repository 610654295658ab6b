// A program of one's own: the public header next to standard headers that do
// not compile with a Shift-JIS execution character set, built with default
// flags. It runs the runtime for a few frames while a thread of its own counts
// the frames shown.
#include <quarnex/runtime.h>

#include <atomic>
#include <chrono>
#include <iostream>
#include <thread>
#if __has_include(<format>)  // not in the standard library of g++ 12
#include <format>
#endif

int main() {
  SetWindowCaption("Quarnex consumer");
  SetScreenMode(320, 240, 32, 60);
  ChangeWindowMode(1);
  SetLogFileEnabled(0);
  if (InitRuntime() != 0) return 1;
  SetDrawTarget(-2);

  std::atomic<int> shown{0}, counted{0};
  std::atomic<bool> done{false};
  std::thread counter([&] {
    while (!done) {
      counted = shown.load();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    counted = shown.load();
  });
  const auto start = std::chrono::steady_clock::now();
  while (shown < 5 && ProcessMessage() == 0) {
    ClearDrawTarget();
    DrawRectangle(10, 10, 100, 100, GetColorValue(255, 0, 0), 1);
    FlipScreen();
    ++shown;
  }
  done = true;
  counter.join();
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
  EndRuntime();
#if __has_include(<format>)
  std::cout << std::format("consumer: {} frames in {} ms\n", counted.load(), ms.count());
#else
  std::cout << "consumer: " << counted << " frames in " << ms.count() << " ms\n";
#endif
  return counted == 5 ? 0 : 1;
}
