#include "dictionary/dictionary_file.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "dictionary/entry_line.h"
#include "dictionary/report.h"
#include "test_support.h"

namespace dorvenix::testing {
namespace {

// Loads `text` whole and in blocks of every size up to its length: the
// entries and the verdict must not depend on where the blocks end.
// The verdict is what the user reads after "dorvenix: error: ", for a file f.
std::string Load(const std::string& text, std::string* verdict) {
  Dictionary whole;
  TextInput in(text);
  *verdict = LoadDictionary(whole, in).Describe("f");
  for (std::size_t block = 1; block <= text.size(); ++block) {
    Dictionary dictionary;
    TextInput small(text, block);
    const std::string got = LoadDictionary(dictionary, small).Describe("f");
    EXPECT_EQ(Listing(dictionary) + got, Listing(whole) + *verdict)
        << text << " in blocks of " << block;
  }
  return Listing(whole);
}

TEST(DictionaryFile, LoadsWhatTheFileSays) {
  struct Case {
    std::string text, entries;
  };
  const Case cases[] = {
      {"", ""},
      {"bread 7\nbeard 2\n", "beard 2\nbread 7\n"},
      {"the 12\ntest 1", "test 1\n"},  // short words skipped, no final line feed
      {"test \t\v\f\r5\r\nword 3\tx\nwhat 4 anything after a blank\n", "test 5\nwhat 4\nword 3\n"},
      {"test -2\nword +007\nzero 0\n", "test -2\nword 7\nzero 0\n"},
      {"high 2147483647\nlows -2147483648\n", "high 2147483647\nlows -2147483648\n"},
      {"test 2\ntest 3\n\n\r\nHello 1\n", "Hello 1\ntest 5\n"},
      {std::string("caf\xe9 4\nn\0ll 2\ntest\r 1\n", 22),
       std::string("caf\xe9 4\nn\0ll 2\ntest\r 1\n", 22)},
      // A byte order mark is skipped at the start of the file only.
      {"\xEF\xBB\xBFtest 1\n\xEF\xBB\xBFword 2\n", "test 1\n\xEF\xBB\xBFword 2\n"},
  };
  for (const Case& c : cases) {
    std::string verdict;
    EXPECT_EQ(Load(c.text, &verdict), c.entries) << c.text;
    EXPECT_EQ(verdict, "f") << c.text;
  }
}

TEST(DictionaryFile, StopsAtTheFirstMalformedLine) {
  const std::pair<const char*, std::vector<const char*>> cases[] = {
      {"no space between the word and its count", {"hello"}},
      {"missing count", {"word ", "word \t"}},
      {"count is not a number", {"word five", "word -", "word .5", " test 5"}},
      {"count out of range", {"word 2147483648", "word -2147483649", "word 99999999999999999999"}},
      {"count is not a plain integer",
       {"word 0x10", "thing 1,000", "word 1e6", "word 12.9", "word 7abc"}}};
  for (const auto& [reason, lines] : cases) {
    for (const char* line : lines) {
      std::string verdict;
      EXPECT_EQ(Load(std::string("good 1\n") + line + "\nmore 2\n", &verdict), "good 1\n") << line;
      EXPECT_EQ(verdict, std::string("f:2: ") + reason + "; the rest of the file is not loaded")
          << line;
    }
  }
  // Nothing past the end of the line is read.
  EXPECT_EQ(ParseEntryLine(std::string_view("word 12", 6)).entry.count, 1);
}

TEST(DictionaryFile, SavesAndReportsInDictionaryOrder) {
  // Keys compare as unsigned bytes; collisions also between words of more
  // than 11 letters or with bytes beyond a-z inside.
  Dictionary dictionary;
  TextInput in(
      "test 1\nbread 7\nbeard 2\nbared -1\nbrood 3\nlows -2147483648\nForm 0\nform 4\n"
      "a\xe9-z 5\na-\xe9z 6\nabcdefghijklm 1\nalkjihgfedcbm 2\n");
  ASSERT_TRUE(LoadDictionary(dictionary, in).ok());
  std::string text;
  OutputFile out(&text);
  ASSERT_TRUE(SaveDictionary(dictionary, out).ok());
  ASSERT_TRUE(PrintReport(dictionary, out).ok());
  out.Flush();
  EXPECT_EQ(text,
            "Form 0\nabcdefghijklm 1\nalkjihgfedcbm 2\na-\xe9z 6\na\xe9-z 5\nbared -1\nbeard 2\n"
            "bread 7\nbrood 3\nform 4\nlows -2147483648\ntest 1\n"
            "Collision: abcdefghijklm(1) with alkjihgfedcbm(2)\n"
            "Collision: a-\xe9z(6) with a\xe9-z(5)\n"
            "Collision: bared(-1) with beard(2)\n"
            "Collision: beard(2) with bread(7)\n"
            "Words loaded(excluding 3 letter words and shorter)=12\nCollisions=4\n");
}

}  // namespace
}  // namespace dorvenix::testing
