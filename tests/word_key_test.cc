#include "dictionary/word_key.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>

#include "test_support.h"

namespace dorvenix::testing {
namespace {

// A word of `length` bytes drawn from `alphabet`.
std::string RandomWord(std::mt19937& rng, std::size_t length, std::string_view alphabet) {
  std::string word(length, 'a');
  for (char& c : word) c = alphabet[rng() % alphabet.size()];
  return word;
}

const std::string kAllBytes = [] {
  std::string bytes(256, '\0');
  for (int b = 0; b < 256; ++b) bytes[static_cast<std::size_t>(b)] = static_cast<char>(b);
  return bytes;
}();

TEST(WordKey, EveryLengthSortsLikeStdSort) {
  // Each length takes its own sorting path (network, insertion, counting).
  std::mt19937 rng(1);
  for (std::size_t length = 0; length <= 40; ++length) {
    for (const std::string_view alphabet : {std::string_view("abc"), std::string_view(kAllBytes)}) {
      for (int round = 0; round < 100; ++round) {
        const std::string word = RandomWord(rng, length, alphabet);
        std::string key(length, '\0');
        MakeWordKey(word, key.data());
        ASSERT_EQ(key, KeyOf(word)) << "length " << length;
      }
    }
  }
}

TEST(WordKey, InnerLetterProductIsOnePrimePerInnerLetter) {
  const std::uint64_t primes[26] = {2,  3,  5,  7,  11, 13, 17, 19, 23, 29, 31, 37, 41,
                                    43, 47, 53, 59, 61, 67, 71, 73, 79, 83, 89, 97, 101};
  std::mt19937 rng(2);
  for (std::size_t length = 4; length <= kMaxLetterProductLength; ++length) {
    for (int round = 0; round < 100; ++round) {
      const std::string word = RandomWord(rng, length, "abcdefghijklmnopqrstuvwxyz");
      std::uint64_t product = 1;
      for (std::size_t i = 1; i + 1 < length; ++i) product *= primes[word[i] - 'a'];
      ASSERT_EQ(InnerLetterProduct(word), product) << word;
    }
  }
  for (const char* word : {"abc", "abcdefghijkl", "abCd", "ab-d", "a\xe9z"}) {
    EXPECT_EQ(InnerLetterProduct(word), 0u) << word;
  }
  EXPECT_EQ(InnerLetterProduct("Xab9"), 6u);  // the ends may be any bytes
}

TEST(WordKey, SameKeyAgreesWithComparingKeys) {
  // Pairs of equal length over small alphabets collide often: lengths past
  // the letter product's reach, capitals and high bytes inside.
  std::mt19937 rng(3);
  for (const std::string_view alphabet : {"ab", "abde", "aB\xe9", "z\x80\x7f"}) {
    for (int round = 0; round < 4000; ++round) {
      const std::size_t length = rng() % 15;
      const std::string a = RandomWord(rng, length, alphabet);
      const std::string b = RandomWord(rng, length + (round % 7 == 0), alphabet);
      std::string scratch;
      ASSERT_EQ(SameKey(a, b, &scratch), KeyOf(a) == KeyOf(b)) << a << " " << b;
    }
  }
  std::string scratch;
  EXPECT_FALSE(SameKey("bread", "brood", &scratch));
  EXPECT_TRUE(SameKey("abcdefghijkl", "ajihgfedcbkl", &scratch));
}

}  // namespace
}  // namespace dorvenix::testing
