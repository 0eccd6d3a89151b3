// The word key: the form a word keeps however its inner letters are shuffled.
//
// For a word of more than 3 bytes the key keeps the first and the last byte in
// place and puts the bytes between them in ascending order, comparing bytes as
// signed 8-bit values (so 0x80-0xFF sort before 0x00-0x7F; for a-z this is
// plain alphabetical order). A shorter word is its own key. 'tset', 'test'
// and 'tets' all have the key 'test'; 'form' and 'from' share 'form'.
#ifndef DORVENIX_DICTIONARY_WORD_KEY_H_
#define DORVENIX_DICTIONARY_WORD_KEY_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/hash.h"

namespace dorvenix {

// Words of this many bytes or fewer are never stored in a dictionary nor
// looked up in one.
inline constexpr std::size_t kMaxIgnoredWordLength = 3;

inline bool IsStoredLength(std::size_t length) { return length > kMaxIgnoredWordLength; }

// Writes the key of `word` to `out`.
// REQUIRES: `out` has room for word.size() bytes and does not overlap `word`.
void MakeWordKey(std::string_view word, char* out);

// The key of a word (MakeWordKey), on the stack up to 64 bytes, so that the
// key of an ordinary word costs no allocation.
class WordKeyBuffer {
 public:
  explicit WordKeyBuffer(std::string_view word) {
    char* key = stack_;
    if (word.size() > sizeof stack_) {
      heap_.resize(word.size());
      key = heap_.data();
    }
    MakeWordKey(word, key);
    key_ = std::string_view(key, word.size());
  }
  WordKeyBuffer(const WordKeyBuffer&) = delete;
  WordKeyBuffer& operator=(const WordKeyBuffer&) = delete;

  std::string_view view() const { return key_; }

 private:
  char stack_[64];
  std::string heap_;
  std::string_view key_;
};

namespace internal {
// A distinct prime for each letter a to z; 0 for every other byte.
inline constexpr std::array<std::uint64_t, 256> kLetterPrime = [] {
  constexpr std::uint64_t kPrimes[26] = {2,  3,  5,  7,  11, 13, 17, 19, 23, 29, 31, 37, 41,
                                         43, 47, 53, 59, 61, 67, 71, 73, 79, 83, 89, 97, 101};
  std::array<std::uint64_t, 256> table{};
  for (int c = 0; c < 26; ++c) table[static_cast<std::size_t>('a' + c)] = kPrimes[c];
  return table;
}();
}  // namespace internal

// Words of 4 to this many bytes may have an inner letter product.
inline constexpr std::size_t kMaxLetterProductLength = 11;

// Another exact form of a key, for fast look-ups of ordinary words: the
// product of one prime per inner letter. Two words of the same length and
// ends have the same key exactly when their products are equal (a product
// of primes has only one factorisation), and up to 9 inner letters the
// product fits 64 bits. Returns 0 when `word` does not qualify: a length
// outside 4..kMaxLetterProductLength or an inner byte outside a to z.
inline std::uint64_t InnerLetterProduct(std::string_view word) {
  if (word.size() < 4 || word.size() > kMaxLetterProductLength) return 0;
  // A fixed number of steps, the missing letters multiplying by 1: the
  // length of a word is no branch to mispredict. Two chains of
  // multiplications run side by side.
  const std::size_t last = word.size() - 2;  // index of the last inner byte
  std::uint64_t even = 1, odd = 1;
  for (std::size_t i = 1; i < kMaxLetterProductLength - 1; i += 2) {
    const std::uint64_t a =
        internal::kLetterPrime[static_cast<unsigned char>(word[i <= last ? i : last])];
    const std::uint64_t b =
        internal::kLetterPrime[static_cast<unsigned char>(word[i + 1 <= last ? i + 1 : last])];
    even *= i <= last ? a : 1;
    odd *= i + 1 <= last ? b : 1;
  }
  return even * odd;
}

// The key of a word of 4 to kMaxLetterProductLength bytes whose inner bytes
// are letters a to z, packed: its inner letter product and its ends. Two such
// words have the same key exactly when their LetterKeys are equal. The key
// index files the keys of ordinary words this way, and the report compares
// neighbouring words this way, so neither sorts their letters.
struct LetterKey {
  std::uint64_t product;  // 0 when the word does not qualify
  char first;
  char last;

  bool valid() const { return product != 0; }
  friend bool operator==(const LetterKey&, const LetterKey&) = default;
};

inline LetterKey MakeLetterKey(std::string_view word) {
  const std::uint64_t product = InnerLetterProduct(word);
  if (product == 0) return {0, 0, 0};
  return {product, word.front(), word.back()};
}

// A 64-bit hash of the key of `word`, which has more than 3 bytes and whose
// LetterKey is `letters`: words of the same key have the same hash. A word
// with a LetterKey is hashed from it, with no sorting.
inline std::uint64_t KeyHash(std::string_view word, const LetterKey& letters);

// Bit 3 of a KeyHash is set for a key that has no LetterKey and clear for
// one that has, so that a key of one kind never takes the other's hash (nor
// a tag made from its low bits), whose records are laid out otherwise.
inline constexpr std::uint64_t kSortedKeyBit = 8;

// KeyHash of a word that has no LetterKey, from its key `key` (MakeWordKey).
inline std::uint64_t SortedKeyHash(std::string_view key) { return HashBytes(key) | kSortedKeyBit; }

inline std::uint64_t KeyHash(std::string_view word, const LetterKey& letters) {
  if (!letters.valid()) return SortedKeyHash(WordKeyBuffer(word).view());
  const std::uint64_t ends = std::uint64_t{static_cast<unsigned char>(letters.first)} |
                             std::uint64_t{static_cast<unsigned char>(letters.last)} << 8 |
                             std::uint64_t{word.size()} << 16;
  return HashPair(letters.product, ends) & ~kSortedKeyBit;
}

// Whether `a` and `b` have the same key. `scratch` holds the sorted keys
// when the words have no LetterKey.
bool SameKey(std::string_view a, std::string_view b, std::string* scratch);

}  // namespace dorvenix

#endif  // DORVENIX_DICTIONARY_WORD_KEY_H_
