#include "text/text_scanner.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace dorvenix {
namespace {

std::string Decipher(const Dictionary& dictionary, const std::string& text) {
  InputFile in = InputFile::FromMemory(text);
  std::string result;
  OutputFile out(&result);
  EXPECT_TRUE(DecipherText(dictionary, in, out));
  out.Flush();
  return result;
}

std::vector<std::string> Words(const std::string& text, std::size_t block_size) {
  std::vector<std::string> words;
  WordScanner scanner;
  auto on_word = [&](std::string_view w) { words.emplace_back(w); };
  std::string copy = text;
  for (std::size_t at = 0; at < copy.size(); at += block_size) {
    const std::size_t n = std::min(block_size, copy.size() - at);
    scanner.Feed(std::span<char>(copy.data() + at, n), on_word, [](std::string_view) {});
  }
  scanner.Finish(on_word);
  return words;
}

TEST(TextScanner, CutsWordsAtEveryNonLetterWhateverTheBlocks) {
  const std::string text("Don't STOP-me now, caf\xe9s 123abc\0z\nend", 37);
  const std::vector<std::string> expected = {"don", "t", "stop", "me", "now",
                                             "caf", "s", "abc",  "z",  "end"};
  for (std::size_t block : {1u, 2u, 3u, 7u, 1000u}) {
    EXPECT_EQ(Words(text, block), expected) << "block size " << block;
  }
}

TEST(TextScanner, LearnCountsLowercasedWordsLongerThanThree) {
  Dictionary dictionary;
  InputFile in = InputFile::FromMemory("Text TEXT text, the cat; hello");
  ASSERT_TRUE(LearnFromText(dictionary, in));
  EXPECT_EQ(dictionary.size(), 2u);
  EXPECT_EQ(dictionary.CountOf("text"), 3);
  EXPECT_EQ(dictionary.CountOf("hello"), 1);  // the last word, without a separator after it
}

TEST(TextScanner, DecipherRestoresWordsAndCopiesSeparators) {
  Dictionary dictionary;
  dictionary.AddCount("this", 1);
  dictionary.AddCount("test", 1);
  dictionary.AddCount("defg", 1);
  struct Case {
    std::string text, expected;
  };
  const Case cases[] = {
      {"Tihs is a tset.\n", "this is a test.\n"},
      {"Tihs is a tset", "this is a test"},
      {"", ""},
      {"abc123dfeg", "abc123defg"},
      {"caf\xe9 T\xc9st\r\n", "caf\xe9 t\xc9st\r\n"},
      {"UNKNOWN Wrods", "unknown wrods"},
      {std::string("tset\0tset", 9), std::string("test\0test", 9)},
  };
  for (const Case& c : cases) EXPECT_EQ(Decipher(dictionary, c.text), c.expected) << c.text;
}

TEST(TextScanner, BlockBoundariesChangeNothing) {
  // Words, short words and separators cut at every place by small blocks.
  const std::string text = "Tihs is a tset, an ab-cd tset! Wrods of tset\nlnog lnog wrod";
  Dictionary dictionary;
  for (const char* word : {"this", "test", "words", "long", "word"}) dictionary.AddCount(word, 2);
  InputFile whole = InputFile::FromMemory(text);
  std::string expected;
  OutputFile expected_out(&expected);
  ASSERT_TRUE(DecipherText(dictionary, whole, expected_out));
  expected_out.Flush();
  ASSERT_EQ(expected, "this is a test, an ab-cd test! words of test\nlong long word");
  for (std::size_t block = 1; block <= 9; ++block) {
    InputFile in = InputFile::FromMemory(text, block);
    std::string result;
    OutputFile out(&result);
    ASSERT_TRUE(DecipherText(dictionary, in, out));
    out.Flush();
    EXPECT_EQ(result, expected) << "block size " << block;
    Dictionary learnt;
    InputFile again = InputFile::FromMemory(text, block);
    ASSERT_TRUE(LearnFromText(learnt, again));
    EXPECT_EQ(learnt.CountOf("tset"), 3) << "block size " << block;
    EXPECT_EQ(learnt.size(), 5u) << "block size " << block;
  }
}

}  // namespace
}  // namespace dorvenix
