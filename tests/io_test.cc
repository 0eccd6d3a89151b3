// Files in process: saves that are refused, and what they leave.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <functional>
#include <string>

#include "io/atomic_file.h"
#include "io/save_file.h"
#include "test_support.h"

namespace dorvenix::testing {
namespace {

constexpr char kOld[] = "olds 5\n";

// Runs `f` as an unprivileged user: nobody (effective ids only, given back
// after) when we are root, else ourselves.
void AsUnprivileged(const std::function<void()>& f) {
  const bool root = ::geteuid() == 0;
  if (root && (::setegid(65534) != 0 || ::seteuid(65534) != 0)) FAIL() << "cannot become nobody";
  f();
  if (root && (::seteuid(0) != 0 || ::setegid(0) != 0)) FAIL() << "cannot become root again";
}

// Run as an unprivileged user: a file that it may not write, a folder that
// does not exist, a link loop, and a file in a sticky folder (another user's
// when we are root, else our own, which is ours to replace).
TEST(SaveFile, ASaveThatCannotSucceedIsRefusedBeforeAnyWork) {
  const bool root = ::geteuid() == 0;
  TempDir dir;
  dir.Write("ro", kOld);
  ASSERT_EQ(::chmod(dir.path().c_str(), 0777) | ::chmod(dir.File("ro").c_str(), 0444) |
                ::symlink("loop", dir.File("loop").c_str()) | ::mkdir(dir.File("t").c_str(), 0777),
            0);
  dir.Write("t/f", kOld);
  ASSERT_EQ(::chmod(dir.File("t").c_str(), 01777) | ::chmod(dir.File("t/f").c_str(), 0666), 0);
  const std::pair<const char*, int> cases[] = {
      {"ro", EACCES}, {"nowhere/new", ENOENT}, {"loop", ELOOP}, {"t/f", root ? EPERM : 0}};
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
    EXPECT_EQ(worked, error == 0) << name;
  }
  EXPECT_EQ(ReadFile(dir.File("ro")) + ReadFile(dir.File("t/f")),
            kOld + std::string(root ? kOld : ""));
  EXPECT_EQ(RunShell("ls -A . t", dir).out, ".:\nloop\nro\nt\n\nt:\nf\n");
}

// A sticky bit that the start did not see (set meanwhile here; or where the
// system knows better than our check) refuses the rename: the reason is
// said, and the old file and nothing else stays.
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
