// The progress line on standard error: shown under a terminal for files of
// 64 MB and more, never otherwise, and never changing what is written to
// standard output or saved. A pseudo-terminal comes from util-linux `script`.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <fstream>
#include <regex>
#include <string>
#include <string_view>
#include <vector>

#include "test_support.h"

namespace dorvenix::testing {
namespace {

const std::string kLine = "Tehy jmpued oevr the lzay dgos, raeinDg srlabcmed wdros!\n";
const std::string kRestoredLine = "they jumped over the lazy dogs, reading scrambled words!\n";
const char kSmall[] = "they jumped over the lazy dogs reading scrambled words\n";
// Enough copies of kLine for a 70 MiB file, above the 64 MiB threshold.
const std::size_t kCopies = (std::size_t{70} << 20) / kLine.size();

// Whether two (large) byte strings are equal; on failure, says where they
// first differ instead of printing them whole.
::testing::AssertionResult SameBytes(const std::string& actual, const std::string& expected) {
  if (actual == expected) return ::testing::AssertionSuccess();
  const auto diff = std::mismatch(actual.begin(), actual.end(), expected.begin(), expected.end());
  const std::size_t at = static_cast<std::size_t>(diff.first - actual.begin());
  return ::testing::AssertionFailure()
         << "sizes " << actual.size() << " and " << expected.size() << ", first difference at byte "
         << at << ": '" << actual.substr(at, 40) << "' instead of '" << expected.substr(at, 40)
         << "'";
}

// Makes the terminal's bytes readable in failure messages.
std::string Visible(const std::string& bytes) {
  std::string out;
  for (const char c : bytes) {
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\x1b') {
      out += "\\e";
    } else if (c == '\n') {
      out += "\\n";
    } else {
      out += c;
    }
  }
  return out;
}

// One folder for the whole suite: the big file is written once.
class ProgressTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TempDir;
    std::string chunk;
    for (int i = 0; i < 16384; ++i) chunk += kLine;
    std::ofstream big(dir_->File("big.txt"), std::ios::binary);
    std::size_t left = kCopies;
    while (left >= 16384) {
      big << chunk;
      left -= 16384;
    }
    for (; left > 0; --left) big << kLine;
    big.close();
    dir_->Write("small.txt", kSmall);
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }
  void SetUp() override {
    if (RunShell("command -v script >/dev/null").status != 0) {
      GTEST_SKIP() << "util-linux script is not installed";
    }
  }

  // The dictionary learnt from big.txt: every word of 4 letters or more seen
  // kCopies times.
  static std::vector<std::string> BigDictLines() {
    std::vector<std::string> lines;
    for (const char* word :
         {"tehy", "jmpued", "oevr", "lzay", "dgos", "raeindg", "srlabcmed", "wdros"}) {
      lines.push_back(std::string(word) + " " + std::to_string(kCopies) + "\n");
    }
    return lines;
  }
  static std::string Restored() {
    std::string text;
    text.reserve(kRestoredLine.size() * kCopies);
    for (std::size_t i = 0; i < kCopies; ++i) text += kRestoredLine;
    return text;
  }

  static TempDir* dir_;
};

TempDir* ProgressTest::dir_ = nullptr;

// Everything a terminal receives from a run that shows progress: redraws of
// "\rdorvenix: WHAT: P% R MB/s\e[K" with P never falling, then "\r\e[K".
// Returns the number of redraws, or -1 with a failure when the bytes differ.
int CheckProgressLines(const std::string& terminal, const std::string& what) {
  const std::string erase = "\r\x1b[K";
  if (terminal.size() < erase.size() ||
      terminal.compare(terminal.size() - erase.size(), erase.size(), erase) != 0) {
    ADD_FAILURE() << "the line is not erased at the end: " << Visible(terminal);
    return -1;
  }
  std::string label;  // `what` with the regex specials escaped
  for (const char c : what) {
    if (std::string_view("\\^$.|?*+()[]{}").find(c) != std::string_view::npos) label += '\\';
    label += c;
  }
  const std::regex draw("\rdorvenix: " + label + ": ([0-9]{1,3})% ([0-9]+) MB/s\x1b\\[K");
  const std::string draws = terminal.substr(0, terminal.size() - erase.size());
  int count = 0;
  int last_percent = 0;
  std::size_t at = 0;
  for (auto it = std::sregex_iterator(draws.begin(), draws.end(), draw);
       it != std::sregex_iterator(); ++it) {
    if (static_cast<std::size_t>(it->position()) != at) break;
    const int percent = std::stoi((*it)[1].str());
    if (percent < last_percent || percent > 100) {
      ADD_FAILURE() << "percentage " << percent << " after " << last_percent << ": "
                    << Visible(terminal);
      return -1;
    }
    last_percent = percent;
    at += static_cast<std::size_t>(it->length());
    ++count;
  }
  if (count == 0 || at != draws.size()) {
    ADD_FAILURE() << "unexpected bytes at " << at << " of " << Visible(terminal);
    return -1;
  }
  return count;
}

TEST_F(ProgressTest, ShownOnlyOnATerminalForBigFiles) {
  // Without a terminal: nothing on standard error, and the reference results.
  RunResult plain = RunDorvenix({"-a", "big.txt", "-s", "plain.dict"}, dir_->path());
  ASSERT_EQ(plain.status, 0) << plain.err;
  EXPECT_EQ(plain.err, "");
  const std::string dict = ReadFile(dir_->File("plain.dict"));
  const std::vector<std::string> lines = BigDictLines();
  std::size_t length = 0;
  for (const std::string& line : lines) {
    EXPECT_NE(dict.find(line), std::string::npos) << line << " not in\n" << dict;
    length += line.size();
  }
  EXPECT_EQ(dict.size(), length) << dict;

  plain = RunDorvenix({"-a", "small.txt", "-d", "big.txt"}, dir_->path());
  EXPECT_EQ(plain.status, 0) << plain.err;
  EXPECT_EQ(plain.err, "");
  const std::string restored = Restored();
  EXPECT_TRUE(SameBytes(plain.out, restored));
  plain.out.clear();

  plain = RunDorvenix({"-a", "small.txt", "-s", "small.dict"}, dir_->path());
  EXPECT_EQ(plain.status, 0) << plain.err;
  EXPECT_EQ(plain.err, "");
  const std::string small_dict = ReadFile(dir_->File("small.dict"));
  EXPECT_NE(small_dict.find("dogs 1\n"), std::string::npos) << small_dict;

  struct Case {
    std::string command;          // run by script's shell; $DORVENIX is the binary
    std::string what;             // "learning PATH" / "deciphering PATH"; empty: no line at all
    std::string output;           // file the command writes
    const std::string* expected;  // what that file must hold
  };
  const Case cases[] = {
      {"\"$DORVENIX\" -a big.txt -s tty.dict", "learning big.txt", "tty.dict", &dict},
      {"\"$DORVENIX\" -a small.txt -d big.txt > tty.txt", "deciphering big.txt", "tty.txt",
       &restored},
      // Standard input redirected from the file: its size is known.
      {"\"$DORVENIX\" -a small.txt -d /dev/stdin < big.txt > tty.txt", "deciphering /dev/stdin",
       "tty.txt", &restored},
      // A pipe has no size: no line.
      {"cat big.txt | \"$DORVENIX\" -a /dev/stdin -s tty.dict", "", "tty.dict", &dict},
      // A small file: no line.
      {"\"$DORVENIX\" -a small.txt -s tty.dict", "", "tty.dict", &small_dict},
  };
  for (const Case& c : cases) {
    std::remove(dir_->File(c.output).c_str());
    const auto start = std::chrono::steady_clock::now();
    const RunResult r = RunShell("script -qfec '" + c.command + "' /dev/null", dir_->path());
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(r.status, 0) << c.command << ": " << Visible(r.out) << r.err;
    EXPECT_TRUE(SameBytes(ReadFile(dir_->File(c.output)), *c.expected)) << c.command;
    if (c.what.empty()) {
      EXPECT_EQ(r.out, "") << c.command << ": " << Visible(r.out);
      continue;
    }
    const int draws = CheckProgressLines(r.out, c.what);
    // Redrawn at most every 200 ms, the first time at the start.
    const auto allowed =
        1 + std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count() / 200;
    EXPECT_LE(draws, allowed) << c.command << ": " << Visible(r.out);
  }
}

}  // namespace
}  // namespace dorvenix::testing
