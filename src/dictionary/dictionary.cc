#include "dictionary/dictionary.h"

#include <limits>

namespace dorvenix {

void Dictionary::AddToCount(WordTable::Ref ref, std::int32_t count) {
  std::int32_t sum;
  if (__builtin_add_overflow(words_.Value(ref), count, &sum)) {
    sum = count > 0 ? std::numeric_limits<std::int32_t>::max()
                    : std::numeric_limits<std::int32_t>::min();
  }
  words_.SetValue(ref, sum);
}

void Dictionary::AddEntry(std::string_view word, std::int32_t count) {
  ++version_;
  bool added;
  const WordTable::Ref ref = words_.FindOrAdd(word, HashBytes(word), count, &added);
  if (!added) AddToCount(ref, count);
}

void Dictionary::AddWords(std::span<const std::string_view> words) {
  ++version_;
  words_.VisitBatched(
      words.size(), [&](std::size_t i) { return HashBytes(words[i]); },
      [&](std::size_t i, std::uint64_t hash) {
        if (!IsStoredLength(words[i].size())) return;
        bool added;
        const WordTable::Ref ref = words_.FindOrAdd(words[i], hash, 1, &added);
        if (!added) AddToCount(ref, 1);
      });
}

void Dictionary::AddEntries(std::span<const Entry> entries) {
  ++version_;
  words_.VisitBatched(
      entries.size(), [&](std::size_t i) { return HashBytes(entries[i].word); },
      [&](std::size_t i, std::uint64_t hash) {
        bool added;
        const WordTable::Ref ref = words_.FindOrAdd(entries[i].word, hash, entries[i].count, &added);
        if (!added) AddToCount(ref, entries[i].count);
      });
}

std::optional<std::int32_t> Dictionary::CountOf(std::string_view word) const {
  const WordTable::Ref ref = words_.Find(word, HashBytes(word));
  if (ref == WordTable::kNoRef) return std::nullopt;
  return words_.Value(ref);
}

}  // namespace dorvenix
