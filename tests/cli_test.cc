// End-to-end tests: the built binary in a temporary folder, for what only
// the binary shows (exit statuses, exact output, files on disk, closed or
// failing descriptors). And the progress line, on a private terminal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/progress.h"
#include "test_support.h"

namespace dorvenix::testing {
namespace {

const char kUsage[] =
    "Dorvenix v 1.0\nParameters:\ndorvenix {-l files | -s files | -a files | -d files | -i} ...\n"
    " -l = load dictionary file \n -s = save dictionary file \n"
    " -a = load some arbitrary text and add words to dictionary \n"
    " -d = decipher files (output to console) \n"
    " -i = print some information such as number of 'collisions' \n"
    " Commands are executed in the specified order.(so to decipher file you must load "
    "dictionary, then decipher file with -d) \n\nUsage Examples:\n"
    "dorvenix -a book1.txt book2.txt book3.txt -l dictionary.txt -s dictionary.txt\n"
    "will merge words from book1.txt,book2.txt,book3.txt with dictionary.txt\n\n"
    "dorvenix -l dictionary -d sutdy.txt\nwill load dictionary and then decipher sutdy.txt\n";

// The binary, stopped with everything it started if it runs for 30 s (as a
// broken build may).
const std::string D = "timeout -k 5 30 \"$DORVENIX\" ";
const std::string kBook = "The quick brown fox jumps over the lazy dog; words, words, WORDS.\n";
const std::string kDeciphered = "teh quick brown fox jumps over the lazy dog.\n";
const std::string kBookDict = "brown 1\njumps 1\nlazy 1\nover 1\nquick 1\nwords 3\n";
const std::string kBookReport =
    "Words loaded(excluding 3 letter words and shorter)=6\nCollisions=0\n";
const std::string kNoFile = ": No such file or directory\n";

std::string Times(int n, const std::string& text) {
  return n == 0 ? "" : text + Times(n - 1, text);
}

// A folder holding book, s.txt, book.dict, bad.dict and an empty sub/.
class Workspace : public TempDir {
 public:
  Workspace() {
    Write("book", kBook);
    Write("s.txt", "Teh qucik bwron fox jmpus oevr the lzay dog.\n");
    Write("book.dict", kBookDict);
    Write("bad.dict", "quick 1\nbrown\nlazy 1\n");
    RunShell("mkdir sub", *this);
  }

  struct Case {
    std::string script;  // D is the binary
    int status;
    std::string out, err;
  };
  // Runs the scripts in order; none may leave a temporary file behind.
  void Check(const std::vector<Case>& cases) const {
    for (const Case& c : cases) {
      const RunResult r = RunShell(c.script, *this);
      EXPECT_EQ(r.status, c.status) << c.script;
      EXPECT_EQ(r.out, c.out) << c.script;
      EXPECT_EQ(r.err, c.err) << c.script;
    }
    EXPECT_EQ(RunShell("find . -name '.?*'", *this).out, "");
  }
};

TEST(Cli, StatusesOutputFilesAndMessages) {
  const std::string all = kDeciphered + kBookDict + kBookReport + kDeciphered;
  const std::string in_order = D + "-a book -d s.txt -s so -i -d s.txt";
  // 150,000 entries (2 MB), put in dictionary order by test_support.h.
  Counts counts;
  for (int i = 0; i < 150000; ++i) counts[std::to_string(i * 7) + "wxy"] = i % 2001 - 1000;
  const std::string big = Listing(counts);
  Workspace ws;
  ws.Write("big.dict", big);
  ws.Check({
      {D, 1, kUsage, ""},
      {D + "-i book", 1,
       "Words loaded(excluding 3 letter words and shorter)=0\nCollisions=0\n" + std::string(kUsage),
       ""},
      {D + "-a book -d", 0, "", ""},
      // -i keeps the command in force: s.txt is learnt too.
      {D + "-a book -i s.txt -i", 0,
       kBookReport + "Collision: brown(1) with bwron(1)\nCollision: jmpus(1) with jumps(1)\n" +
           "Collision: lazy(1) with lzay(1)\nCollision: oevr(1) with over(1)\n" +
           "Collision: qucik(1) with quick(1)\n" +
           "Words loaded(excluding 3 letter words and shorter)=11\nCollisions=5\n",
       ""},
      {D + "-d s.txt -a book -d s.txt", 0,
       "teh qucik bwron fox jmpus oevr the lzay dog.\n" + kDeciphered, ""},
      {D + "-a -L --load -lx book -d missing sub s.txt", 2, kDeciphered,
       "dorvenix: error: -L" + kNoFile + "dorvenix: error: --load" + kNoFile +
           "dorvenix: error: -lx" + kNoFile + "dorvenix: error: missing" + kNoFile +
           "dorvenix: error: sub: Is a directory\n"},
      {D + "-l missing sub bad.dict -d s.txt -l book.dict -d s.txt", 2,
       "teh quick bwron fox jmpus oevr the lzay dog.\n" + kDeciphered,
       "dorvenix: error: sub: Is a directory\ndorvenix: error: bad.dict:2: no space between the "
       "word and its count; the rest of the file is not loaded\n"},
      {D + "-a book -s nowhere/d sub -d s.txt", 2, kDeciphered,
       "dorvenix: error: nowhere/d: cannot write in folder nowhere" + kNoFile +
           "dorvenix: error: sub: Is a directory\n"},
      // /proc makes no files, though "no such file" is what it says.
      {"ln -s /proc p; " + D + "-s p/x.dict", 2, "",
       "dorvenix: error: p/x.dict: cannot write in folder p: Operation not supported\n"},
      // With standard input closed, the first file opened gets descriptor 0.
      {D + "-a book -s new.dict -d s.txt <&-", 0, kDeciphered, ""},
      {D + "-l new.dict -i -d s.txt <&-", 0, kBookReport + kDeciphered, ""},
      // Every file is closed once used, also a save given descriptor 0.
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
      {D + "-a book -s sub/" + std::string(255, 'd') + "; cat sub/d*", 0, kBookDict, ""},
      // Saving to our own standard output keeps the order of the arguments.
      {"ln -s /proc/self/fd/1 so; " + in_order, 0, all, ""},
      {in_order + " | cat", 0, all, ""},
      {in_order + " > out; cat out", 0, all, ""},
      {D + "-a book -d s.txt -d missing -s so 2>&1", 2,
       kDeciphered + "dorvenix: error: missing" + kNoFile + kBookDict, ""},
      // A signal ignored when the run starts (as nohup and sh's background
      // jobs do) stays ignored: the run goes on.
      {"mkfifo g; \"$DORVENIX\" -a g -s kept & exec 3>g; kill -INT $!; echo word >&3; exec 3>&-; "
       "wait $!; echo $?; cat kept",
       0, "0\nword 1\n", ""},
      // A save that cannot even start closes nothing of the run's.
      {"ln -s loop loop; echo word | " + D + "-s loop -a /dev/stdin -s out; cat out", 0, "word 1\n",
       "dorvenix: error: loop: Too many levels of symbolic links\n"},
      // A FIFO is written to, not replaced.
      {"mkfifo f; " + D + "-a book -s f & timeout 10 cat f; wait; test -p f", 0, kBookDict, ""},
      // Large saves keep every byte; one that fails part way (a file size
      // limit here) leaves the old file.
      {D + "-l big.dict -s out.dict so; cmp out.dict big.dict", 0, big, ""},
      {"trap '' XFSZ; ulimit -f 64; " + D +
           "-l big.dict -a book -s big.dict; cmp big.dict out.dict",
       0, "", "dorvenix: error: big.dict: File too large\n"},
  });
}

TEST(Cli, FailingAndPrivateDevices) {
  // Devices made in the test's own folder: the real /dev is never written.
  Workspace ws;
  if (RunShell("mknod full c 1 7 && mknod null c 1 3 && mknod tun c 10 200", ws).status != 0) {
    GTEST_SKIP() << "mknod needs root: no private full device, write failures not tested";
  }
  const std::string no_space = "dorvenix: error: standard output: No space left on device\n";
  ws.Check({
      {D + "-a book -s full -d s.txt", 2, kDeciphered,
       "dorvenix: error: full: No space left on device\n"},
      {D + "-a book -d s.txt -s d >full; echo $?; cat d", 0, "2\n" + kBookDict, no_space},
      {D + ">full", 1, "", no_space},
      {D + "-a missing 2>&-", 2, "", ""},  // with nowhere to report, no retrying
      // A read that fails (an unattached tunnel device) is no end of input.
      {D + "-a book -a tun -d s.txt", 2, kDeciphered,
       "dorvenix: error: tun: File descriptor in bad state\n"},
      {D + "-a book -i -d missing >full", 2, "", no_space + "dorvenix: error: missing" + kNoFile},
      // No error is left behind by the missing dictionary; the device gets fd 0.
      {D + "-l missing -a book -s null <&-", 0, "", ""},
      {"ulimit -n 20; " + D + "-a book -s " + Times(40, "null "), 0, "", ""},
      {"test -c full && test -c null", 0, "", ""},
  });
}

TEST(Progress, DrawnOnATerminalForFilesOf64MiBAndErased) {
  constexpr std::uint64_t kLarge = std::uint64_t{64} << 20;
  const int terminal = ::posix_openpt(O_RDWR | O_NOCTTY);
  if (terminal < 0) GTEST_SKIP() << "no pseudo-terminal to show progress on";
  ASSERT_EQ(::grantpt(terminal) | ::unlockpt(terminal), 0);
  const std::string screen_path = ::ptsname(terminal);
  const int screen = ::open(screen_path.c_str(), O_RDWR | O_NOCTTY);
  // What the terminal shows until the line is erased, or three seconds of silence.
  auto shown = [&] {
    std::string text;
    char bytes[256];
    pollfd ready = {terminal, POLLIN, 0};
    for (ssize_t n; text.find("\r\x1b[K", 1) == std::string::npos && ::poll(&ready, 1, 3000) == 1 &&
                    (n = ::read(terminal, bytes, sizeof bytes)) > 0;) {
      text.append(bytes, static_cast<std::size_t>(n));
    }
    return text;
  };
  const int saved_stderr = ::dup(STDERR_FILENO);
  ::dup2(screen, STDERR_FILENO);
  {
    Progress small("learning", "small.txt", kLarge - 1);
    small.Update(kLarge / 2);
    Progress big("learning", "big.txt", kLarge);
    big.Update(kLarge / 4);
    big.Update(kLarge / 2);  // too soon to redraw
  }
  ::dup2(saved_stderr, STDERR_FILENO);
  ::close(saved_stderr);
  // A line redrawn in place ("\rLABEL 42% 512 MB/s\e[K"), then erased.
  auto drawn = [](const std::string& text, const std::string& label) {
    return text.starts_with("\r" + label) && text.ends_with(" MB/s\x1b[K\r\x1b[K");
  };
  std::string text = shown();
  EXPECT_TRUE(drawn(text, "dorvenix: learning big.txt: 25% ") &&
              std::count(text.begin(), text.end(), '\r') == 2 &&
              text.find("% 0 MB/s") == std::string::npos)
      << text;
  // The binary learning a large file (a sparse one: all separators), first
  // drawn after its first block (the bytes read so far: several blocks when
  // threads work on them).
  Workspace ws;
  RunShell("truncate -s 64M big; " + D + "-a big 2>" + screen_path, ws);
  text = shown();
  EXPECT_TRUE(drawn(text, "dorvenix: learning big: ") && text.find("% ") < 30) << text;
  // Deciphering shows one too while its text goes elsewhere than the terminal.
  RunShell(D + "-d big >/dev/null 2>" + screen_path, ws);
  text = shown();
  EXPECT_TRUE(drawn(text, "dorvenix: deciphering big: ")) << text;
  ::close(screen);
  ::close(terminal);
}

}  // namespace
}  // namespace dorvenix::testing
