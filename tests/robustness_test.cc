// End-to-end robustness of the real binary: saves cut short by signals and
// by memory exhaustion leave the old file or the whole new one and nothing
// else.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "test_support.h"

namespace dorvenix::testing {
namespace {

constexpr char kOld[] = "olds 5\n";
using Names = std::vector<std::string>;

Names Listing(const std::string& folder) {
  Names names;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// `count` distinct dictionary lines "wNNNNNNN 1".
std::string NumberedDictionary(int count) {
  std::string text;
  char line[32];
  for (int i = 0; i < count; ++i)
    text.append(line, static_cast<std::size_t>(std::snprintf(line, sizeof line, "w%07d 1\n", i)));
  return text;
}

constexpr char kKill[] = R"(env --default-signal=INT "$DORVENIX" -l big.dict -s c/out.dict -d fifo &
pid=$!; i=0
until ls -l /proc/$pid/fd 2>/dev/null | grep -Eq "$m" || [ $((i += 1)) -gt 3000 ]; do :; done
kill -$s $pid; wait $pid)";

// A save of 300,000 words killed while loading and while writing. The run
// then waits to open a FIFO no one writes, so the signal always finds it
// alive; "ls /proc/PID/fd" tells when the file of a moment ($m) is open. A
// background job of sh has SIGINT ignored: env gives it back its default.
TEST(Robustness, InterruptedSaveLeavesOldOrNewFileAndNothingElse) {
  TempDir dir;
  dir.Write("big.dict", NumberedDictionary(300000));
  ASSERT_EQ(RunShell("\"$DORVENIX\" -l big.dict -s full.dict", dir).status, 0);
  const std::string full = ReadFile(dir.File("full.dict"));
  ASSERT_EQ(::mkfifo(dir.File("fifo").c_str(), 0600), 0);
  const char* const moments[] = {"big\\.dict", "\\(deleted\\)|c/\\.out\\.dict\\."};
  for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGKILL}) {
    for (const char* moment : moments) {
      SCOPED_TRACE("signal " + std::to_string(signal) + " when ls shows " + moment);
      std::filesystem::remove_all(dir.File("c"));
      std::filesystem::create_directory(dir.File("c"));
      dir.Write("c/out.dict", kOld);
      const RunResult run = RunShell(
          "m='" + std::string(moment) + "' s=" + std::to_string(signal) + "\n" + kKill, dir);
      EXPECT_EQ(run.status, 128 + signal);
      const std::string now = ReadFile(dir.File("c/out.dict"));
      EXPECT_TRUE(now == kOld || now == full) << now.size() << " bytes";
      EXPECT_EQ(Listing(dir.File("c")), Names{"out.dict"});
    }
  }
}

// Under address-space limits from "barely starts" to "nearly enough", every
// failure is reported as out of memory instead of aborting, the commands
// after it still run, and a save that ran out leaves the old file and
// nothing else.
TEST(Robustness, OutOfMemoryIsReportedAndLeavesNoDebris) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the sanitizers reserve more address space than these limits";
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
  GTEST_SKIP() << "the sanitizers reserve more address space than these limits";
#endif
#endif
  TempDir dir;
  dir.Write("mid.dict", NumberedDictionary(200000));
  ASSERT_EQ(RunShell("head -c 8000000 /dev/zero | tr '\\0' a > word.txt", dir).status, 0);
  bool save_ran_out = false;
  for (int limit = 5000; limit <= 21000; limit += 1000) {
    SCOPED_TRACE("ulimit -v " + std::to_string(limit));
    dir.Write("o.dict", kOld);
    const RunResult run = RunShell("ulimit -v " + std::to_string(limit) +
                                       "; exec \"$DORVENIX\" -a word.txt -l mid.dict -s o.dict -i",
                                   dir);
    if (run.status == 127) continue;  // the loader could not even map the libraries
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err, "") << "a failure is always said";
    std::istringstream lines(run.err);
    for (std::string line; std::getline(lines, line);) {
      EXPECT_TRUE(line.starts_with("dorvenix: error: ") && line.ends_with("out of memory")) << line;
    }
    // The save ran out, or nothing could start: the old file stays.
    if (run.err.find("o.dict") != std::string::npos ||
        run.err.find("word.txt") == std::string::npos) {
      save_ran_out |= run.err.find("o.dict") != std::string::npos;
      EXPECT_EQ(ReadFile(dir.File("o.dict")), kOld);
    }
    EXPECT_EQ(Listing(dir.path()), (Names{"mid.dict", "o.dict", "word.txt"}));
  }
  EXPECT_TRUE(save_ran_out);
}

}  // namespace
}  // namespace dorvenix::testing
