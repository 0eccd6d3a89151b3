// End-to-end failure handling: the real binary is run in a temporary folder
// with failures provoked from outside (missing files, folders, read errors,
// /dev/full, a file-size limit, malformed dictionaries), and with the save
// destinations that need care (modes, symbolic links, our own stdout).
//
// Every case checks the exact stderr lines, the exit status, what still
// reached stdout, and that no dictionary already on disk was changed.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "test_support.h"

namespace dorvenix::testing {
namespace {

// The book teaches six words; the scrambled text uses five of them.
constexpr char kBook[] = "The quick brown fox jumps over the lazy dog; words, words, WORDS.\n";
constexpr char kScrambled[] = "Teh qucik bwron fox jmpus oevr the lzay dog.\n";
// What -d prints for kScrambled once kBook is learnt.
constexpr char kDeciphered[] = "teh quick brown fox jumps over the lazy dog.\n";
// What -s writes once kBook is learnt: (key, word) order.
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

  // Names in `folder` (relative to the workspace), sorted.
  std::vector<std::string> List(const std::string& folder = ".") const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(File(folder))) {
      names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }
};

using Names = std::vector<std::string>;
const Names kInitialNames = {"book", "s.txt", "sub"};

// `lines` dictionary lines "wNNNNNNN 1" (11 bytes each), words all distinct.
std::vector<std::string> NumberedLines(int lines) {
  std::vector<std::string> out;
  char buf[32];
  for (int i = 1; i <= lines; ++i) {
    std::snprintf(buf, sizeof buf, "w%07d 1", i);
    out.emplace_back(buf);
  }
  return out;
}

std::string Join(const std::vector<std::string>& lines, std::size_t count, bool final_newline = true) {
  std::string text;
  for (std::size_t i = 0; i < count; ++i) {
    text += lines[i];
    if (i + 1 < count || final_newline) text += '\n';
  }
  return text;
}

// Test names from the cases' own names.
struct CaseNameFn {
  template <class P>
  std::string operator()(const ::testing::TestParamInfo<P>& p) const {
    return p.param.name;
  }
};
constexpr CaseNameFn CaseName;

mode_t ModeOf(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// ---------------------------------------------------------------------------
// A save that fails leaves the old dictionary byte-identical and no temporary
// file behind; the run goes on.

struct SaveFailureCase {
  const char* name;
  const char* wrap;    // shell text around the command; %s is the command
  const char* target;  // the -s argument
  const char* reason;  // strerror text
};

void PrintTo(const SaveFailureCase& c, std::ostream* os) { *os << c.name; }

class SaveFailureTest : public ::testing::TestWithParam<SaveFailureCase> {};

TEST_P(SaveFailureTest, OldDictionaryStaysAndRunContinues) {
  const SaveFailureCase& c = GetParam();
  Workspace ws;
  // An existing dictionary of 220 KB: far above the 32 KiB file-size limit
  // (dash counts `ulimit -f` in 512-byte blocks).
  const std::string old_dict = Join(NumberedLines(20000), 20000);
  ws.Write("dict", old_dict);

  const std::string command = "\"$DORVENIX\" -l dict -a book -s " + std::string(c.target) + " -d s.txt";
  char script[512];
  std::snprintf(script, sizeof script, c.wrap, command.c_str());
  const RunResult r = ws.Sh(script);

  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "dorvenix: error: " + std::string(c.target) + ": " + c.reason + "\n");
  EXPECT_EQ(r.out, kDeciphered);  // -d after the failed save still ran
  EXPECT_TRUE(ReadFile(ws.File("dict")) == old_dict) << "the old dictionary changed";
  EXPECT_EQ(ws.List(), (Names{"book", "dict", "s.txt", "sub"}));
  EXPECT_EQ(ws.List("sub"), Names{});
}

INSTANTIATE_TEST_SUITE_P(
    FaultInjection, SaveFailureTest,
    ::testing::Values(
        SaveFailureCase{"FileSizeLimitOverExistingDictionary",
                        "(trap '' XFSZ; ulimit -f 64; exec %s)", "dict", "File too large"},
        SaveFailureCase{"FolderDoesNotExist", "%s", "nowhere/dict", "No such file or directory"},
        SaveFailureCase{"PathUnderAFile", "%s", "book/dict", "Not a directory"},
        SaveFailureCase{"DevFull", "%s", "/dev/full", "No space left on device"},
        SaveFailureCase{"TargetIsAFolder", "%s", "sub", "Is a directory"}),
    CaseName);

// ---------------------------------------------------------------------------
// Inputs that cannot be read: one error line each and status 2, except a
// missing -l file, which is an empty dictionary.

bool ProcMemReadFails() {
  const int fd = ::open("/proc/self/mem", O_RDONLY);
  if (fd < 0) return false;
  char c;
  const bool eio = ::read(fd, &c, 1) < 0 && errno == EIO;
  ::close(fd);
  return eio;
}

struct BadInputCase {
  const char* name;
  const char* command;  // -a, -d or -l
  const char* path;
  const char* reason;   // nullptr: silent, status 0
};

void PrintTo(const BadInputCase& c, std::ostream* os) { *os << c.name; }

class BadInputTest : public ::testing::TestWithParam<BadInputCase> {};

TEST_P(BadInputTest, ReportedOnceAndRunContinues) {
  const BadInputCase& c = GetParam();
  if (std::string(c.path) == "/proc/self/mem" && !ProcMemReadFails()) {
    GTEST_SKIP() << "reading /proc/self/mem does not fail with EIO here";
  }
  Workspace ws;
  const RunResult r = RunDorvenix({"-a", "book", c.command, c.path, "-d", "s.txt", "-s", "out.dict"},
                                  ws.path());
  if (c.reason == nullptr) {
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
  } else {
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "dorvenix: error: " + std::string(c.path) + ": " + c.reason + "\n");
  }
  // What was learnt before stays; the commands after the failure ran.
  EXPECT_EQ(r.out, kDeciphered);
  EXPECT_EQ(ReadFile(ws.File("out.dict")), kBookDict);
}

INSTANTIATE_TEST_SUITE_P(
    FaultInjection, BadInputTest,
    ::testing::Values(BadInputCase{"LearnFolder", "-a", "sub", "Is a directory"},
                      BadInputCase{"DecipherFolder", "-d", "sub", "Is a directory"},
                      BadInputCase{"LoadFolder", "-l", "sub", "Is a directory"},
                      BadInputCase{"LearnMissing", "-a", "missing.txt", "No such file or directory"},
                      BadInputCase{"DecipherMissing", "-d", "missing.txt", "No such file or directory"},
                      BadInputCase{"LoadMissingIsSilent", "-l", "missing.dict", nullptr},
                      BadInputCase{"LoadUnderAFile", "-l", "book/dict", "Not a directory"},
                      BadInputCase{"LearnReadError", "-a", "/proc/self/mem", "Input/output error"},
                      BadInputCase{"DecipherReadError", "-d", "/proc/self/mem", "Input/output error"},
                      BadInputCase{"LoadReadError", "-l", "/proc/self/mem", "Input/output error"}),
    CaseName);

// ---------------------------------------------------------------------------
// Standard output that cannot be written: reported once, after any error
// that came before it on the same run, and status 2 (1 for the usage text).

struct StdoutFailureCase {
  const char* name;
  const char* args;
  int status;
  const char* err;
  bool saves_d;  // the args save to the regular file "d"
};

void PrintTo(const StdoutFailureCase& c, std::ostream* os) { *os << c.name; }

class StdoutFailureTest : public ::testing::TestWithParam<StdoutFailureCase> {};

TEST_P(StdoutFailureTest, ReportedOnce) {
  const StdoutFailureCase& c = GetParam();
  Workspace ws;
  const RunResult r = ws.Sh("\"$DORVENIX\" " + std::string(c.args) + " > /dev/full");
  EXPECT_EQ(r.status, c.status);
  EXPECT_EQ(r.err, c.err);
  // A save to a regular file does not depend on stdout.
  if (c.saves_d) {
    EXPECT_EQ(ReadFile(ws.File("d")), kBookDict);
  }
}

constexpr char kNoSpace[] = "dorvenix: error: standard output: No space left on device\n";

INSTANTIATE_TEST_SUITE_P(
    FaultInjection, StdoutFailureTest,
    ::testing::Values(
        StdoutFailureCase{"Decipher", "-a book -d s.txt", 2, kNoSpace, false},
        StdoutFailureCase{"SaveToStdout", "-a book -s /dev/stdout", 2, kNoSpace, false},
        StdoutFailureCase{"Report", "-a book -i", 2, kNoSpace, false},
        StdoutFailureCase{"SaveToFileStillWorks", "-a book -d s.txt -s d", 2, kNoSpace, true},
        StdoutFailureCase{"ThenMissingFile", "-a book -d s.txt -d missing -d s.txt", 2,
                          "dorvenix: error: standard output: No space left on device\n"
                          "dorvenix: error: missing: No such file or directory\n", false},
        StdoutFailureCase{"Usage", "", 1, kNoSpace, false}),
    CaseName);

// ---------------------------------------------------------------------------
// A malformed line in a large dictionary: the lines before it are loaded,
// nothing after it, and the warning names its number, also when the line
// straddles the 1 MiB read blocks.

struct MalformedCase {
  const char* name;
  long line;           // 1-based; -1: the line holding byte 1 MiB; 0: the last line
  const char* text;    // the malformed line
  const char* reason;
};

void PrintTo(const MalformedCase& c, std::ostream* os) { *os << c.name; }

class MalformedLineTest : public ::testing::TestWithParam<MalformedCase> {};

TEST_P(MalformedLineTest, LinesBeforeItAreLoaded) {
  const MalformedCase& c = GetParam();
  Workspace ws;
  std::vector<std::string> lines = NumberedLines(150000);  // 1.6 MB
  // Lines that load nothing but still count.
  lines[2] = "";
  lines[3] = "\r";
  lines[4] = "crlf 5\r";
  std::size_t bad = 0;  // 0-based
  if (c.line > 0) {
    bad = static_cast<std::size_t>(c.line - 1);
  } else if (c.line == 0) {
    bad = lines.size() - 1;
  } else {
    std::size_t offset = 0;
    while (offset + lines[bad].size() + 1 <= (std::size_t{1} << 20)) offset += lines[bad++].size() + 1;
    ASSERT_LT(offset, std::size_t{1} << 20);
  }
  lines[bad] = c.text;
  ws.Write("big.dict", Join(lines, lines.size(), /*final_newline=*/c.line != 0));
  ws.Write("prefix.dict", Join(lines, bad));

  const RunResult r = RunDorvenix({"-l", "big.dict", "-s", "got.dict", "-i"}, ws.path());
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "big.dict:" + std::to_string(bad + 1) + ": " + c.reason +
                       "; the rest of the file is not loaded\n");

  const RunResult want = RunDorvenix({"-l", "prefix.dict", "-s", "want.dict", "-i"}, ws.path());
  ASSERT_EQ(want.status, 0) << want.err;
  // Megabytes each: compared without printing them.
  EXPECT_TRUE(r.out == want.out) << "report differs from the one for the lines before";
  EXPECT_TRUE(ReadFile(ws.File("got.dict")) == ReadFile(ws.File("want.dict")))
      << "saved dictionary differs from the one for the lines before";
  const auto loaded = std::count_if(lines.begin(), lines.begin() + static_cast<long>(bad),
                                    [](const std::string& l) { return l != "" && l != "\r"; });
  EXPECT_NE(r.out.find("shorter)=" + std::to_string(loaded) + "\n"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    FaultInjection, MalformedLineTest,
    ::testing::Values(
        MalformedCase{"FirstLine", 1, "nospace", "no space between the word and its count"},
        MalformedCase{"AfterBlankLines", 6, "word ", "missing count"},
        MalformedCase{"MiddleOfFirstBlock", 70001, "word x12", "count is not a number"},
        MalformedCase{"StraddlesBlocks", -1, "word 2147483648", "count out of range"},
        MalformedCase{"TooNegative", 120000, "word -2147483649", "count out of range"},
        MalformedCase{"SignOnly", 120000, "word -", "count is not a number"},
        MalformedCase{"LastLineWithoutNewline", 0, "lastword", "no space between the word and its count"}),
    CaseName);

// ---------------------------------------------------------------------------
// Permission bits: an existing dictionary keeps its own, a new one gets
// 0666 & ~umask, whatever the umask of the run.

struct ModeCase {
  const char* name;
  mode_t existing;  // 0: no file yet
  const char* umask;
  mode_t want;
  std::size_t name_length;  // of the dictionary's file name; 0: "dict"
};

void PrintTo(const ModeCase& c, std::ostream* os) { *os << c.name; }

class SaveModeTest : public ::testing::TestWithParam<ModeCase> {};

TEST_P(SaveModeTest, ModeBits) {
  const ModeCase& c = GetParam();
  Workspace ws;
  const std::string dict = c.name_length == 0 ? "dict" : std::string(c.name_length, 'd');
  if (c.existing != 0) {
    ws.Write(dict, "old 1\n");
    ASSERT_EQ(::chmod(ws.File(dict).c_str(), c.existing), 0);
  }
  const RunResult r = ws.Sh(std::string("umask ") + c.umask + "; \"$DORVENIX\" -a book -s " + dict);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(ReadFile(ws.File(dict)), kBookDict);
  EXPECT_EQ(ModeOf(ws.File(dict)), c.want) << std::oct << ModeOf(ws.File(dict));
  Names want = kInitialNames;
  want.push_back(dict);
  std::sort(want.begin(), want.end());
  EXPECT_EQ(ws.List(), want);
}

INSTANTIATE_TEST_SUITE_P(
    FaultInjection, SaveModeTest,
    ::testing::Values(ModeCase{"NewUnderUmask027", 0, "027", 0640, 0},
                      ModeCase{"NewUnderUmask077", 0, "077", 0600, 0},
                      ModeCase{"NewUnderUmask000", 0, "000", 0666, 0},
                      ModeCase{"Existing640", 0640, "000", 0640, 0},
                      ModeCase{"Existing604UnderUmask077", 0604, "077", 0604, 0},
                      ModeCase{"Existing444", 0444, "022", 0444, 0},
                      // The temporary name must not outgrow NAME_MAX.
                      ModeCase{"NewWithLongestName", 0, "022", 0644, 255},
                      ModeCase{"ExistingWithLongestName", 0600, "022", 0600, 255}),
    CaseName);

// ---------------------------------------------------------------------------
// Saving through a symbolic link replaces the file it points to; the link
// stays the same link.

struct LinkCase {
  const char* name;
  std::vector<std::pair<std::string, std::string>> links;  // (link, target) made in order
  const char* save;    // the -s argument
  const char* target;  // the regular file that must end up replaced
  bool existing;       // the target exists before the save
};

void PrintTo(const LinkCase& c, std::ostream* os) { *os << c.name; }

class SaveThroughLinkTest : public ::testing::TestWithParam<LinkCase> {};

TEST_P(SaveThroughLinkTest, TargetReplacedLinkKept) {
  const LinkCase& c = GetParam();
  Workspace ws;
  if (c.existing) {
    ws.Write(c.target, "old 1\n");
    ASSERT_EQ(::chmod(ws.File(c.target).c_str(), 0640), 0);
  }
  for (const auto& [link, target] : c.links) {
    const std::string to = target == "ABS" ? ws.File(c.target) : target;
    ASSERT_EQ(::symlink(to.c_str(), ws.File(link).c_str()), 0) << link;
  }
  const Names before = ws.List();
  const Names before_sub = ws.List("sub");

  const RunResult r = ws.Sh(std::string("umask 022; \"$DORVENIX\" -a book -s ") + c.save + " -d s.txt");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, kDeciphered);
  EXPECT_EQ(ReadFile(ws.File(c.target)), kBookDict);
  EXPECT_EQ(ModeOf(ws.File(c.target)), c.existing ? 0640u : 0644u);
  for (const auto& [link, target] : c.links) {
    const std::string to = target == "ABS" ? ws.File(c.target) : target;
    EXPECT_EQ(std::filesystem::read_symlink(ws.File(link)).string(), to) << link;
  }
  // No temporary file left; a missing target was created where it points.
  Names want = before;
  Names want_sub = before_sub;
  if (!c.existing) {
    const std::string t = c.target;
    if (t.rfind("sub/", 0) == 0) {
      want_sub.push_back(t.substr(4));
    } else {
      want.push_back(t);
    }
    std::sort(want.begin(), want.end());
  }
  EXPECT_EQ(ws.List(), want);
  EXPECT_EQ(ws.List("sub"), want_sub);
}

INSTANTIATE_TEST_SUITE_P(
    FaultInjection, SaveThroughLinkTest,
    ::testing::Values(LinkCase{"Relative", {{"link", "real.dict"}}, "link", "real.dict", true},
                      LinkCase{"IntoSubfolder", {{"link", "sub/real.dict"}}, "link", "sub/real.dict", true},
                      LinkCase{"FromSubfolder", {{"sub/link", "../real.dict"}}, "sub/link", "real.dict", true},
                      LinkCase{"Absolute", {{"link", "ABS"}}, "link", "real.dict", true},
                      LinkCase{"Chain", {{"link2", "real.dict"}, {"link", "link2"}}, "link", "real.dict", true},
                      LinkCase{"Dangling", {{"link", "sub/new.dict"}}, "link", "sub/new.dict", false}),
    CaseName);

// ---------------------------------------------------------------------------
// "-s /dev/stdout" goes through the stdout buffer, so the dictionary lands
// between what the commands before and after it printed, whatever stdout is.

struct StdoutOrderCase {
  const char* name;
  const char* args;
  const char* redirect;  // shell text after the command; the result ends up in "out"
  const char* prefix;    // what "out" held before
  const char* setup;     // shell text before the command
  std::string want;
  int status;
};

void PrintTo(const StdoutOrderCase& c, std::ostream* os) { *os << c.name; }

class StdoutOrderTest : public ::testing::TestWithParam<StdoutOrderCase> {};

TEST_P(StdoutOrderTest, ArgumentOrder) {
  const StdoutOrderCase& c = GetParam();
  Workspace ws;
  ws.Write("out", c.prefix);
  const RunResult r = ws.Sh(std::string(c.setup) + " \"$DORVENIX\" " + c.args + " " + c.redirect);
  EXPECT_EQ(r.status, c.status) << r.err;
  EXPECT_EQ(ReadFile(ws.File("out")), c.prefix + c.want);
}

const std::string kAll = std::string(kDeciphered) + kBookDict + kBookReport + kDeciphered;
constexpr char kAllArgs[] = "-a book -d s.txt -s /dev/stdout -i -d s.txt";

INSTANTIATE_TEST_SUITE_P(
    FaultInjection, StdoutOrderTest,
    ::testing::Values(
        StdoutOrderCase{"RegularFile", kAllArgs, "> out", "", "", kAll, 0},
        StdoutOrderCase{"AppendedFile", kAllArgs, ">> out", "before\n", "", kAll, 0},
        StdoutOrderCase{"Pipe", kAllArgs, "| cat > out", "", "", kAll, 0},
        StdoutOrderCase{"SavedTwice", "-a book -s /dev/stdout -d s.txt -s /dev/stdout", "| cat > out", "", "",
                        std::string(kBookDict) + kDeciphered + kBookDict, 0},
        StdoutOrderCase{"WithErrorsOnSameFile", "-a book -d s.txt -d missing -s /dev/stdout -i",
                        "> out 2>&1", "", "",
                        std::string(kDeciphered) + "dorvenix: error: missing: No such file or directory\n" +
                            kBookDict + kBookReport,
                        2},
        StdoutOrderCase{"ToFifoDirectly", "-a book -d s.txt -s fifo -d s.txt",
                        "> out; wait; cat got >> out", "", "mkfifo fifo; timeout 20 cat fifo > got &",
                        std::string(kDeciphered) + kDeciphered + kBookDict, 0}),
    CaseName);

}  // namespace
}  // namespace dorvenix::testing
