// A test base that runs the runtime on a fresh headless back end inside a
// temporary working directory.
#ifndef QUARNEX_TESTS_SUPPORT_HEADLESS_FIXTURE_H
#define QUARNEX_TESTS_SUPPORT_HEADLESS_FIXTURE_H

#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <filesystem>
#include <string>

#include "runtime/core/window_state.h"
#include "runtime/platform/headless/headless.h"
#include "runtime/platform/headless/headless_window.h"
#include "runtime/platform/platform.h"

class HeadlessFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = qx::SelectPlatform(&qx::kHeadlessPlatform);
    unsetenv("QUARNEX_SCRIPT");  // another test in this process may have left one
    qx::HeadlessReset();
    qx::HeadlessClearMessages();
    qx::HeadlessSetDesktopMode(1920, 1080, 32, 60);
    memset(&qx::GetWindowState(), 0, sizeof(qx::WindowState));
    char pattern[] = "/tmp/quarnex-headless-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    oldDir_ = std::filesystem::current_path();
    std::filesystem::current_path(dir_);
  }
  void TearDown() override {
    std::filesystem::current_path(oldDir_);
    std::filesystem::remove_all(dir_);
    qx::SelectPlatform(previous_);
  }

  const qx::Platform* previous_ = nullptr;
  std::string dir_;
  std::filesystem::path oldDir_;
};

#endif
