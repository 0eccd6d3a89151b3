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

TEST(WordKey, InnerLetterProductIsTheProductOfOnePrimePerInnerLetter) {
  const std::uint64_t primes[26] = {2,  3,  5,  7,  11, 13, 17, 19, 23, 29, 31, 37, 41,
                                    43, 47, 53, 59, 61, 67, 71, 73, 79, 83, 89, 97, 101};
  std::uint32_t state = 99;
  for (std::size_t length = 4; length <= kMaxLetterProductLength; ++length) {
    for (int round = 0; round < 200; ++round) {
      std::string word(length, 'a');
      std::uint64_t expected = 1;
      for (std::size_t i = 0; i < length; ++i) {
        const unsigned letter = ((state = state * 1103515245u + 12345u) >> 16) % 26;
        word[i] = static_cast<char>('a' + letter);
        if (i > 0 && i + 1 < length) expected *= primes[letter];
      }
      ASSERT_EQ(InnerLetterProduct(word), expected) << word;
      ASSERT_EQ(InnerLetterProduct(MakeWordKey(word)), expected) << word;
    }
  }
  for (const char* word : {"abc", "abcdefghijkl", "abCd", "ab-d",
                           "a\xe9"
                           "cd"}) {
    EXPECT_EQ(InnerLetterProduct(word), 0u) << word;
  }
  EXPECT_EQ(InnerLetterProduct("Xab9"), 6u);  // the ends may be any bytes
}

}  // namespace
}  // namespace dorvenix
