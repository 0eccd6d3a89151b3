// Files: reading in blocks that never cut a unit, and saves that replace a
// file all at once or not at all.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "cli/signals.h"
#include "io/atomic_file.h"
#include "io/block_reader.h"
#include "io/input_file.h"
#include "io/save_file.h"
#include "test_support.h"

namespace dorvenix::testing {
namespace {

constexpr char kOld[] = "olds 5\n";

const SeparatorTable kNotLetter = [] {
  SeparatorTable table;
  for (std::size_t b = 0; b < table.size(); ++b) table[b] = !IsLetter(static_cast<char>(b));
  return table;
}();

TEST(BlockReader, CutsOnlyWordsLongerThanTheLongestAndFlagsThePieces) {
  const std::string text = "Tihs is a tset, an ab-cd tset! xyzzyXYZZYxyzzy lnog\n wrod";
  for (int round = 0; round < 2 * 9 * 12; ++round) {
    const std::size_t longest = round % 2 ? 4 : SIZE_MAX, read = 1 + round / 2 % 9,
                      block = 1 + round / 18;
    TextInput in(text, read);
    BlockReader reader(in, kNotLetter, block, longest);
    BlockBuffer buffer;
    std::string all;
    bool ended_in_word = false;
    for (Block b = reader.Next(buffer); !b.bytes.empty(); b = reader.Next(buffer)) {
      // A word cut between blocks is flagged at both sides, and only a
      // word longer than `longest` is cut.
      const bool cut = !all.empty() && IsLetter(all.back()) && IsLetter(b.bytes[0]);
      EXPECT_TRUE(b.starts_in_unit == ended_in_word && (b.starts_in_unit || !cut))
          << read << " " << block << " " << all;
      all.append(b.bytes.data(), b.bytes.size());
      ended_in_word = b.ends_in_unit;
      if (ended_in_word) {
        const std::size_t begin = all.find_last_of(" ,!-\n") + 1;
        EXPECT_TRUE(IsLetter(all.back()) && all.size() - begin > longest) << all;
      }
    }
    EXPECT_EQ(all, text) << read << " " << block;
  }
}

// In process: what a kill at the worst moment of a save would leave beside
// the target is what the folder holds just before the new file takes the
// target's name. A new file has no name of ours then; one that replaces
// another has a temporary name. Without unnamed files (O_TMPFILE refused)
// the temporary name is there from the start: an abandoned save removes it.
TEST(AtomicFile, ShowsATemporaryNameOnlyWhenItMust) {
  for (const bool replacing : {false, true}) {
    for (const bool unnamed : {true, false}) {
      SCOPED_TRACE(std::string(replacing ? "replacing" : "new") + (unnamed ? "" : ", named"));
      TempDir dir;
      auto folder = [&] {
        Files names = FilesIn(dir.path());
        for (std::string& name : names) {
          if (name.starts_with(".t.dict.") && name.size() == 14) name = ".t.dict.XXXXXX";
        }
        return names;
      };
      if (replacing) dir.Write("t.dict", kOld);
      Files old = replacing ? Files{"t.dict"} : Files{}, temporary = old;
      temporary.insert(temporary.begin(), ".t.dict.XXXXXX");
      Files before_naming;
      AtomicFile::Steering steering{unnamed, [&] { before_naming = folder(); }};
      if (!unnamed) {
        { AtomicFile abandoned(dir.File("t.dict"), steering); }
        EXPECT_EQ(folder(), old);
      }
      AtomicFile file(dir.File("t.dict"), steering);
      file.out().Write("new 1\n");
      ASSERT_TRUE(file.Commit().ok());
      EXPECT_EQ(before_naming, replacing || !unnamed ? temporary : old);
      EXPECT_EQ(folder(), Files{"t.dict"});
      EXPECT_EQ(ReadFile(dir.File("t.dict")), "new 1\n");
    }
  }
  // A file that takes the target's name while a new one is written is
  // replaced, as it would have been had it been there from the start.
  TempDir dir;
  AtomicFile file(dir.File("t.dict"), {true, [&] { dir.Write("t.dict", kOld); }});
  file.out().Write("new 1\n");
  ASSERT_TRUE(file.Commit().ok());
  EXPECT_EQ(FilesIn(dir.path()), Files{"t.dict"});
  EXPECT_EQ(ReadFile(dir.File("t.dict")), "new 1\n");
}

// A save ended by a signal at its two moments, in a child process that
// installs the handlers as dorvenix does and raises the signal itself: while
// the new file is written, and just before it takes the target's name (the
// save's own hook), with and without unnamed files. The old file stays, and
// nothing beside it; SIGKILL, which no handler sees, leaves nothing only
// where the new file has no name yet.
TEST(AtomicFile, ASignalLeavesTheOldFileAndNothingElse) {
  for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGKILL}) {
    for (const bool writing : {true, false}) {
      for (const bool unnamed : {true, false}) {
        if (signal == SIGKILL && !(writing && unnamed)) continue;
        SCOPED_TRACE(std::to_string(signal) + (writing ? " writing" : " naming") +
                     (unnamed ? "" : ", named"));
        TempDir dir;
        dir.Write("t.dict", kOld);
        auto raise_at = [&](bool moment) {
          if (moment) ::raise(signal);
        };
        EXPECT_EXIT(
            {
              InstallSignalHandlers();
              AtomicFile file(dir.File("t.dict"), {unnamed, [&] { raise_at(!writing); }});
              file.out().Write("new 1\n");
              file.out().Flush();
              raise_at(writing);
              (void)file.Commit();
              std::exit(0);
            },
            ::testing::KilledBySignal(signal), "");
        EXPECT_EQ(ReadFile(dir.File("t.dict")), kOld);
        EXPECT_EQ(FilesIn(dir.path()), Files{"t.dict"});
      }
    }
  }
}

// Runs `f` as an unprivileged user: nobody (effective ids only, given back
// after) when we are root, else ourselves.
void AsUnprivileged(const std::function<void()>& f) {
  const bool root = ::geteuid() == 0;
  if (root && (::setegid(65534) != 0 || ::seteuid(65534) != 0)) FAIL() << "cannot become nobody";
  f();
  if (root && (::seteuid(0) != 0 || ::setegid(0) != 0)) FAIL() << "cannot become root again";
}

// Run as an unprivileged user: a file that it may not write, a folder that
// does not exist, a link loop.
TEST(SaveFile, ASaveThatCannotSucceedIsRefusedBeforeAnyWork) {
  TempDir dir;
  dir.Write("ro", kOld);
  ASSERT_EQ(::chmod(dir.path().c_str(), 0777) | ::chmod(dir.File("ro").c_str(), 0444) |
                ::symlink("loop", dir.File("loop").c_str()),
            0);
  const std::pair<const char*, int> cases[] = {
      {"ro", EACCES}, {"nowhere/new", ENOENT}, {"loop", ELOOP}};
  for (const auto& [name, error] : cases) {
    std::string unused;
    OutputFile out(&unused);
    bool worked = false;
    Status saved;
    const std::string path = dir.File(name);  // clang 14 captures no structured binding
    AsUnprivileged([&] {
      saved = SaveFile(path, out, [&](OutputFile&) {
        worked = true;
        return Status();
      });
    });
    EXPECT_EQ(saved.error(), error) << name;
    EXPECT_FALSE(worked) << name;
  }
  EXPECT_EQ(ReadFile(dir.File("ro")), kOld);
  EXPECT_EQ(FilesIn(dir.path()), (Files{"loop", "ro"}));
  // A save that can succeed writes a new file that has no name meanwhile.
  std::string unused;
  OutputFile out(&unused);
  Files during;
  ASSERT_TRUE(SaveFile(dir.File("new"), out, [&](OutputFile& file) {
                during = FilesIn(dir.path());
                file.Write("new 1\n");
                return Status();
              }).ok());
  EXPECT_EQ(during, (Files{"loop", "ro"}));
  EXPECT_EQ(ReadFile(dir.File("new")), "new 1\n");
}

// A sticky folder refuses to let us rename over another user's file that we
// may write: the reason is said, and the old file and nothing else stays.
TEST(AtomicFile, ARenameRefusedByAStickyFolderSaysWhy) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root can make a file of another user";
  TempDir dir;
  const std::string folder = dir.File("t"), target = dir.File("t/f");
  ASSERT_EQ(::chmod(dir.path().c_str(), 0711) | ::mkdir(folder.c_str(), 0777), 0);
  dir.Write("t/f", kOld);
  ASSERT_EQ(::chmod(folder.c_str(), 0777) | ::chmod(target.c_str(), 0666), 0);
  // Root, for a moment, makes the folder sticky.
  const auto sticky = [&] {
    EXPECT_TRUE(!::seteuid(0) && !::chmod(folder.c_str(), 01777) && !::seteuid(65534));
  };
  AsUnprivileged([&] {
    AtomicFile file(target, {true, sticky});
    file.out().Write("new 1\n");
    EXPECT_EQ(file.Commit().Describe("f"),
              "f: cannot replace a file of another user in sticky folder " + folder +
                  ": Operation not permitted");
  });
  EXPECT_EQ(ReadFile(target), kOld);
  EXPECT_EQ(RunShell("ls -A t", dir).out, "f\n");
}

}  // namespace
}  // namespace dorvenix::testing
