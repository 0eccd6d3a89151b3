// End-to-end robustness of the real binary: saves cut short by signals and
// by memory exhaustion leave the old file or the whole new one and nothing
// else.
#include <fcntl.h>
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

#include "io/atomic_file.h"
#include "io/block_reader.h"
#include "io/input_file.h"
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
pid=$!; i=0; at() { ls -l /proc/$pid/fd 2>/dev/null | grep -Eq "$m"; }
until [ $((i += 1)) -gt 3000 ]; do at && kill -STOP $pid && { at && break; kill -CONT $pid; }
read -r l < c/out.dict; [ "$l" = "olds 5" ] || i=3000; done
kill -$s $pid; kill -CONT $pid 2>/dev/null; wait $pid; s=$?; [ $i -le 3000 ] && echo caught; exit $s)";

// A save of 800,000 words (loaded on threads) killed while loading and while
// writing its file. "ls /proc/PID/fd" tells when the file of a moment ($m)
// is open; the run is stopped there, and signalled only if it is still at
// that moment; once the save has replaced the old file, the moment is past
// and the attempt is made again. The run would then wait to open a FIFO no one
// writes, so the signal always finds it alive. A background job of sh has
// SIGINT ignored: env gives it back its default.
TEST(Robustness, InterruptedSaveLeavesTheOldFileAndNothingElse) {
  TempDir dir;
  dir.Write("big.dict", NumberedDictionary(800000));
  ASSERT_EQ(::mkfifo(dir.File("fifo").c_str(), 0600), 0);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGKILL}) {
    for (const char* moment : {"big\\.dict", "\\(deleted\\)"}) {
      SCOPED_TRACE("signal " + std::to_string(signal) + " when ls shows " + moment);
      RunResult run{};
      for (int attempt = 0; attempt < 5 && run.out != "caught\n"; ++attempt) {
        std::filesystem::remove_all(dir.File("c"));
        std::filesystem::create_directory(dir.File("c"));
        dir.Write("c/out.dict", kOld);
        run = RunShell("m='" + std::string(moment) + "' s=" + std::to_string(signal) + "\n" + kKill,
                       dir);
      }
      ASSERT_EQ(run.out, "caught\n");
      EXPECT_EQ(run.status, 128 + signal);
      EXPECT_EQ(ReadFile(dir.File("c/out.dict")), kOld);
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

// In process: what a kill at the worst moment of a save would leave beside
// the target is what the folder holds just before the new file takes the
// target's name. A new file has no name of ours then; one that replaces
// another has a temporary name. Without unnamed files (O_TMPFILE refused)
// the temporary name is there from the start: an abandoned save, or the
// handler of a signal, removes it.
TEST(Robustness, ASaveShowsATemporaryNameOnlyWhenItMust) {
  for (const bool replacing : {false, true}) {
    for (const bool unnamed : {true, false}) {
      SCOPED_TRACE(std::string(replacing ? "replacing" : "new") + (unnamed ? "" : ", named"));
      TempDir dir;
      auto folder = [&] {
        Names names = Listing(dir.path());
        for (std::string& name : names) {
          if (name.starts_with(".t.dict.") && name.size() == 14) name = ".t.dict.XXXXXX";
        }
        return names;
      };
      if (replacing) dir.Write("t.dict", kOld);
      Names old = replacing ? Names{"t.dict"} : Names{}, temporary = old;
      temporary.insert(temporary.begin(), ".t.dict.XXXXXX");
      Names before_naming;
      AtomicFile::Steering steering{unnamed, [&] { before_naming = folder(); }};
      if (!unnamed) {
        { AtomicFile abandoned(dir.File("t.dict"), steering); }
        EXPECT_EQ(folder(), old);
        AtomicFile interrupted(dir.File("t.dict"), steering);
        EXPECT_EQ(folder(), temporary);
        AtomicFile::RemoveTemporaryForSignal();
        EXPECT_EQ(folder(), old);
        EXPECT_FALSE(interrupted.Commit().ok());
      }
      AtomicFile file(dir.File("t.dict"), steering);
      file.out().Write("new 1\n");
      ASSERT_TRUE(file.Commit().ok());
      EXPECT_EQ(before_naming, replacing || !unnamed ? temporary : old);
      EXPECT_EQ(folder(), Names{"t.dict"});
      EXPECT_EQ(ReadFile(dir.File("t.dict")), "new 1\n");
    }
  }
  // A file that takes the target's name while a new one is written is
  // replaced, as it would have been had it been there from the start.
  TempDir dir;
  AtomicFile file(dir.File("t.dict"), {true, [&] { dir.Write("t.dict", kOld); }});
  file.out().Write("new 1\n");
  ASSERT_TRUE(file.Commit().ok());
  EXPECT_EQ(Listing(dir.path()), Names{"t.dict"});
  EXPECT_EQ(ReadFile(dir.File("t.dict")), "new 1\n");
}

// In process: a file that grows after the open is still read in large
// blocks, not in blocks of its size at the open.
TEST(Robustness, AFileThatGrowsAfterTheOpenIsReadInLargeBlocks) {
  TempDir dir;
  dir.Write("f", "tiny ");
  InputFile in = InputFile::Open(dir.File("f"));
  std::string text;
  while (text.size() < (1 << 20)) text += "more words ";
  dir.Write("f", text);
  SeparatorTable space{};
  space[' '] = true;
  BlockReader reader(in, space, std::size_t{1} << 20);
  BlockBuffer buffer;
  std::size_t blocks = 0, bytes = 0;
  for (Block block = reader.Next(buffer); !block.bytes.empty(); block = reader.Next(buffer)) {
    ++blocks;
    bytes += block.bytes.size();
  }
  EXPECT_EQ(bytes, text.size());
  EXPECT_EQ(in.consumed(), text.size());
  EXPECT_LE(blocks * 4096, bytes);
}

// In process: a file whose modification time moves by a whole second, its
// size and nanoseconds the same, has changed.
TEST(Robustness, AFileTouchedAfterTheOpenHasChanged) {
  TempDir dir;
  dir.Write("f", "some words");
  const InputFile in = InputFile::Open(dir.File("f"));
  EXPECT_FALSE(in.Changed());
  struct stat st;
  ASSERT_EQ(::stat(dir.File("f").c_str(), &st), 0);
  const timespec times[2] = {st.st_atim, {st.st_mtim.tv_sec + 1, st.st_mtim.tv_nsec}};
  ASSERT_EQ(::utimensat(AT_FDCWD, dir.File("f").c_str(), times, 0), 0);
  EXPECT_TRUE(in.Changed());
}

}  // namespace
}  // namespace dorvenix::testing
