#include "dictionary/dictionary.h"

#include <algorithm>
#include <limits>
#include <numeric>

namespace dorvenix {
namespace {

std::int32_t SaturatingAdd(std::int32_t a, std::int32_t b) {
  std::int32_t sum;
  if (__builtin_add_overflow(a, b, &sum)) {
    return b > 0 ? std::numeric_limits<std::int32_t>::max()
                 : std::numeric_limits<std::int32_t>::min();
  }
  return sum;
}

// The first four bytes of a key, big-endian, so that comparing the numbers
// compares the bytes as unsigned values.
std::uint32_t KeyPrefix(const char* key, std::size_t length) {
  std::uint32_t prefix = 0;
  for (std::size_t i = 0; i < 4; ++i) {
    prefix = (prefix << 8) | (i < length ? static_cast<unsigned char>(key[i]) : 0u);
  }
  return prefix;
}

constexpr std::size_t kStackKey = 64;

}  // namespace

void Dictionary::AddCount(std::string_view word, std::int32_t count) {
  bool added;
  const WordTable::Ref ref = words_.FindOrAdd(word, HashBytes(word), count, &added);
  if (!added) words_.SetValue(ref, SaturatingAdd(words_.Value(ref), count));
  key_index_valid_ = false;
}

std::optional<std::int32_t> Dictionary::CountOf(std::string_view word) const {
  const WordTable::Ref ref = words_.Find(word, HashBytes(word));
  if (ref == WordTable::kNoRef) return std::nullopt;
  return words_.Value(ref);
}

std::string_view Dictionary::FindBestWord(std::string_view word) const {
  if (!IsStoredLength(word.size())) return word;
  // The look-up this stands in for walks the entries between the probes
  // (key, "") and (key, "\xFF"); a word starting with 0xFF sorts after the
  // second probe and so is never found. Text never yields such words.
  if (static_cast<unsigned char>(word[0]) == 0xFF) return word;
  // An exact match wins whatever the counts.
  if (words_.Find(word, HashBytes(word)) != WordTable::kNoRef) return word;

  if (!key_index_valid_) BuildKeyIndex();
  char stack_key[kStackKey];
  char* key = stack_key;
  if (word.size() > kStackKey) {
    key_scratch_.resize(word.size());
    key = key_scratch_.data();
  }
  MakeWordKeyInto(word, key);
  const std::string_view key_view(key, word.size());
  const WordTable::Ref slot = best_by_key_.Find(key_view, HashBytes(key_view));
  if (slot == WordTable::kNoRef) return word;
  return words_.Word(static_cast<WordTable::Ref>(best_by_key_.Value(slot)));
}

void Dictionary::BuildKeyIndex() const {
  best_by_key_.Clear();
  std::string key;
  words_.ForEach([&](WordTable::Ref ref) {
    const std::int32_t count = words_.Value(ref);
    if (count <= 0) return;  // never chosen but by exact match
    const std::string_view word = words_.Word(ref);
    key.resize(word.size());
    MakeWordKeyInto(word, key.data());
    bool added;
    const WordTable::Ref slot =
        best_by_key_.FindOrAdd(key, HashBytes(key), static_cast<std::int32_t>(ref), &added);
    if (added) return;
    const auto best = static_cast<WordTable::Ref>(best_by_key_.Value(slot));
    const std::int32_t best_count = words_.Value(best);
    if (count > best_count || (count == best_count && word < words_.Word(best))) {
      best_by_key_.SetValue(slot, static_cast<std::int32_t>(ref));
    }
  });
  key_index_valid_ = true;
}

std::vector<std::uint64_t> Dictionary::SortedRefs() const {
  // Sort by the first four key bytes at once, then order each run of equal
  // prefixes by full key and word. Items are prefix:32 | ref:32.
  std::vector<std::uint64_t> items;
  items.reserve(words_.size());
  std::string key;
  words_.ForEach([&](WordTable::Ref ref) {
    const std::string_view word = words_.Word(ref);
    key.resize(word.size());
    MakeWordKeyInto(word, key.data());
    items.push_back(std::uint64_t{KeyPrefix(key.data(), key.size())} << 32 | ref);
  });
  std::sort(items.begin(), items.end());

  std::string keys;                     // keys of one run, back to back
  std::vector<std::size_t> key_starts;  // where each run member's key starts
  std::vector<std::uint32_t> order;
  std::vector<std::uint64_t> sorted_run;
  for (std::size_t begin = 0; begin < items.size();) {
    std::size_t end = begin + 1;
    while (end < items.size() && (items[end] >> 32) == (items[begin] >> 32)) ++end;
    const std::size_t n = end - begin;
    if (n > 1) {
      keys.clear();
      key_starts.clear();
      for (std::size_t i = begin; i < end; ++i) {
        const std::string_view word = words_.Word(static_cast<WordTable::Ref>(items[i]));
        key_starts.push_back(keys.size());
        keys.resize(keys.size() + word.size());
        MakeWordKeyInto(word, keys.data() + key_starts.back());
      }
      order.resize(n);
      std::iota(order.begin(), order.end(), 0u);
      auto word_of = [&](std::uint32_t i) {
        return words_.Word(static_cast<WordTable::Ref>(items[begin + i]));
      };
      auto key_of = [&](std::uint32_t i) {
        return std::string_view(keys.data() + key_starts[i], word_of(i).size());
      };
      std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        return EntryLess(key_of(a), word_of(a), key_of(b), word_of(b));
      });
      sorted_run.resize(n);
      for (std::size_t i = 0; i < n; ++i) sorted_run[i] = items[begin + order[i]];
      std::copy(sorted_run.begin(), sorted_run.end(),
                items.begin() + static_cast<std::ptrdiff_t>(begin));
    }
    begin = end;
  }
  return items;
}

std::vector<WordEntry> Dictionary::Entries() const {
  std::vector<WordEntry> entries;
  entries.reserve(size());
  ForEachInOrder(
      [&](std::string_view word, std::int32_t count) { entries.emplace_back(word, count); });
  return entries;
}

}  // namespace dorvenix
