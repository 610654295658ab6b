#include <gtest/gtest.h>

#include <string.h>
#include <unistd.h>

#include <filesystem>
#include <regex>
#include <string>

#include "runtime/core/alloc.h"
#include "runtime/core/log.h"
#include "runtime/core/window_state.h"
#include "support/read_file.h"

namespace {

namespace fs = std::filesystem;

// True when text is the pieces in order, each behind its own "<ms>:" stamp.
// (Shift-JIS trail bytes can be '\\', so no regular expressions over the text.)
::testing::AssertionResult Stamped(const std::string& text, std::initializer_list<std::string> pieces) {
  size_t pos = 0;
  for (const std::string& piece : pieces) {
    size_t digits = pos;
    while (digits < text.size() && isdigit(static_cast<unsigned char>(text[digits]))) ++digits;
    if (digits == pos || digits >= text.size() || text[digits] != ':') {
      return ::testing::AssertionFailure() << "no stamp at " << pos << " in " << text;
    }
    pos = digits + 1;
    if (text.compare(pos, piece.size(), piece) != 0) return ::testing::AssertionFailure() << "at " << pos << ": " << text;
    pos += piece.size();
  }
  if (pos != text.size()) return ::testing::AssertionFailure() << "trailing text: " << text.substr(pos);
  return ::testing::AssertionSuccess();
}

class LogFile : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/quarnex-log-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    qx::WindowState& ws = qx::GetWindowState();
    saved_ = ws;
    snprintf(ws.StartDirectory, sizeof(ws.StartDirectory), "%s", dir_.c_str());
    ws.logDisabled = 0;
    while (qx::LogIndentLevel() > 0) qx::LogIndentDecrease();
  }
  void TearDown() override {
    qx::GetWindowState() = saved_;
    fs::remove_all(dir_);
  }
  std::string Read() { return qxtest::ReadWholeText(dir_ + "/Log.txt"); }
  std::string dir_;
  qx::WindowState saved_;
};

TEST_F(LogFile, ATextWithoutLineFeedContinuesTheLine) {
  qx::StartLog();
  EXPECT_EQ(qx::LogWrite("ソフトの二重起動検査... "), -1);
  qx::LogWrite("二重起動はされていませんでした\n");
  EXPECT_TRUE(Stamped(Read(), {"ソフトの二重起動検査... 二重起動はされていませんでした\r\n"}));
}

TEST_F(LogFile, ThePrefixIsWrittenOnlyAtTheStartOfAWrite) {
  qx::StartLog();
  qx::LogIndentIncrease();
  qx::LogWrite("one\ntwo\n");
  qx::LogIndentDecrease();
  qx::LogPrintf("%s %d", "three", 3);
  EXPECT_TRUE(Stamped(Read(), {"\tone\r\ntwo\r\n", "three 3\r\n"}));
}

TEST_F(LogFile, StartingTheLogReplacesTheOldFile) {
  qx::StartLog();
  qx::LogWrite("old\n");
  qx::StartLog();
  EXPECT_EQ(Read(), "");
}

TEST_F(LogFile, ADisabledLogWritesNothing) {
  qx::GetWindowState().logDisabled = 1;
  qx::StartLog();
  qx::LogWrite("anything\n");
  EXPECT_FALSE(fs::exists(dir_ + "/Log.txt"));
}

// The log's texts are Shift-JIS; standard error gets them in UTF-8.
std::string Utf8(const char8_t* text) { return reinterpret_cast<const char*>(text); }

TEST_F(LogFile, ALoadFailureIsReportedOnStandardErrorWhetherTheLogIsOnOrOff) {
  for (int disabled : {1, 0}) {
    SCOPED_TRACE(disabled);
    qx::GetWindowState().logDisabled = disabled;
    qx::StartLog();
    ::testing::internal::CaptureStderr();
    qx::LogLoadFailure("右記のグラフィックファイルのロードに失敗しました：%s", "./res/img/a.png");
    qx::LogWrite("not a failure\n");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              Utf8(u8"右記のグラフィックファイルのロードに失敗しました：./res/img/a.png\n"));
    if (disabled) {
      EXPECT_FALSE(fs::exists(dir_ + "/Log.txt"));
    } else {
      EXPECT_TRUE(Stamped(Read(), {"右記のグラフィックファイルのロードに失敗しました：./res/img/a.png\r\n", "not a failure\r\n"}));
    }
  }
}

TEST_F(LogFile, ABytePairOutsideTheCodePageBecomesAQuestionMark) {
  qx::GetWindowState().logDisabled = 1;
  ::testing::internal::CaptureStderr();
  qx::LogLoadFailure("%s", "a\x85" "\x40" "b");  // 0x85 0x40 is unassigned in Shift-JIS
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "a?@b\n");
}

TEST_F(LogFile, NothingIsWrittenBeforeTheStartDirectoryIsKnown) {
  qx::StartLog();
  qx::GetWindowState().StartDirectory[0] = '\0';
  qx::LogWrite("lost\n");
  snprintf(qx::GetWindowState().StartDirectory, sizeof(qx::GetWindowState().StartDirectory), "%s", dir_.c_str());
  EXPECT_EQ(Read(), "");
}

TEST_F(LogFile, TheAllocationReportListsLiveBlocksAndTheTotal) {
  qx::StartLog();
  int blocksBefore = qx::AllocatedBlocks();
  size_t bytesBefore = qx::AllocatedBytes();
  char* block = static_cast<char*>(qx::MemAlloc(5));
  ASSERT_NE(block, nullptr);
  memcpy(block, "ab\x01\xE3" "d", 5);
  EXPECT_EQ(qx::AllocatedBlocks(), blocksBefore + 1);
  EXPECT_EQ(qx::AllocatedBytes(), bytesBefore + 5);
  qx::WriteAllocationReport();
  std::string text = Read();
  EXPECT_NE(text.find("Alloc memory dump\r\n"), std::string::npos) << text;
  // Control bytes show as '.', others lose their top bit.
  EXPECT_TRUE(std::regex_search(text, std::regex("\tsize:5\\(0\\.005kb\\)  file:  line:0  ID:[0-9]+  data:<ab\\.cd> \\[61 62 01 e3 64\\]\r\n")))
      << text;
  char total[96];
  snprintf(total, sizeof(total), "\tTotal size:%d(", static_cast<int>(bytesBefore + 5));
  EXPECT_NE(text.find(total), std::string::npos) << text;
  qx::MemFree(block);
  EXPECT_EQ(qx::AllocatedBlocks(), blocksBefore);
  EXPECT_EQ(qx::AllocatedBytes(), bytesBefore);
}

struct LineFeedCase {
  const char* in;
  const char* out;
};

class LineFeeds : public ::testing::TestWithParam<LineFeedCase> {};

TEST_P(LineFeeds, BecomeCrLf) {
  char out[256];
  size_t n = qx::ConvertLineFeeds(GetParam().in, out);
  EXPECT_EQ(std::string(out, n), GetParam().out);
}

INSTANTIATE_TEST_SUITE_P(Log, LineFeeds,
                         ::testing::Values(LineFeedCase{"a\nb\n", "a\r\nb\r\n"}, LineFeedCase{"\n", "\r\n"},
                                           LineFeedCase{"none", "none"},
                                           // An existing CR LF leaves the rest of the text as it is.
                                           LineFeedCase{"a\r\nb\nc\n", "a\r\nb\nc\n"},
                                           LineFeedCase{"a\nb\r\nc\n", "a\r\nb\r\nc\n"},
                                           // A lead byte takes the next byte with it, whatever it is.
                                           LineFeedCase{"\x81\nx\n", "\x81\nx\r\n"},
                                           LineFeedCase{"\xE0\x0A\n", "\xE0\x0A\r\n"},
                                           // 0x7F-0x80 and 0xA0-0xDF are single bytes.
                                           LineFeedCase{"\xA0\n", "\xA0\r\n"}));

}  // namespace
