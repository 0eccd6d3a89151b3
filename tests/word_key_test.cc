#include "dictionary/word_key.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>

namespace dorvenix {
namespace {

TEST(WordKey, SortsInnerBytesAndKeepsTheEnds) {
  struct Case {
    std::string word, key;
  };
  const Case cases[] = {
      {"", ""},
      {"a", "a"},
      {"cba", "cba"},  // 3 bytes or fewer: the word itself
      {"test", "test"},
      {"tset", "test"},
      {"from", "form"},
      {"form", "form"},
      {"bread", "baerd"},
      {"beard", "baerd"},
      {"baerd", "baerd"},
      // Inner bytes sort as signed values: 0x80-0xFF before 0x00-0x7F.
      {"x\x7f\x80\x01y", "x\x80\x01\x7fy"},
      {std::string("a\0\xff"
                   "b",
                   4),
       std::string("a\xff\0"
                   "b",
                   4)},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MakeWordKey(c.word), c.key) << "word: " << c.word;
  }
}

TEST(WordKey, EveryLengthSortsLikeStdSort) {
  // Each length takes its own sorting path; all must agree with std::sort
  // under the signed byte order, with repeated bytes and high bytes mixed in.
  std::uint32_t state = 12345;
  auto next = [&] { return state = state * 1103515245u + 12345u; };
  for (std::size_t length = 0; length <= 40; ++length) {
    for (int round = 0; round < 300; ++round) {
      std::string word(length, '\0');
      const unsigned alphabet = round % 3 == 0 ? 3 : round % 3 == 1 ? 26 : 256;
      for (char& c : word) {
        const unsigned r = (next() >> 16) % alphabet;
        c = static_cast<char>(alphabet == 256 ? r : 'a' + r);
      }
      std::string expected = word;
      if (length > 3) {
        std::sort(expected.begin() + 1, expected.end() - 1, [](char a, char b) {
          return static_cast<signed char>(a) < static_cast<signed char>(b);
        });
      }
      ASSERT_EQ(MakeWordKey(word), expected) << "length " << length << " round " << round;
    }
  }
}

}  // namespace
}  // namespace dorvenix
