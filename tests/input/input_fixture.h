// Runs the input layer on the headless back end with a fresh script.
#ifndef QUARNEX_TESTS_INPUT_INPUT_FIXTURE_H
#define QUARNEX_TESTS_INPUT_INPUT_FIXTURE_H

#include <gtest/gtest.h>
#include <stdlib.h>

#include "runtime/core/api_internal.h"
#include "runtime/core/subsystems.h"
#include "runtime/core/timing.h"
#include "runtime/core/window_state.h"
#include "runtime/input/input.h"
#include "runtime/platform/headless/headless.h"
#include "runtime/platform/platform.h"

class HeadlessInput : public ::testing::Test {
 protected:
  void SetUp() override {
    qx::SetLogFileEnabled(0);
    // No window is created here; reads must not wait for an activation.
    qx::GetWindowState().windowActive = 1;
    previous_ = qx::SelectPlatform(&qx::kHeadlessPlatform);
    unsetenv("QUARNEX_SCRIPT");
    qx::EndInput();
    qx::HeadlessReset();
    qx::GetInputState().notAvailable = 0;
  }
  void TearDown() override {
    qx::EndInput();
    qx::GetInputState().notAvailable = 0;
    qx::HeadlessReset();
    qx::SelectPlatform(previous_);
  }

  // Loads the script and sets the input layer up, preferred or fallback.
  void Start(const char* script, bool fallback = false) {
    ASSERT_GE(qx::HeadlessLoadScriptText(script), 0);
    qx::GetInputState().notAvailable = fallback ? 1 : 0;
    ASSERT_EQ(qx::SetUpInput(), 0);
    ASSERT_EQ(qx::GetInputState().object, fallback ? qx::kInputObjectFallback : qx::kInputObjectDevices);
  }

  // Moves on to the next millisecond tick, so the rate-limited reads refresh.
  static void NextTick() {
    uint32_t start = qx::TickNow();
    while (qx::TickNow() == start) qx::Os().Sleep(1);
  }

  // Presents a frame (script "frame" events become due) and moves the clock on.
  static void NextFrame() {
    qx::Headless().presentedFrames++;
    NextTick();
  }

  const qx::Platform* previous_ = nullptr;
};

#endif
