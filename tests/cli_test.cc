// The command line: argument handling in-process, on a test's console; the
// built binary in a temporary folder for what only it shows (the process's
// exit status, closed or failing descriptors, signals, files on disk with
// their permissions); the progress line.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "cli/driver.h"
#include "cli/progress.h"
#include "cli/usage.h"
#include "test_support.h"

namespace dorvenix::testing {
namespace {

// The binary, stopped with everything it started if it runs for 30 s (as a
// broken build may).
const std::string D = "timeout -k 5 30 \"$DORVENIX\" ";
const std::string kBook = "The quick brown fox jumps over the lazy dog; words, words, WORDS.\n";
const std::string kScrambled = "Teh qucik bwron fox jmpus oevr the lzay dog.\n";
const std::string kDeciphered = "teh quick brown fox jumps over the lazy dog.\n";
const std::string kBookDict = "brown 1\njumps 1\nlazy 1\nover 1\nquick 1\nwords 3\n";
const std::string kBookReport =
    "Words loaded(excluding 3 letter words and shorter)=6\nCollisions=0\n";
const std::string kEmptyReport =
    "Words loaded(excluding 3 letter words and shorter)=0\nCollisions=0\n";
const std::string kNoFile = ": No such file or directory\n";

std::string Times(int n, const std::string& text) {
  return n == 0 ? "" : text + Times(n - 1, text);
}

struct Case {
  std::string command;  // a script (D is the binary), or the arguments
  int status;
  std::string out, err;
  bool out_fails = false;  // in-process: standard output cannot be written
};

// A folder holding book, s.txt, long.txt (40 kB), book.dict, bad.dict, an
// empty sub/, big (64 MiB, all separators, sparse) and p, a link to /proc.
class Workspace : public TempDir {
 public:
  Workspace() {
    Write("book", kBook);
    Write("s.txt", kScrambled);
    Write("long.txt", Times(900, kScrambled));
    Write("book.dict", kBookDict);
    Write("bad.dict", "quick 1\nbrown\nlazy 1\n");
    RunShell("mkdir sub && truncate -s 64M big && ln -s /proc p", *this);
  }

  // Runs the cases in order: scripts with /bin/sh, or the driver in-process
  // on arguments split at spaces, on a console as on a terminal. None may
  // leave a temporary file behind.
  void Check(const std::vector<Case>& cases) const { Check(cases, false); }
  void CheckInProcess(const std::vector<Case>& cases) const { Check(cases, true); }

 private:
  void Check(const std::vector<Case>& cases, bool in_process) const {
    const int home = ::open(".", O_RDONLY | O_DIRECTORY);
    ASSERT_EQ(::chdir(path().c_str()), 0);
    for (const Case& c : cases) {
      const RunResult r = in_process ? RunHere(c) : RunShell(c.command, *this);
      EXPECT_EQ(r.status, c.status) << c.command;
      EXPECT_TRUE(r.out == c.out) << c.command << " wrote\n" << r.out.substr(0, 1000);
      EXPECT_EQ(r.err, c.err) << c.command;
    }
    EXPECT_EQ(RunShell("find . -name '.?*'", *this).out, "");
    ASSERT_EQ(::fchdir(home) | ::close(home), 0);
  }

  static RunResult RunHere(const Case& c) {
    std::istringstream words(c.command);
    std::vector<std::string> args = {"dorvenix"};
    for (std::string word; words >> word;) args.push_back(word);
    std::vector<const char*> argv;
    for (const std::string& arg : args) argv.push_back(arg.c_str());
    RunResult r;
    {
      // A descriptor open for reading only: every write fails.
      auto out = c.out_fails ? std::make_unique<OutputFile>(::open("book", O_RDONLY), true)
                             : std::make_unique<OutputFile>(&r.out);
      Console console{*out, [&](std::string_view text) { r.err += text; }, true, true};
      r.status = RunCommandLine(static_cast<int>(argv.size()), argv.data(), console);
    }
    return r;
  }
};

TEST(Cli, ArgumentsRunLeftToRightWithTheirStatusesAndMessages) {
  const std::string usage(UsageText());
  const std::string unnamed = "dorvenix: error: -s names no file; nothing was saved\n";
  const std::string bad_out = "dorvenix: error: standard output: Bad file descriptor\n";
  Workspace ws;
  ws.CheckInProcess({
      {"", 1, usage, ""},
      {"-i", 0, kEmptyReport, ""},
      {"-i book", 1, kEmptyReport + usage, ""},
      // -i keeps the command in force: s.txt is learnt too.
      {"-a book -i s.txt -i", 0,
       kBookReport + "Collision: brown(1) with bwron(1)\nCollision: jmpus(1) with jumps(1)\n" +
           "Collision: lazy(1) with lzay(1)\nCollision: oevr(1) with over(1)\n" +
           "Collision: qucik(1) with quick(1)\n" +
           "Words loaded(excluding 3 letter words and shorter)=11\nCollisions=5\n",
       ""},
      {"-d s.txt -a book -d long.txt", 0,
       "teh qucik bwron fox jmpus oevr the lzay dog.\n" + Times(900, kDeciphered), ""},
      // Deciphered text on the screen: no progress line over it.
      {"-d big", 0, std::string(64 << 20, '\0'), ""},
      {"-a -L --load -lx book -d missing sub s.txt", 2, kDeciphered,
       "dorvenix: error: -L" + kNoFile + "dorvenix: error: --load" + kNoFile +
           "dorvenix: error: -lx" + kNoFile + "dorvenix: error: missing" + kNoFile +
           "dorvenix: error: sub: Is a directory\n"},
      {"-l missing sub bad.dict -d s.txt -l book.dict -d s.txt", 2,
       "teh quick bwron fox jmpus oevr the lzay dog.\n" + kDeciphered,
       "dorvenix: error: sub: Is a directory\ndorvenix: error: bad.dict:2: no space "
       "between the word and its count; the rest of the file is not loaded\n"},
      {"-a book -s nowhere/d sub -d s.txt", 2, kDeciphered,
       "dorvenix: error: nowhere/d: cannot write in folder nowhere" + kNoFile +
           "dorvenix: error: sub: Is a directory\n"},
      // /proc makes no files, though "no such file" is what it says to those
      // who may write in it.
      {"-s p/x.dict", 2, "",
       "dorvenix: error: p/x.dict: cannot write in folder p: " +
           std::string(::faccessat(AT_FDCWD, "/proc", W_OK, AT_EACCESS) == 0
                           ? "Operation not supported\n"
                           : "Permission denied\n")},
      // "-s" needs a file before the next "-l", "-s", "-a", "-d" or the end
      // ("-i" is no command); an empty "-l", "-a" or "-d" is fine.
      {"-a book -s", 2, "", unnamed},
      {"-a book -s -s o.dict -l o.dict -i", 2, kBookReport, unnamed},
      {"-a book -s -i o.dict", 0, kBookReport, ""},
      {"-l o.dict -d s.txt", 0, kDeciphered, ""},
      {"-l -a -d -s o.dict -i", 0, kEmptyReport, ""},
      // "-" is a file name; where there is none, who meant standard input
      // learns its name.
      {"-d - -l - -a book -s - -l - -i", 2, kBookReport,
       Times(2,
             "dorvenix: error: -: No such file or directory (for standard input, name "
             "/dev/stdin)\n")},
      // A standard output that fails is reported once, before what follows,
      // and fails the run; the commands still run.
      {"", 1, "", bad_out, true},
      {"-a book -i -d missing", 2, "", bad_out + "dorvenix: error: missing" + kNoFile, true},
      {"-a book -d s.txt -s d", 2, "", bad_out, true},
      {"-l d -d s.txt", 0, kDeciphered, ""},
  });
}

TEST(Cli, WhatOnlyTheBinaryShows) {
  const std::string all = kDeciphered + kBookDict + kBookReport + kDeciphered;
  const std::string in_order = D + "-a book -d s.txt -s so -i -d s.txt";
  const std::string closed = ": standard input is closed\n";
  // 150,000 entries (2 MB), put in dictionary order by test_support.h.
  Counts counts;
  for (int i = 0; i < 150000; ++i) counts[std::to_string(i * 7) + "wxy"] = i % 2001 - 1000;
  const std::string big = Listing(counts);
  Workspace ws;
  ws.Write("big.dict", big);
  ws.Check({
      {D, 1, std::string(UsageText()), ""},
      {D + "-a missing 2>&-", 2, "", ""},  // with nowhere to report, no retrying
      // A closed standard output fails, and no file of ours takes its place,
      // with standard input closed too (a save to it is a write to it).
      {"(" + D + "-a book -s /dev/stderr -s /dev/stdout -d s.txt 2>&1 >&- <&-; echo $?) | cat", 0,
       kBookDict + "dorvenix: error: standard output: Bad file descriptor\n2\n", ""},
      // A closed standard input is held by the root folder, which no file of
      // ours can take over and /dev/stdin cannot read: it is said to be
      // closed. The root folder by its own name, or a folder given as
      // standard input, is a folder.
      {D + "-a book /dev/stdin -s new.dict -l /dev/fd/0 -d /dev/stdin / s.txt <&-", 2, kDeciphered,
       "dorvenix: error: /dev/stdin" + closed + "dorvenix: error: /dev/fd/0" + closed +
           "dorvenix: error: /dev/stdin" + closed + "dorvenix: error: /: Is a directory\n"},
      {D + "-a /dev/stdin <sub", 2, "", "dorvenix: error: /dev/stdin: Is a directory\n"},
      // Every file is closed once used, with standard input closed too.
      {"ulimit -n 20; " + D + Times(40, "-l book.dict -a book -s new.dict -d s.txt ") + "<&-", 0,
       Times(40, kDeciphered), ""},
      // Saves replace the file a name leads to, in its own folder, with its
      // permissions, or 0666 less the umask; a link stays a link.
      {"umask 027; " + D + "-a book -s d; cmp d book.dict && stat -c %a d", 0, "640\n", ""},
      {"echo old 1 > e; chmod 604 e; " + D + "-a book -s e; cmp e book.dict && stat -c %a e", 0,
       "604\n", ""},
      {"mkdir far; echo 1 > far/f; chmod 640 far/f; ln -s ../far/f sub/l; " + D +
           "-a book -s sub/l; cmp far/f book.dict && stat -c %a far/f && test -L sub/l",
       0, "640\n", ""},
      {"ln -s l2 l; ln -s sub/new l2; " + D + "-a book -s l; cmp sub/new book.dict && test -L l", 0,
       "", ""},
      // The longest name, made and then replaced (through a temporary name).
      {D + "-a book" + Times(2, " -s sub/" + std::string(255, 'd')) + "; cat sub/d*", 0, kBookDict,
       ""},
      // Saving to our own standard output keeps the order of the arguments.
      {"ln -s /proc/self/fd/1 so; " + in_order, 0, all, ""},
      {in_order + " | cat", 0, all, ""},
      {in_order + " > out; cat out", 0, all, ""},
      // A file written while it is read (here: deciphered onto itself in
      // place, in blocks written as they are done; its old time stamp makes
      // the write show) fails the run, what was read staying done.
      {"yes SWEET Words | head -c 72000 > w; touch -d 2001-01-01 w; " + D +
           "-d w 1<>w; s=$?; head -2 w; exit $s",
       2, "sweet words\nsweet words\n", "dorvenix: error: w: file changed while it was read\n"},
      {D + "-a book -d s.txt -d missing -s so 2>&1", 2,
       kDeciphered + "dorvenix: error: missing" + kNoFile + kBookDict, ""},
      // A signal ignored when the run starts (as nohup and sh's background
      // jobs do) stays ignored: the run goes on.
      {"mkfifo g; \"$DORVENIX\" -a g -s kept & exec 3>g; kill -INT $!; echo word >&3; exec "
       "3>&-; "
       "wait $!; echo $?; cat kept",
       0, "0\nword 1\n", ""},
      // A save that cannot even start closes nothing of the run's.
      {"ln -s loop loop; echo word | " + D + "-s loop -a /dev/stdin -s out; cat out", 0, "word 1\n",
       "dorvenix: error: loop: Too many levels of symbolic links\n"},
      // A FIFO is written to, not replaced.
      {"mkfifo f; " + D + "-a book -s f & timeout 10 cat f; wait; test -p f", 0, kBookDict, ""},
      // Large saves keep every byte; one that fails part way (a file size
      // limit here, 512-byte blocks) leaves the old file. Standard output
      // over the limit fails too, and the run goes on.
      {D + "-l big.dict -s out.dict so; cmp out.dict big.dict", 0, big, ""},
      {"ulimit -f 64; " + D +
           "-l big.dict -a book -s big.dict -d s.txt; echo $?; cmp big.dict out.dict",
       0, kDeciphered + "2\n", "dorvenix: error: big.dict: File too large\n"},
      {"ulimit -f 1; " + D + "-a book -d " + Times(20, "s.txt ") + "-s d >o; echo $?; cat d", 0,
       "2\n" + kBookDict, "dorvenix: error: standard output: File too large\n"},
  });
  // Root replaces a read-only file of another user, as cp would, keeping its
  // mode and owner (a save as an ordinary user is refused: io_test.cc).
  if (::geteuid() != 0) GTEST_SKIP() << "only root has another user's files and devices to try";
  ws.Check({
      {"echo olds 5 > ro; chmod 444 ro; chown 65534 ro; " + D +
           "-a book -s ro && cmp ro book.dict && stat -c '%a %u' ro",
       0, "444 65534\n", ""},
  });
  // Devices made in the test's own folder: the real /dev is never written.
  if (RunShell("mknod full c 1 7 && mknod null c 1 3 && mknod tun c 10 200", ws).status != 0) {
    GTEST_SKIP() << "mknod needs root: no private devices to write to";
  }
  ws.Check({
      {D + "-a book -s full -d s.txt", 2, kDeciphered,
       "dorvenix: error: full: No space left on device\n"},
      // A read that fails (an unattached tunnel device) is no end of input,
      // and gives no byte.
      {D + "-a book -a tun -d tun s.txt", 2, kDeciphered,
       Times(2, "dorvenix: error: tun: File descriptor in bad state\n")},
      // No error is left behind by the missing dictionary; the device gets fd 0.
      {D + "-l missing -a book -s null <&-", 0, "", ""},
      {"ulimit -n 20; " + D + "-a book -s " + Times(40, "null "), 0, "", ""},
      {"test -c full && test -c null", 0, "", ""},
  });
}

TEST(Progress, DrawnForLargeFilesAtMostFiveTimesASecondAndErased) {
  constexpr std::uint64_t kLarge = Progress::kMinSize;
  // What the signal handler's erase writes to descriptor 2.
  auto erased_for_signal = [] {
    const TempDir dir;
    const int saved = ::dup(2), file = ::open(dir.File("e").c_str(), O_WRONLY | O_CREAT, 0600);
    ::dup2(file, 2);
    ::close(file);
    Progress::EraseForSignal();
    ::dup2(saved, 2);
    ::close(saved);
    return ReadFile(dir.File("e"));
  };
  std::string screen, unused;
  OutputFile out(&unused);
  Console::Clock::time_point now;
  Console console{out, [&](std::string_view text) { screen += text; }, false, true,
                  [&] { return now; }};
  {
    Progress small("learning", "small.txt", kLarge - 1, console);
    small.Update(kLarge / 2);
    Progress big("learning", "big.txt", kLarge, console);
    // Milliseconds later, bytes done; the third comes too soon to redraw.
    const std::pair<int, std::uint64_t> steps[] = {
        {0, 0}, {500, kLarge / 4}, {199, kLarge / 2}, {1, kLarge / 2}, {300, 2 * kLarge}};
    for (const auto& [ms, done] : steps) {
      now += std::chrono::milliseconds(ms);
      big.Update(done);
    }
    EXPECT_EQ(erased_for_signal(), "\r\x1b[K");
  }
  EXPECT_EQ(erased_for_signal(), "");
  const std::string line = "\rdorvenix: learning big.txt: ";
  EXPECT_EQ(screen, line + "0% 0 MB/s\x1b[K" + line + "25% 34 MB/s\x1b[K" + line +
                        "50% 48 MB/s\x1b[K" + line + "100% 134 MB/s\x1b[K\r\x1b[K");
}

TEST(Progress, ShownWhileAFileOf64MiBIsWorkedOnOffScreen) {
  // The binary on a terminal of its own (script's), its text going
  // elsewhere: drawn after its first block, then erased.
  Workspace ws;
  for (const std::string what : {"learning big: ", "deciphering big: "}) {
    const std::string args = what[0] == 'l' ? "-a big" : "-d big >/dev/null";
    const std::string shown = RunShell("script -qec '" + D + args + "' /dev/null", ws).out;
    EXPECT_TRUE(shown.starts_with("\rdorvenix: " + what) && shown.find("% ") < 35 &&
                shown.ends_with(" MB/s\x1b[K\r\x1b[K"))
        << shown;
  }
}

constexpr char kOld[] = "olds 5\n";

// Under address-space limits from "barely starts" to "nearly enough", every
// failure is reported as out of memory instead of aborting, the commands
// after it still run, and a save that ran out leaves the old file and
// nothing else.
TEST(Cli, OutOfMemoryIsReportedAndLeavesNoDebris) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the sanitizers reserve more address space than these limits";
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
  GTEST_SKIP() << "the sanitizers reserve more address space than these limits";
#endif
#endif
  TempDir dir;
  ASSERT_EQ(RunShell("seq -f 'w%07g 1' 0 199999 > mid.dict; "
                     "head -c 8000000 /dev/zero | tr '\\0' a > word.txt",
                     dir)
                .status,
            0);
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
    EXPECT_EQ(FilesIn(dir.path()), (Files{"mid.dict", "o.dict", "word.txt"}));
  }
  EXPECT_TRUE(save_ran_out);
}

}  // namespace
}  // namespace dorvenix::testing
