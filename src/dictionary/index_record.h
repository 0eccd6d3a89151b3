// The record format of the best-word index: one record for each key that has
// a word with a positive count. Every word of a key has the key's length n.
//
//   other_count  4 bytes   the number of other words, native byte order
//   head         how the key is filed:
//                  a LetterKey: its product (8 bytes, native order), then
//                  its first and its last byte (kLetterHeadSize bytes);
//                  any other key: the key itself (n bytes)
//   best         n bytes   the word with the highest positive count
//   others       n bytes each, other_count of them: every other word of the key
//
// Encode() writes a record and IndexRecord reads one; nothing else knows the
// layout.
#ifndef DORVENIX_DICTIONARY_INDEX_RECORD_H_
#define DORVENIX_DICTIONARY_INDEX_RECORD_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>

#include "base/bytes.h"
#include "dictionary/word_key.h"

namespace dorvenix {

class IndexRecord {
 public:
  static constexpr std::size_t kCountSize = 4;
  static constexpr std::size_t kLetterHeadSize = 10;

  // The head of a record filed by a LetterKey.
  static std::string LetterHead(const LetterKey& key) {
    std::string head(kLetterHeadSize, '\0');
    std::memcpy(head.data(), &key.product, sizeof key.product);
    head[8] = key.first;
    head[9] = key.last;
    return head;
  }

  // Replaces *out with the record of a key filed under `head`.
  // REQUIRES: best and every one of `others` have the same length.
  static void Encode(std::string_view head, std::string_view best,
                     std::span<const std::string_view> others, std::string* out) {
    const auto count = static_cast<std::uint32_t>(others.size());
    out->assign(reinterpret_cast<const char*>(&count), sizeof count);
    out->append(head);
    out->append(best);
    for (const std::string_view other : others) out->append(other);
  }

  // Whether `record` is filed under the LetterKey `key`.
  static bool HasLetterHead(std::string_view record, const LetterKey& key) {
    const char* head = record.data() + kCountSize;
    return LoadUnaligned<std::uint64_t>(head) == key.product && head[8] == key.first &&
           head[9] == key.last;
  }

  // Whether `record` is filed under the key `key` (not a LetterKey).
  static bool HasKeyHead(std::string_view record, std::string_view key) {
    const std::size_t n = key.size();
    return record.size() == kCountSize + n * (2 + OtherCount(record)) &&
           std::memcmp(record.data() + kCountSize, key.data(), n) == 0;
  }

  // A view of `record`, whose head has `head_size` bytes and whose words
  // have `n`; valid while the record's storage is.
  IndexRecord(std::string_view record, std::size_t head_size, std::size_t n)
      : words_(record.data() + kCountSize + head_size), n_(n), others_(OtherCount(record)) {}

  std::string_view best() const { return {words_, n_}; }

  // The answer the record gives for `word`, a word of its key: `word` itself
  // when it is one of the other words (an exact match wins whatever the
  // counts), else the best word.
  std::string_view AnswerFor(std::string_view word) const {
    for (std::size_t i = 1; i <= others_; ++i) {
      if (BytesEqual(words_ + i * n_, word.data(), n_)) return word;
    }
    return best();
  }

 private:
  static std::uint32_t OtherCount(std::string_view record) {
    return LoadUnaligned<std::uint32_t>(record.data());
  }

  const char* words_;     // the best word, then the others
  std::size_t n_;         // bytes per word
  std::uint32_t others_;  // number of other words
};

}  // namespace dorvenix

#endif  // DORVENIX_DICTIONARY_INDEX_RECORD_H_
