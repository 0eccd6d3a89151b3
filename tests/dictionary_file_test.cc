#include "dictionary/dictionary_file.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "entries.h"

namespace dorvenix::testing {
namespace {

LoadResult Load(Dictionary& dictionary, const std::string& text) {
  InputFile in = InputFile::FromMemory(text);
  return LoadDictionary(dictionary, in);
}

std::string Save(const Dictionary& dictionary) {
  std::string text;
  OutputFile out(&text);
  SaveDictionary(dictionary, out);
  out.Flush();
  return text;
}

TEST(DictionaryFile, LoadsWhatTheFileSays) {
  struct Case {
    const char* name;
    std::string text;
    Entries expected;
    std::uint64_t bad_line;  // 0: the whole file loads
  };
  const Case cases[] = {
      {"empty file", "", {}, 0},
      {"two entries", "beard 2\nbread 7\n", {{"beard", 2}, {"bread", 7}}, 0},
      {"short words skipped", "the 12\ntest 1\n", {{"test", 1}}, 0},
      {"no final newline", "beard 2\ntest 1", {{"beard", 2}, {"test", 1}}, 0},
      {"spaces before the count", "test   5\n", {{"test", 5}}, 0},
      {"rest of line ignored", "test 5 extra words\nword 3x\n", {{"test", 5}, {"word", 3}}, 0},
      {"capitals kept", "Hello 3\n", {{"Hello", 3}}, 0},
      {"negative and zero", "test -2\nword 0\n", {{"test", -2}, {"word", 0}}, 0},
      {"plus sign and leading zeros", "test +007\n", {{"test", 7}}, 0},
      {"limits",
       "high 2147483647\nlows -2147483648\n",
       {{"high", 2147483647}, {"lows", -2147483647 - 1}},
       0},
      {"same word twice adds", "test 2\ntest 3\n", {{"test", 5}}, 0},
      {"CRLF lines", "beard 2\r\nbread 7\r\n", {{"beard", 2}, {"bread", 7}}, 0},
      {"empty lines skipped", "\ntest 1\n\r\n\nword 2\n", {{"test", 1}, {"word", 2}}, 0},
      {"high bytes and NUL kept",
       std::string("caf\xe9 4\nn\0ll 2\n", 14),
       {{"caf\xe9", 4}, {std::string("n\0ll", 4), 2}},
       0},
      {"CR inside the word kept", "test\r 1\n", {{"test\r", 1}}, 0},
      // Malformed lines stop loading there; what came before stays.
      {"line without space", "test 1\nhello\nworld 5\n", {{"test", 1}}, 2},
      {"last line without space", "test 1\nword", {{"test", 1}}, 2},
      {"missing count", "test 1\nword \nmore 2\n", {{"test", 1}}, 2},
      {"count not a number", "test 1\nword five\n", {{"test", 1}}, 2},
      {"sign alone", "word -\n", {}, 1},
      {"count too large", "test 1\nword 2147483648\n", {{"test", 1}}, 2},
      {"count too small", "word -2147483649\n", {}, 1},
      {"space before the word", "test 1\n test 5\n", {{"test", 1}}, 2},
      {"count on the next line is not taken", "word \n5\n", {}, 1},
  };
  for (const Case& c : cases) {
    Dictionary dictionary;
    const LoadResult result = Load(dictionary, c.text);
    EXPECT_EQ(InOrder(dictionary), c.expected) << c.name;
    EXPECT_EQ(result.bad_line, c.bad_line) << c.name;
    EXPECT_EQ(result.bad_line != 0, !result.reason.empty()) << c.name;
    EXPECT_EQ(result.read_error, 0) << c.name;
  }
}

TEST(DictionaryFile, SaveWritesDictionaryOrder) {
  Dictionary dictionary;
  dictionary.AddCount("test", 1);
  dictionary.AddCount("bread", 7);
  dictionary.AddCount("beard", 2);
  dictionary.AddCount("lows", -2147483647 - 1);
  EXPECT_EQ(Save(dictionary), "beard 2\nbread 7\nlows -2147483648\ntest 1\n");
  EXPECT_EQ(Save(Dictionary()), "");
}

TEST(DictionaryFile, RoundTripGivesBackTheSameEntries) {
  const std::string text = "beard 2\nbread 7\nform 0\nfrom 9\nHello 3\nlows -4\ntest 1\n";
  Dictionary first;
  ASSERT_TRUE(Load(first, text).ok());
  const std::string saved = Save(first);
  Dictionary second;
  ASSERT_TRUE(Load(second, saved).ok());
  EXPECT_EQ(InOrder(second), InOrder(first));
  EXPECT_EQ(Save(second), saved);
  // Loading the same file again doubles every count.
  ASSERT_TRUE(Load(second, saved).ok());
  for (const auto& [word, count] : InOrder(first)) EXPECT_EQ(second.CountOf(word), 2 * count);
}

TEST(DictionaryFile, EveryTruncationLoadsAPrefixOfTheEntries) {
  const std::string text = "beard 2\nbread 17\nform 0\nfrom -9\ntest 1\n";
  for (std::size_t cut = 0; cut <= text.size(); ++cut) {
    const std::string part = text.substr(0, cut);
    Dictionary dictionary;
    const LoadResult result = Load(dictionary, part);
    // Lines cut inside the word (no space yet) are malformed; a line cut
    // inside its count loads with the digits it kept.
    Dictionary expected;
    std::size_t start = 0;
    bool malformed = false;
    while (start < part.size()) {
      std::size_t end = part.find('\n', start);
      if (end == std::string::npos) end = part.size();
      const std::string line = part.substr(start, end - start);
      const std::size_t space = line.find(' ');
      if (space == std::string::npos || space + 1 == line.size() ||
          (line[space + 1] == '-' && space + 2 == line.size())) {
        malformed = true;
        break;
      }
      expected.AddCount(line.substr(0, space), std::stoi(line.substr(space + 1)));
      start = end + 1;
    }
    EXPECT_EQ(InOrder(dictionary), InOrder(expected)) << "cut at " << cut;
    EXPECT_EQ(result.bad_line != 0, malformed) << "cut at " << cut;
  }
}

TEST(DictionaryFile, LinesLongerThanABlockLoad) {
  const std::string word(3 << 20, 'w');
  Dictionary dictionary;
  ASSERT_TRUE(Load(dictionary, "test 1\n" + word + " 4\nlast 2").ok());
  EXPECT_EQ(dictionary.CountOf(word), 4);
  EXPECT_EQ(dictionary.CountOf("last"), 2);
}

}  // namespace
}  // namespace dorvenix::testing
