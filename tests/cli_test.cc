// End-to-end tests: the built binary in a temporary folder, for what only
// the binary shows (exit statuses, exact output, files on disk, closed or
// failing descriptors). And the progress line, on a private terminal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <regex>
#include <string>

#include "cli/progress.h"
#include "test_support.h"

namespace dorvenix::testing {
namespace {

const char kUsage[] =
    "Dorvenix v 1.0\n"
    "Parameters:\n"
    "dorvenix {-l files | -s files | -a files | -d files | -i} ...\n"
    " -l = load dictionary file \n"
    " -s = save dictionary file \n"
    " -a = load some arbitrary text and add words to dictionary \n"
    " -d = decipher files (output to console) \n"
    " -i = print some information such as number of 'collisions' \n"
    " Commands are executed in the specified order.(so to decipher file you must load "
    "dictionary, then decipher file with -d) \n"
    "\n"
    "Usage Examples:\n"
    "dorvenix -a book1.txt book2.txt book3.txt -l dictionary.txt -s dictionary.txt\n"
    "will merge words from book1.txt,book2.txt,book3.txt with dictionary.txt\n"
    "\n"
    "dorvenix -l dictionary -d sutdy.txt\n"
    "will load dictionary and then decipher sutdy.txt\n";

const char kBook[] = "The quick brown fox jumps over the lazy dog; words, words, WORDS.\n";
const char kScrambled[] = "Teh qucik bwron fox jmpus oevr the lzay dog.\n";
const char kDeciphered[] = "teh quick brown fox jumps over the lazy dog.\n";
const char kBookDict[] = "brown 1\njumps 1\nlazy 1\nover 1\nquick 1\nwords 3\n";
const std::string kBookReport =
    "Words loaded(excluding 3 letter words and shorter)=6\nCollisions=0\n";

// A folder holding book, s.txt, book.dict, bad.dict and an empty sub/.
class Workspace : public TempDir {
 public:
  Workspace() {
    Write("book", kBook);
    Write("s.txt", kScrambled);
    Write("book.dict", kBookDict);
    Write("bad.dict", "quick 1\nbrown\nlazy 1\n");
    std::filesystem::create_directory(File("sub"));
  }
  // Names of temporary files left anywhere in the folder.
  std::string Debris() const {
    std::string names;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(path())) {
      if (entry.path().filename().string()[0] == '.') names += entry.path().string() + " ";
    }
    return names;
  }
};

std::string Times(int n, const std::string& text) {
  std::string all;
  while (n-- > 0) all += text;
  return all;
}

struct Case {
  std::string args;  // for the shell, after the binary's path
  int status;
  std::string out, err;
};

void RunCases(const std::vector<Case>& cases, const Workspace& ws, const std::string& before = "") {
  for (const Case& c : cases) {
    const RunResult r = RunShell(before + "\"$DORVENIX\" " + c.args, ws);
    EXPECT_EQ(r.status, c.status) << c.args;
    EXPECT_EQ(r.out, c.out) << c.args;
    EXPECT_EQ(r.err, c.err) << c.args;
  }
  EXPECT_EQ(ws.Debris(), "");
}

TEST(Cli, StatusesOutputAndMessages) {
  const std::string nothing =
      "Words loaded(excluding 3 letter words and shorter)=0\nCollisions=0\n";
  const std::string no_file = ": No such file or directory\n";
  Workspace ws;
  RunCases(
      {
          {"", 1, kUsage, ""},
          {"--help -a book", 1, kUsage, ""},
          {"-i", 0, nothing, ""},
          {"-i book", 1, nothing + kUsage, ""},
          {"-l", 0, "", ""},
          {"-a book -d", 0, "", ""},
          // -i keeps the command in force: s.txt is learnt too.
          {"-a book -i s.txt -i", 0,
           kBookReport + "Collision: brown(1) with bwron(1)\nCollision: jmpus(1) with jumps(1)\n"
                         "Collision: lazy(1) with lzay(1)\nCollision: oevr(1) with over(1)\n"
                         "Collision: qucik(1) with quick(1)\n"
                         "Words loaded(excluding 3 letter words and shorter)=11\nCollisions=5\n",
           ""},
          {"-d s.txt -a book -d s.txt", 0,
           std::string("teh qucik bwron fox jmpus oevr the lzay dog.\n") + kDeciphered, ""},
          {"-a -L --load -lx book -d missing sub s.txt", 2, kDeciphered,
           "dorvenix: error: -L" + no_file + "dorvenix: error: --load" + no_file +
               "dorvenix: error: -lx" + no_file + "dorvenix: error: missing" + no_file +
               "dorvenix: error: sub: Is a directory\n"},
          {"-l missing sub bad.dict -d s.txt -l book.dict -d s.txt", 2,
           "teh quick bwron fox jmpus oevr the lzay dog.\n" + std::string(kDeciphered),
           "dorvenix: error: sub: Is a directory\n"
           "bad.dict:2: no space between the word and its count; the rest of the file is not "
           "loaded\n"},
          {"-a book -s nowhere/d sub -d s.txt", 2, kDeciphered,
           "dorvenix: error: nowhere/d" + no_file + "dorvenix: error: sub: Is a directory\n"},
          // With standard input closed, the first file opened gets descriptor 0.
          {"-a book -s new.dict -d s.txt <&-", 0, kDeciphered, ""},
          {"-l new.dict -i -d s.txt <&-", 0, kBookReport + kDeciphered, ""},
      },
      ws);
  // Every file is closed once used.
  RunCases(
      {{Times(40, "-l book.dict -a book -s new.dict -d s.txt "), 0, Times(40, kDeciphered), ""}},
      ws, "ulimit -n 20; ");
}

TEST(Cli, SavesReplaceTheFileTheNameLeadsTo) {
  struct SaveCase {
    std::string setup;   // shell commands run first
    std::string target;  // the -s argument
    std::string file;    // the regular file that must hold the dictionary
    mode_t mode;
  };
  const std::string longest = "sub/" + std::string(255, 'd');  // temporary name within NAME_MAX
  const SaveCase cases[] = {
      {"umask 027", "new.dict", "new.dict", 0640},
      {"echo old 1 > d; chmod 604 d", "d", "d", 0604},
      {"", longest, longest, 0644},
      {"mkdir o; echo old 1 > o/real; chmod 640 o/real; ln -s ../o/real sub/link", "sub/link",
       "o/real", 0640},
      {"ln -s link2 link; ln -s sub/new link2", "link", "sub/new", 0644},  // dangling
  };
  for (const SaveCase& c : cases) {
    Workspace ws;
    const RunResult r =
        RunShell("umask 022; " + c.setup + "\n\"$DORVENIX\" -a book -s " + c.target, ws);
    EXPECT_EQ(r.status, 0) << c.target << r.err;
    EXPECT_EQ(ReadFile(ws.File(c.file)), kBookDict) << c.target;
    struct stat st;
    EXPECT_EQ(::stat(ws.File(c.file).c_str(), &st) == 0 ? st.st_mode & 07777 : 0, c.mode);
    EXPECT_EQ(std::filesystem::is_symlink(ws.File(c.target)), c.target != c.file) << c.target;
    EXPECT_EQ(ws.Debris(), "") << c.target;
  }
}

TEST(Cli, LargeSavesKeepEveryByteAndFailedOnesTheOldFile) {
  // 150,000 entries (2 MB), written here in dictionary order.
  std::vector<std::pair<std::string, std::string>> entries;
  for (int i = 0; i < 150000; ++i) {
    const std::string word = std::to_string(i * 7) + "wxy";
    entries.emplace_back(KeyOf(word), word);
  }
  std::sort(entries.begin(), entries.end());
  std::string big;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    big += entries[i].second + " " + std::to_string(static_cast<int>(i % 2001) - 1000) + "\n";
  }
  Workspace ws;
  ws.Write("big.dict", big);
  // Saved to a file and to our own standard output (through a link to it).
  RunResult r = RunShell("ln -s /proc/self/fd/1 so; \"$DORVENIX\" -l big.dict -s out.dict so", ws);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(ReadFile(ws.File("out.dict")) == big);
  EXPECT_TRUE(r.out == big);
  // A save that fails part way (a file size limit) leaves the old file whole.
  r = RunShell("trap '' XFSZ; ulimit -f 64; \"$DORVENIX\" -l big.dict -a book -s big.dict", ws);
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "dorvenix: error: big.dict: File too large\n");
  EXPECT_TRUE(ReadFile(ws.File("big.dict")) == big);
  EXPECT_EQ(ws.Debris(), "");
}

TEST(Cli, StandardOutputKeepsArgumentOrder) {
  const std::string all = std::string(kDeciphered) + kBookDict + kBookReport + kDeciphered;
  const std::string args = "-a book -d s.txt -s so -i -d s.txt";
  Workspace ws;
  RunShell("ln -s /proc/self/fd/1 so; mkfifo fifo", ws);
  RunCases(
      {
          {args, 0, all, ""},
          {args + " | cat", 0, all, ""},
          {args + " > out; cat out", 0, all, ""},
          {"-a book -d s.txt -d missing -s so 2>&1", 2,
           kDeciphered + std::string("dorvenix: error: missing: No such file or directory\n") +
               kBookDict,
           ""},
          // A FIFO is written to, not replaced.
          {"-a book -s fifo & timeout 10 cat fifo; wait; test -p fifo", 0, kBookDict, ""},
      },
      ws);
}

TEST(Cli, FailingAndPrivateDevices) {
  // Devices made in the test's own folder: the real /dev is never written.
  Workspace ws;
  if (RunShell("mknod full c 1 7 && mknod null c 1 3", ws).status != 0) {
    GTEST_SKIP() << "mknod needs root: no private full device, write failures not tested";
  }
  const std::string no_space = "dorvenix: error: standard output: No space left on device\n";
  RunCases(
      {
          {"-a book -s full -d s.txt", 2, kDeciphered,
           "dorvenix: error: full: No space left on device\n"},
          {"-a book -d s.txt -s d >full", 2, "", no_space},  // the save still happens
          {">full", 1, "", no_space},
          {"-a book -i -d missing >full", 2, "",
           no_space + "dorvenix: error: missing: No such file or directory\n"},
          // No error left behind by the missing dictionary; the device gets fd 0.
          {"-l missing -a book -s null <&-", 0, "", ""},
          {"-a book -s " + Times(40, "null "), 0, "", ""},
      },
      ws, "ulimit -n 20; ");
  EXPECT_EQ(ReadFile(ws.File("d")), kBookDict);
  EXPECT_EQ(RunShell("test -c full && test -c null", ws).status, 0);
}

TEST(Progress, DrawnOnATerminalForLargeFilesOnlyAndErased) {
  const int terminal = ::posix_openpt(O_RDWR | O_NOCTTY);
  if (terminal < 0) GTEST_SKIP() << "no pseudo-terminal to show progress on";
  ASSERT_EQ(::grantpt(terminal) | ::unlockpt(terminal), 0);
  const int screen = ::open(::ptsname(terminal), O_RDWR | O_NOCTTY);
  const int saved_stderr = ::dup(STDERR_FILENO);
  ::dup2(screen, STDERR_FILENO);
  {
    Progress small("learning", "small.txt", Progress::kMinSize - 1);
    small.Update(Progress::kMinSize / 2);
    Progress big("learning", "big.txt", Progress::kMinSize);
    big.Update(Progress::kMinSize / 4);
    big.Update(Progress::kMinSize / 2);  // too soon to redraw
  }
  ::dup2(saved_stderr, STDERR_FILENO);
  ::close(saved_stderr);
  ::close(screen);
  char shown[256];
  const ssize_t n = ::read(terminal, shown, sizeof shown);
  ::close(terminal);
  ASSERT_GT(n, 0);
  EXPECT_TRUE(std::regex_match(std::string(shown, static_cast<std::size_t>(n)),
                               std::regex("\rdorvenix: learning big\\.txt: 25% [0-9]+ MB/s\x1b\\[K"
                                          "\r\x1b\\[K")))
      << std::string(shown, static_cast<std::size_t>(n));
}

}  // namespace
}  // namespace dorvenix::testing
