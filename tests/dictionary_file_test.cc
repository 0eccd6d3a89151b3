#include "dictionary/dictionary_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "dictionary/report.h"
#include "test_support.h"

namespace dorvenix::testing {
namespace {

// Loads `text` whole and in blocks of every size up to its length: the
// entries and the verdict must not depend on where the blocks end.
Entries Load(const std::string& text, LoadResult* result) {
  Dictionary whole;
  InputFile in = InputFile::FromMemory(text);
  *result = LoadDictionary(whole, in);
  for (std::size_t block = 1; block <= text.size(); ++block) {
    Dictionary dictionary;
    InputFile small = InputFile::FromMemory(text, block);
    const LoadResult got = LoadDictionary(dictionary, small);
    EXPECT_EQ(got.bad_line, result->bad_line) << text << " in blocks of " << block;
    EXPECT_STREQ(got.reason, result->reason) << text << " in blocks of " << block;
    EXPECT_EQ(InOrder(dictionary), InOrder(whole)) << text << " in blocks of " << block;
  }
  return InOrder(whole);
}

TEST(DictionaryFile, LoadsWhatTheFileSays) {
  struct Case {
    std::string text;
    Entries entries;
  };
  const Case cases[] = {
      {"", {}},
      {"bread 7\nbeard 2\n", {{"beard", 2}, {"bread", 7}}},
      {"the 12\ntest 1", {{"test", 1}}},  // short words skipped, no final line feed
      {"test \t\v\f\r5\r\nword 3\tx\nwhat 4 anything after a blank\n",
       {{"test", 5}, {"what", 4}, {"word", 3}}},
      {"test -2\nword +007\nzero 0\n", {{"test", -2}, {"word", 7}, {"zero", 0}}},
      {"high 2147483647\nlows -2147483648\n", {{"high", 2147483647}, {"lows", -2147483647 - 1}}},
      {"test 2\ntest 3\n\n\r\nHello 1\n", {{"Hello", 1}, {"test", 5}}},
      {std::string("caf\xe9 4\nn\0ll 2\ntest\r 1\n", 22),
       {{"caf\xe9", 4}, {std::string("n\0ll", 4), 2}, {"test\r", 1}}},
      // A byte order mark is skipped at the start of the file only.
      {"\xEF\xBB\xBFtest 1\n\xEF\xBB\xBFword 2\n", {{"test", 1}, {"\xEF\xBB\xBFword", 2}}},
  };
  for (const Case& c : cases) {
    LoadResult result;
    EXPECT_EQ(Load(c.text, &result), c.entries) << c.text;
    EXPECT_EQ(result.bad_line, 0u) << c.text;
  }
}

TEST(DictionaryFile, StopsAtTheFirstMalformedLine) {
  struct Case {
    const char* line;
    const char* reason;
  };
  const Case cases[] = {
      {"hello", "no space between the word and its count"},
      {"word ", "missing count"},
      {"word \t", "missing count"},
      {"word five", "count is not a number"},
      {"word -", "count is not a number"},
      {"word .5", "count is not a number"},
      {" test 5", "count is not a number"},
      {"word 2147483648", "count out of range"},
      {"word -2147483649", "count out of range"},
      {"word 99999999999999999999", "count out of range"},
      {"word 0x10", "count is not a plain integer"},
      {"thing 1,000", "count is not a plain integer"},
      {"word 1e6", "count is not a plain integer"},
      {"word 12.9", "count is not a plain integer"},
      {"word 7abc", "count is not a plain integer"},
  };
  for (const Case& c : cases) {
    LoadResult result;
    EXPECT_EQ(Load(std::string("good 1\n") + c.line + "\nmore 2\n", &result),
              (Entries{{"good", 1}}))
        << c.line;
    EXPECT_EQ(result.bad_line, 2u) << c.line;
    EXPECT_STREQ(result.reason, c.reason) << c.line;
  }
  LoadResult result;
  EXPECT_EQ(Load("good 1\nlast", &result), (Entries{{"good", 1}}));
  EXPECT_EQ(result.bad_line, 2u);
}

TEST(DictionaryFile, SavesAndReportsInDictionaryOrder) {
  Dictionary dictionary;
  for (const auto& [word, count] : Entries{{"test", 1},
                                           {"bread", 7},
                                           {"beard", 2},
                                           {"bared", -1},
                                           {"brood", 3},
                                           {"lows", -2147483647 - 1},
                                           {"Form", 0},
                                           {"form", 4},
                                           {"a\xe9-z", 5},
                                           {"a-\xe9z", 6},
                                           {"abcdefghijklm", 1},
                                           {"alkjihgfedcbm", 2}}) {
    dictionary.AddEntry(word, count);
  }
  std::string saved, report;
  OutputFile save_out(&saved), report_out(&report);
  SaveDictionary(dictionary, save_out);
  PrintReport(dictionary, report_out);
  save_out.Flush();
  report_out.Flush();
  EXPECT_EQ(saved,
            "Form 0\nabcdefghijklm 1\nalkjihgfedcbm 2\na-\xe9z 6\na\xe9-z 5\nbared -1\nbeard 2\n"
            "bread 7\nbrood 3\nform 4\nlows -2147483648\ntest 1\n");
  EXPECT_EQ(report,
            "Collision: abcdefghijklm(1) with alkjihgfedcbm(2)\n"
            "Collision: a-\xe9z(6) with a\xe9-z(5)\n"
            "Collision: bared(-1) with beard(2)\n"
            "Collision: beard(2) with bread(7)\n"
            "Words loaded(excluding 3 letter words and shorter)=12\nCollisions=4\n");
}

}  // namespace
}  // namespace dorvenix::testing
