// End-to-end tests: the built dorvenix binary on real files.
#include <gtest/gtest.h>

#include <string>
#include <vector>

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

const char kEmptyReport[] = "Words loaded(excluding 3 letter words and shorter)=0\nCollisions=0\n";

const char kBook[] =
    "The quick brown foxes jumped over the lazy dogs. Reading scrambled words\n"
    "is easier than people think: the first and last letters matter most. They\n";
const char kScrambled[] = "Tehy jmpued oevr the lzay dgos, raeinDg srlabcmed wdros!\n";
const char kRestored[] = "they jumped over the lazy dogs, reading scrambled words!\n";

// Lays out the usual files of a run in a fresh folder.
class CliTest : public ::testing::Test {
 protected:
  CliTest() {
    dir_.Write("book.txt", kBook);
    dir_.Write("scrambled.txt", kScrambled);
    dir_.Write("story.txt", "Tset\n");
  }
  RunResult Run(const std::vector<std::string>& args) { return RunDorvenix(args, dir_.path()); }
  TempDir dir_;
};

TEST_F(CliTest, ArgumentRules) {
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string out;
  };
  const std::string book_report =
      "Words loaded(excluding 3 letter words and shorter)=20\nCollisions=0\n";
  const Case cases[] = {
      {{}, 1, kUsage},
      {{"--help"}, 1, kUsage},
      {{"story.txt", "-d", "story.txt"}, 1, kUsage},
      {{"-i"}, 0, kEmptyReport},
      {{"-i", "story.txt"}, 1, std::string(kEmptyReport) + kUsage},
      {{"-l"}, 0, ""},
      {{"-a", "book.txt", "-d"}, 0, ""},
      // "-i" keeps the mode: story.txt is learnt too.
      {{"-a", "book.txt", "-i", "story.txt", "-i"},
       0,
       book_report + "Words loaded(excluding 3 letter words and shorter)=21\nCollisions=0\n"},
      {{"-a", "book.txt", "-d", "scrambled.txt"}, 0, kRestored},
      {{"-d", "scrambled.txt", "-a", "book.txt"},
       0,
       "tehy jmpued oevr the lzay dgos, raeindg srlabcmed wdros!\n"},
      {{"-a", "book.txt", "-d", "scrambled.txt", "story.txt"},
       0,
       std::string(kRestored) + "tset\n"},
      // Only exact option spellings are options.
      {{"-L", "book.txt"}, 1, kUsage},
      {{"-a", "-L", "--load", "-lx", "book.txt", "-d", "scrambled.txt"}, 2, kRestored},
  };
  for (const Case& c : cases) {
    std::string line;
    for (const std::string& a : c.args) line += a + " ";
    const RunResult r = Run(c.args);
    EXPECT_EQ(r.status, c.status) << line;
    EXPECT_EQ(r.out, c.out) << line;
  }
}

TEST_F(CliTest, SaveLoadMergeAndReport) {
  RunResult r = Run({"-a", "book.txt", "-s", "book.dict"});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string saved = ReadFile(dir_.File("book.dict"));
  EXPECT_NE(saved.find("\nfirst 1\n"), std::string::npos) << saved;
  EXPECT_NE(saved.find("\nwords 1\n"), std::string::npos) << saved;

  // A later run deciphers with the saved dictionary.
  r = Run({"-l", "book.dict", "-d", "scrambled.txt"});
  EXPECT_EQ(r.out, kRestored);

  // Learning and loading the same words twice doubles every count; saving
  // over the file it was loaded from keeps the merged result.
  dir_.Write("more.txt", "form from from\n");
  r = Run({"-a", "book.txt", "more.txt", "-l", "book.dict", "-s", "book.dict", "-i"});
  EXPECT_EQ(r.status, 0) << r.err;
  const std::string merged = ReadFile(dir_.File("book.dict"));
  EXPECT_NE(merged.find("\nfirst 2\n"), std::string::npos) << merged;
  EXPECT_NE(merged.find("form 1\nfrom 2\n"), std::string::npos) << merged;
  EXPECT_EQ(r.out,
            "Collision: form(1) with from(2)\n"
            "Words loaded(excluding 3 letter words and shorter)=22\nCollisions=1\n");
}

TEST_F(CliTest, PipelinesReadStandardInputAndWriteStandardOutput) {
  const RunResult r = RunShell(
      "\"$DORVENIX\" -a book.txt -s /dev/stdout | sort -k2 -n -r | head -n 1 > top.txt && "
      "cat scrambled.txt | \"$DORVENIX\" -a book.txt -d /dev/stdin",
      dir_.path());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, kRestored);
  EXPECT_EQ(ReadFile(dir_.File("top.txt")), "words 1\n");
}

}  // namespace
}  // namespace dorvenix::testing
