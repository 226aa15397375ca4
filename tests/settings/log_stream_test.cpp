#include "settings/log_stream.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <boost/iostreams/stream.hpp>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/temp_folder.h"

namespace tessaline {
namespace {

bool Exists(const std::string& path) { return std::ifstream(path).is_open(); }

// A sink device like qxCout that delivers to a sink of the test's own, so the
// buffering of a real log stream decides what arrives as one chunk.
class TestDevice {
 public:
  typedef char char_type;
  typedef boost::iostreams::sink_tag category;
  explicit TestDevice(LogSink* sink) : sink_(sink) {}
  std::streamsize write(const char* s, std::streamsize n) {
    sink_->Deliver(s, static_cast<std::size_t>(n));
    return n;
  }

 private:
  LogSink* sink_;
};
using TestStream = boost::iostreams::stream<TestDevice>;

class LogSinkTest : public ::testing::Test {
 protected:
  void Send(const std::string& chunk) { sink_.Deliver(chunk.data(), chunk.size()); }

  std::ostringstream console_;
  TempFolder folder_;
  const std::string file_ = folder_ / "test.log";
  LogSink sink_{console_, file_};
};

TEST_F(LogSinkTest, TwoMessagesGiveTwoLinesEverywhere) {
  Send("a\n");
  Send("b\n");
  EXPECT_EQ(console_.str(), "a\nb\n");
  EXPECT_EQ(ReadBytes(file_), "a\nb\n");
  EXPECT_EQ(sink_.History(), (std::vector<std::string>{"a\n", "b\n", ""}));
}

TEST_F(LogSinkTest, LineFeedsInsideAMessageJoinItsFileLine) {
  Send("x\ny\n");
  EXPECT_EQ(console_.str(), "x\ny\n");
  EXPECT_EQ(ReadBytes(file_), "xy\n");
  EXPECT_EQ(sink_.History(), (std::vector<std::string>{"x\ny\n", ""}));
}

TEST_F(LogSinkTest, AnEmptyMessageAddsAnEmptyLineAndTwoEmptyEntries) {
  Send("a\n");
  Send("\n");
  EXPECT_EQ(ReadBytes(file_), "a\n\n");
  EXPECT_EQ(sink_.History(), (std::vector<std::string>{"a\n", "", "", ""}));
}

TEST_F(LogSinkTest, EachPieceOfASplitMessageGetsItsOwnLineAndEntry) {
  // A message longer than the stream buffer arrives in pieces; each piece
  // fills the empty newest entry and opens a new one.
  Send("part one, ");
  Send("part two\n");
  EXPECT_EQ(ReadBytes(file_), "part one, \npart two\n");
  EXPECT_EQ(sink_.History(), (std::vector<std::string>{"part one, ", "part two\n", ""}));
}

TEST_F(LogSinkTest, HistoryKeepsTheLast24MessagesAndAnEmptyNewestEntry) {
  for (int i = 0; i < 30; ++i) Send("message " + std::to_string(i) + "\n");
  const std::vector<std::string> history = sink_.History();
  ASSERT_EQ(history.size(), LogSink::kHistorySize);
  ASSERT_EQ(history.size(), 25u);
  for (int i = 0; i < 24; ++i) EXPECT_EQ(history[i], "message " + std::to_string(i + 6) + "\n");
  EXPECT_EQ(history.back(), "");
}

TEST_F(LogSinkTest, AFileNameCannotDriveTheTerminalFromAnyPlace) {
  // Clear the screen, then ring: the name is shown, never obeyed.
  Send("reading a texture... (\x1b[2J\x07x.jpg)\nsecond line\n");
  const std::string shown = "reading a texture... (\\x1b[2J\\x07x.jpg)";
  EXPECT_EQ(console_.str(), shown + "\nsecond line\n");
  EXPECT_EQ(ReadBytes(file_), shown + "second line\n");
  EXPECT_EQ(sink_.History(), (std::vector<std::string>{shown + "\nsecond line\n", ""}));
}

TEST(PrintableText, EscapesControlsAndBytesThatAreNotUtf8) {
  struct Row {
    std::string text, shown;
  };
  const Row rows[] = {
      {"plain name.jpg\n", "plain name.jpg\n"},
      {"\x1b]0;title\x07 bell", "\\x1b]0;title\\x07 bell"},
      {"over\rwrite\ttab", "over\\x0dwrite\\x09tab"},
      {std::string("nul\0del\x7f", 8), "nul\\x00del\\x7f"},
      {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x8e\xa8", "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x8e\xa8"},
      {"C1 CSI \xc2\x9bm", "C1 CSI \\xc2\\x9bm"},
      {"latin-1 caf\xe9, lone \x9b", "latin-1 caf\\xe9, lone \\x9b"},
      {"overlong \xc0\xaf surrogate \xed\xa0\x80", "overlong \\xc0\\xaf surrogate \\xed\\xa0\\x80"},
      {"beyond \xf4\x90\x80\x80 cut \xe2\x82", "beyond \\xf4\\x90\\x80\\x80 cut \\xe2\\x82"},
  };
  for (const Row& row : rows) EXPECT_EQ(PrintableText(row.text), row.shown) << row.shown;
}

TEST(LogSink, CreatesTheFileOnTheFirstChunkAndReplacesTheOldOne) {
  TempFolder folder;
  const std::string file = folder / "test.log";
  std::ofstream(file) << "previous run\n";
  std::ostringstream console;
  LogSink sink(console, file);
  EXPECT_EQ(ReadBytes(file), "previous run\n");
  EXPECT_TRUE(sink.History().empty());
  sink.Deliver("new\n", 4);
  EXPECT_EQ(ReadBytes(file), "new\n");
}

TEST(LogSink, WithoutAChunkNoFileIsMade) {
  TempFolder folder;
  const std::string file = folder / "test.log";
  {
    std::ostringstream console;
    LogSink sink(console, file);
  }
  EXPECT_FALSE(Exists(file));
}

TEST(LogSink, AnUnopenableFileStillFeedsConsoleAndHistory) {
  std::ostringstream console;
  LogSink sink(console, "/nonexistent_directory_for_log_test/x.log");
  sink.Deliver("still here\n", 11);
  EXPECT_EQ(console.str(), "still here\n");
  EXPECT_EQ(sink.History(), (std::vector<std::string>{"still here\n", ""}));
}

TEST(LogSink, StreamsOfTwoThreadsDeliverOnlyWholeLines) {
  TempFolder folder;
  const std::string file = folder / "test.log";
  std::ostringstream console;
  LogSink sink(console, file);
  const int kMessages = 2000;
  auto writer = [&](char letter) {
    TestStream out(TestDevice(&sink), 4096);
    for (int i = 0; i < kMessages; ++i)
      out << letter << " : " << i << " " << std::string(50, letter) << std::endl;
  };
  std::thread first(writer, 'p');
  std::thread second(writer, 'q');
  first.join();
  second.join();

  // Each thread's lines arrive whole and in its own order.
  std::istringstream lines(ReadBytes(file));
  int next[2] = {0, 0};
  for (std::string line; std::getline(lines, line);) {
    ASSERT_FALSE(line.empty());
    const int who = line[0] == 'p' ? 0 : 1;
    const char letter = who == 0 ? 'p' : 'q';
    ASSERT_EQ(line, std::string(1, letter) + " : " + std::to_string(next[who]) + " " +
                        std::string(50, letter));
    ++next[who];
  }
  EXPECT_EQ(next[0], kMessages);
  EXPECT_EQ(next[1], kMessages);
}

// Logs through the program's module streams in a fresh temporary working
// directory and checks what reached tessaline.log and the global history.
// Runs in a child process, where the global sink has not opened its file yet.
int LogThroughModuleStreams() {
  TempFolder dir;
  if (chdir(dir.Path().c_str()) != 0) return 2;
  engine_log() << "engine : " << 1 << std::endl;
  view_log() << "view" << std::endl;
  support_log() << "support : a\nb" << std::endl;
  const std::string file = ReadBytes("tessaline.log");
  const std::vector<std::string> history = LogHistory();
  if (file != "engine : 1\nview\nsupport : ab\n") return 3;
  const std::vector<std::string> expected{"engine : 1\n", "view\n", "support : a\nb\n", ""};
  return history == expected ? 0 : 4;
}

TEST(LogStreamDeathTest, ModuleStreamsWriteTessalineLogInTheWorkingDirectory) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(std::exit(LogThroughModuleStreams()), ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace tessaline
