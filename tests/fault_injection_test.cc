// End-to-end failure handling: the real binary in a temporary folder, with
// failures provoked from outside (missing files, folders, read errors,
// /dev/full, a file-size limit, malformed dictionaries) and the save targets
// that need care (modes, symbolic links, our own standard output). Each case
// checks the stderr lines, the exit status, what still reached stdout, and
// that no dictionary already on disk changed.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "test_support.h"

namespace dorvenix::testing {
namespace {

constexpr char kBook[] = "The quick brown fox jumps over the lazy dog; words, words, WORDS.\n";
constexpr char kScrambled[] = "Teh qucik bwron fox jmpus oevr the lzay dog.\n";
constexpr char kDeciphered[] = "teh quick brown fox jumps over the lazy dog.\n";
constexpr char kBookDict[] = "brown 1\njumps 1\nlazy 1\nover 1\nquick 1\nwords 3\n";
constexpr char kBookReport[] =
    "Words loaded(excluding 3 letter words and shorter)=6\nCollisions=0\n";

// A folder holding book, s.txt and an empty subfolder sub/.
class Workspace : public TempDir {
 public:
  Workspace() {
    Write("book", kBook);
    Write("s.txt", kScrambled);
    std::filesystem::create_directory(File("sub"));
  }
  RunResult Sh(const std::string& script) const { return RunShell(script, path()); }
  // How many entries the folder holds: a temporary file left behind shows.
  std::size_t Count(const std::string& folder = ".") const {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(File(folder)),
                                                  std::filesystem::directory_iterator()));
  }
};

// `count` dictionary lines "wNNNNNNN 1", all distinct.
std::string NumberedLines(int count) {
  std::string text;
  char line[32];
  for (int i = 1; i <= count; ++i)
    text.append(line, std::snprintf(line, sizeof line, "w%07d 1\n", i));
  return text;
}

mode_t ModeOf(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

TEST(FaultInjection, FailedSaveKeepsTheOldDictionary) {
  struct Case {
    const char* wrap;    // shell text around the command: %s is the command
    const char* target;  // the -s argument
    const char* reason;
  };
  const Case cases[] = {
      // 220 KB of dictionary against a 32 KiB limit (dash counts 512-byte blocks).
      {"(trap '' XFSZ; ulimit -f 64; exec %s)", "dict", "File too large"},
      {"%s", "nowhere/dict", "No such file or directory"},
      {"%s", "/dev/full", "No space left on device"},
      {"%s", "sub", "Is a directory"},
  };
  for (const Case& c : cases) {
    Workspace ws;
    const std::string old_dict = NumberedLines(20000);
    ws.Write("dict", old_dict);
    const std::string command =
        "\"$DORVENIX\" -l dict -a book -s " + std::string(c.target) + " -d s.txt";
    char script[512];
    std::snprintf(script, sizeof script, c.wrap, command.c_str());
    const RunResult r = ws.Sh(script);
    EXPECT_EQ(r.status, 2) << c.target;
    EXPECT_EQ(r.err, "dorvenix: error: " + std::string(c.target) + ": " + c.reason + "\n");
    EXPECT_EQ(r.out, kDeciphered) << c.target;  // the run went on
    EXPECT_TRUE(ReadFile(ws.File("dict")) == old_dict) << c.target;
    EXPECT_EQ(ws.Count(), 4u) << c.target;  // book, dict, s.txt, sub: no temporary file
    EXPECT_EQ(ws.Count("sub"), 0u) << c.target;
  }
}

TEST(FaultInjection, UnreadableInputsAreReportedAndTheRunGoesOn) {
  const int fd = ::open("/proc/self/mem", O_RDONLY);
  char byte;
  const bool read_error_works = fd >= 0 && ::read(fd, &byte, 1) < 0 && errno == EIO;
  if (fd >= 0) ::close(fd);
  struct Case {
    const char* command;
    const char* path;
    const char* reason;  // nullptr: silent, status 0
  };
  const Case cases[] = {
      {"-a", "sub", "Is a directory"},
      {"-d", "sub", "Is a directory"},
      {"-l", "sub", "Is a directory"},
      {"-a", "missing.txt", "No such file or directory"},
      {"-d", "missing.txt", "No such file or directory"},
      {"-l", "missing.dict", nullptr},
      {"-l", "book/dict", "Not a directory"},
      {"-a", "/proc/self/mem", "Input/output error"},
      {"-l", "/proc/self/mem", "Input/output error"},
  };
  for (const Case& c : cases) {
    if (std::string(c.path) == "/proc/self/mem" && !read_error_works) continue;
    Workspace ws;
    const RunResult r =
        RunDorvenix({"-a", "book", c.command, c.path, "-d", "s.txt", "-s", "out.dict"}, ws.path());
    EXPECT_EQ(r.status, c.reason ? 2 : 0) << c.command << " " << c.path;
    EXPECT_EQ(r.err,
              c.reason ? "dorvenix: error: " + std::string(c.path) + ": " + c.reason + "\n" : "");
    EXPECT_EQ(r.out, kDeciphered) << c.command << " " << c.path;
    EXPECT_EQ(ReadFile(ws.File("out.dict")), kBookDict) << c.command << " " << c.path;
  }
}

TEST(FaultInjection, StandardOutputThatCannotBeWritten) {
  const std::string no_space = "dorvenix: error: standard output: No space left on device\n";
  struct Case {
    const char* args;
    int status;
    std::string err;
  };
  const Case cases[] = {
      {"-a book -d s.txt -s d", 2, no_space},  // the save to a file still happens
      {"-a book -s /dev/stdout", 2, no_space},
      {"-a book -i", 2, no_space},
      {"-a book -d s.txt -d missing", 2,
       no_space + "dorvenix: error: missing: No such file or directory\n"},
      {"", 1, no_space},
  };
  for (const Case& c : cases) {
    Workspace ws;
    const RunResult r = ws.Sh("\"$DORVENIX\" " + std::string(c.args) + " > /dev/full");
    EXPECT_EQ(r.status, c.status) << c.args;
    EXPECT_EQ(r.err, c.err) << c.args;
  }
  Workspace ws;
  ws.Sh("\"$DORVENIX\" -a book -d s.txt -s d > /dev/full");
  EXPECT_EQ(ReadFile(ws.File("d")), kBookDict);
}

TEST(FaultInjection, MalformedLineInALargeDictionary) {
  // 150,000 lines (1.6 MB): the bad line sits in the middle of the first 1 MiB
  // block, across the block boundary, or last without a line feed.
  const std::string good = NumberedLines(150000);
  struct Case {
    std::size_t line;  // 1-based
    const char* text;
    const char* reason;
  };
  const Case cases[] = {
      {70001, "word x12", "count is not a number"},
      {95326, "word 2147483648", "count out of range"},  // holds byte 1 MiB
      {150001, "lastword", "no space between the word and its count"},
  };
  for (const Case& c : cases) {
    Workspace ws;
    const std::string before = good.substr(0, (c.line - 1) * 11);
    std::string big = before;
    big.append(c.text);
    if (c.line <= 150000) big.append(1, '\n').append(good, c.line * 11);
    ws.Write("big.dict", big);
    ws.Write("before.dict", before);
    const RunResult r = RunDorvenix({"-l", "big.dict", "-s", "got.dict", "-i"}, ws.path());
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "big.dict:" + std::to_string(c.line) + ": " + c.reason +
                         "; the rest of the file is not loaded\n");
    const RunResult want = RunDorvenix({"-l", "before.dict", "-s", "want.dict", "-i"}, ws.path());
    EXPECT_TRUE(r.out == want.out) << c.line;
    EXPECT_TRUE(ReadFile(ws.File("got.dict")) == ReadFile(ws.File("want.dict"))) << c.line;
  }
}

TEST(FaultInjection, SaveKeepsModesAndFollowsLinks) {
  struct Case {
    const char* setup;  // shell text run first
    const char* umask;
    const char* save;    // the -s argument
    const char* target;  // the regular file that must hold the dictionary
    mode_t mode;
  };
  const std::string longest(255, 'd');
  const Case cases[] = {
      {"", "027", "new.dict", "new.dict", 0640},
      {"", "000", "new.dict", "new.dict", 0666},
      {"echo old 1 > d; chmod 604 d", "077", "d", "d", 0604},
      {"", "022", longest.c_str(), longest.c_str(), 0644},  // temporary name within NAME_MAX
      {"echo old 1 > sub/real; chmod 640 sub/real; ln -s sub/real link", "022", "link", "sub/real",
       0640},
      {"echo old 1 > real; ln -s real link2; ln -s link2 link", "022", "link", "real", 0644},
      {"ln -s sub/new.dict link", "022", "link", "sub/new.dict", 0644},  // dangling
  };
  for (const Case& c : cases) {
    Workspace ws;
    const RunResult r =
        ws.Sh(std::string(c.setup) + "\numask " + c.umask + "; \"$DORVENIX\" -a book -s " + c.save);
    EXPECT_EQ(r.status, 0) << c.setup << r.err;
    EXPECT_EQ(ReadFile(ws.File(c.target)), kBookDict) << c.setup;
    EXPECT_EQ(ModeOf(ws.File(c.target)), c.mode) << c.setup;
    if (std::string(c.save) == "link") {
      EXPECT_TRUE(std::filesystem::is_symlink(ws.File("link"))) << c.setup;
    }
  }
}

TEST(FaultInjection, SavingToStandardOutputKeepsArgumentOrder) {
  const std::string all = std::string(kDeciphered) + kBookDict + kBookReport + kDeciphered;
  const char* args = "-a book -d s.txt -s /dev/stdout -i -d s.txt";
  struct Case {
    std::string script;  // leaves the result in "out"
    std::string want;
  };
  const Case cases[] = {
      {std::string("\"$DORVENIX\" ") + args + " > out", all},
      {std::string("echo before > out; \"$DORVENIX\" ") + args + " >> out", "before\n" + all},
      {std::string("\"$DORVENIX\" ") + args + " | cat > out", all},
      {"\"$DORVENIX\" -a book -d s.txt -d missing -s /dev/stdout > out 2>&1",
       std::string(kDeciphered) + "dorvenix: error: missing: No such file or directory\n" +
           kBookDict},
      // A FIFO is written directly, after what stdout already holds.
      {"mkfifo fifo; timeout 20 cat fifo > got & \"$DORVENIX\" -a book -d s.txt -s fifo > out;"
       " wait; cat got >> out",
       std::string(kDeciphered) + kBookDict},
  };
  for (const Case& c : cases) {
    Workspace ws;
    ws.Sh(c.script);
    EXPECT_EQ(ReadFile(ws.File("out")), c.want) << c.script;
  }
}

}  // namespace
}  // namespace dorvenix::testing
