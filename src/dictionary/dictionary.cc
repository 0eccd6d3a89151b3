#include "dictionary/dictionary.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <numeric>

namespace dorvenix {
namespace {

// The first eight bytes of a key, big-endian and padded with zeros, so that
// comparing the numbers compares the bytes as unsigned values.
std::uint64_t KeyPrefix(const char* key, std::size_t length) {
  std::uint64_t prefix = 0;
  for (std::size_t i = 0; i < 8; ++i) {
    prefix = (prefix << 8) | (i < length ? static_cast<unsigned char>(key[i]) : 0u);
  }
  return prefix;
}

constexpr std::size_t kStackKey = 64;

// The look-up FindBestWord stands in for walks the entries between the probes
// (key, "") and (key, "\xFF"); a word starting with 0xFF sorts after the
// second probe and so is never found. Text never yields such words.
bool SortsAfterItsRun(std::string_view word) { return static_cast<unsigned char>(word[0]) == 0xFF; }

// The hash under which the key index files an inner letter product.
std::uint64_t LetterProductHash(std::uint64_t product, char first, char last, std::size_t length) {
  const std::uint64_t ends = std::uint64_t{static_cast<unsigned char>(first)} |
                             std::uint64_t{static_cast<unsigned char>(last)} << 8 |
                             std::uint64_t{length} << 16;
  return internal::Mix(product ^ internal::kP1, ends ^ internal::kP2);
}

}  // namespace

std::optional<std::int32_t> Dictionary::CountOf(std::string_view word) const {
  const WordTable::Ref ref = words_.Find(word, HashBytes(word));
  if (ref == WordTable::kNoRef) return std::nullopt;
  return words_.Value(ref);
}

// FindBestLongWord for a word with an inner letter product, kept small so
// that the batched look-up inlines it. Performance-critical.
inline std::string_view Dictionary::FindByLetters(std::string_view word,
                                                  const KeyProbe& probe) const {
  if (SortsAfterItsRun(word)) return word;
  const std::size_t n = word.size();
  // Equal products mean the same inner letters, hence the same length.
  const WordTable::Ref record = best_by_letters_.FindIf(probe.hash, [&](WordTable::Ref ref) {
    const std::string_view held = best_by_letters_.Word(ref);
    return internal::Load<std::uint64_t>(held.data()) == probe.product && held[8] == word[0] &&
           held[9] == word[n - 1];
  });
  if (record == WordTable::kNoRef) return word;
  return Answer(best_by_letters_, record, kLetterRecordHead, word);
}

inline std::string_view Dictionary::Answer(const WordTable& table, WordTable::Ref record,
                                           std::size_t head, std::string_view word) {
  const std::size_t n = word.size();
  const char* const best = table.Word(record).data() + head;
  // An exact match wins whatever the counts: the word stays when it is one
  // of the other words filed under the key.
  const auto other_words = static_cast<std::size_t>(table.Value(record));
  for (std::size_t i = 1; i <= other_words; ++i) {
    if (std::memcmp(best + i * n, word.data(), n) == 0) return word;
  }
  return std::string_view(best, n);
}

// Batches of words are looked up in two passes, so that the memory of the
// later words of a batch is on its way while the earlier ones are handled.
constexpr std::size_t kBatch = 16;

template <class WordAt, class CountAt, class Keep>
void Dictionary::AddBatched(std::size_t n, WordAt word_at, CountAt count_at, Keep keep) {
  std::array<std::uint64_t, kBatch> hashes;
  for (std::size_t begin = 0; begin < n; begin += kBatch) {
    const std::size_t size = std::min(kBatch, n - begin);
    for (std::size_t i = 0; i < size; ++i) {
      hashes[i] = HashBytes(word_at(begin + i));
      words_.Prefetch(hashes[i]);
    }
    for (std::size_t i = 0; i < size; ++i) words_.PrefetchString(hashes[i]);
    for (std::size_t i = 0; i < size; ++i) {
      if (!keep(begin + i)) continue;
      const std::int32_t count = count_at(begin + i);
      bool added;
      const WordTable::Ref ref = words_.FindOrAdd(word_at(begin + i), hashes[i], count, &added);
      if (!added) words_.SetValue(ref, SaturatingAdd(words_.Value(ref), count));
    }
  }
  lookups_valid_ = false;
}

void Dictionary::AddWords(std::span<const std::string_view> words) {
  AddBatched(
      words.size(), [&](std::size_t i) { return words[i]; }, [](std::size_t) { return 1; },
      [&](std::size_t i) { return IsStoredLength(words[i].size()); });
}

void Dictionary::AddCounts(std::span<const WordCount> counts) {
  AddBatched(
      counts.size(), [&](std::size_t i) { return counts[i].word; },
      [&](std::size_t i) { return counts[i].count; }, [](std::size_t) { return true; });
}

void Dictionary::FindBestWords(std::span<const std::string_view> words,
                               std::span<std::string_view> answers) const {
  if (!lookups_valid_) PrepareLookups();
  std::array<KeyProbe, kBatch> probes;
  for (std::size_t begin = 0; begin < words.size(); begin += kBatch) {
    const std::size_t n = std::min(kBatch, words.size() - begin);
    for (std::size_t i = 0; i < n; ++i) {
      const std::string_view word = words[begin + i];
      if (!IsStoredLength(word.size())) continue;
      probes[i] = ProbeFor(word);
      if (probes[i].product != 0) best_by_letters_.Prefetch(probes[i].hash);
    }
    for (std::size_t i = 0; i < n; ++i) {
      if (IsStoredLength(words[begin + i].size()) && probes[i].product != 0) {
        best_by_letters_.PrefetchString(probes[i].hash);
      }
    }
    for (std::size_t i = 0; i < n; ++i) {
      const std::string_view word = words[begin + i];
      if (!IsStoredLength(word.size())) {
        answers[begin + i] = word;
      } else if (probes[i].product != 0) {
        answers[begin + i] = FindByLetters(word, probes[i]);
      } else {
        answers[begin + i] = FindBestLongWord(word, probes[i]);
      }
    }
  }
}

Dictionary::KeyProbe Dictionary::ProbeFor(std::string_view word) const {
  const std::uint64_t product = InnerLetterProduct(word);
  if (product == 0) return {0, 0};
  return {product, LetterProductHash(product, word.front(), word.back(), word.size())};
}

std::string_view Dictionary::FindBestLongWord(std::string_view word, const KeyProbe& probe) const {
  if (!lookups_valid_) PrepareLookups();
  // Performance-critical: one product and one look-up in a table that stays
  // hot; no key is sorted and no scrambled form is stored.
  if (probe.product != 0) return FindByLetters(word, probe);
  if (SortsAfterItsRun(word)) return word;
  const std::size_t n = word.size();
  char stack_key[kStackKey];
  char* key = stack_key;
  if (n > kStackKey) {
    key_scratch_.resize(n);
    key = key_scratch_.data();
  }
  MakeWordKeyInto(word, key);
  const WordTable::Ref record =
      best_by_key_.FindIf(HashBytes(std::string_view(key, n)), [&](WordTable::Ref ref) {
        const std::string_view held = best_by_key_.Word(ref);
        const auto words = 1 + static_cast<std::size_t>(best_by_key_.Value(ref));
        return held.size() == n * (1 + words) && std::memcmp(held.data(), key, n) == 0;
      });
  if (record == WordTable::kNoRef) return word;
  return Answer(best_by_key_, record, n, word);
}

void Dictionary::PrepareLookups() const {
  // First gather each key's best word and how many words share the key, then
  // the other words of the keys that have a best word, then store a record
  // for each of those keys.
  struct KeyGroup {
    WordTable::Ref key;    // the key, in groups_by_key
    WordTable::Ref best;   // the word with the highest positive count, or kNoRef
    std::uint32_t words;   // how many words have the key
    std::uint32_t others;  // where its other words start in `others`
  };
  WordTable groups_by_key;  // key -> index in groups
  std::vector<KeyGroup> groups;
  std::vector<std::uint32_t> group_of;  // group of each word, in ForEach order
  group_of.reserve(words_.size());
  std::string key;
  words_.ForEach([&](WordTable::Ref ref) {
    const std::string_view word = words_.Word(ref);
    const std::int32_t count = words_.Value(ref);
    key.resize(word.size());
    MakeWordKeyInto(word, key.data());
    bool added;
    const WordTable::Ref slot = groups_by_key.FindOrAdd(
        key, HashBytes(key), static_cast<std::int32_t>(groups.size()), &added);
    const auto g = static_cast<std::uint32_t>(groups_by_key.Value(slot));
    group_of.push_back(g);
    if (added) {
      groups.push_back(KeyGroup{slot, count > 0 ? ref : WordTable::kNoRef, 1, 0});
      return;
    }
    KeyGroup& group = groups[g];
    ++group.words;
    if (count <= 0) return;  // never chosen but by exact match
    if (group.best != WordTable::kNoRef) {
      const std::int32_t best_count = words_.Value(group.best);
      if (count < best_count || (count == best_count && word > words_.Word(group.best))) return;
    }
    group.best = ref;
  });

  std::uint32_t total_others = 0;
  for (KeyGroup& group : groups) {
    group.others = total_others;
    if (group.best != WordTable::kNoRef) total_others += group.words - 1;
  }
  std::vector<WordTable::Ref> others(total_others);
  std::vector<std::uint32_t> filled(groups.size(), 0);
  std::size_t i = 0;
  words_.ForEach([&](WordTable::Ref ref) {
    const std::uint32_t g = group_of[i++];
    if (groups[g].best == WordTable::kNoRef || groups[g].best == ref) return;
    others[groups[g].others + filled[g]++] = ref;
  });
  std::vector<std::uint32_t>().swap(group_of);

  // Most frequent first: the records of common words end up side by side in
  // a few cache lines.
  std::erase_if(groups, [](const KeyGroup& group) { return group.best == WordTable::kNoRef; });
  std::stable_sort(groups.begin(), groups.end(), [&](const KeyGroup& a, const KeyGroup& b) {
    return words_.Value(a.best) > words_.Value(b.best);
  });

  best_by_letters_.Clear();
  best_by_key_.Clear();
  std::string record;
  for (const KeyGroup& group : groups) {
    const std::string_view group_key = groups_by_key.Word(group.key);
    const std::uint64_t product = InnerLetterProduct(group_key);
    if (product != 0) {
      record.assign(reinterpret_cast<const char*>(&product), sizeof product);
      record.push_back(group_key.front());
      record.push_back(group_key.back());
    } else {
      record.assign(group_key);
    }
    record.append(words_.Word(group.best));
    for (std::uint32_t o = 0; o + 1 < group.words; ++o) {
      record.append(words_.Word(others[group.others + o]));
    }
    const auto other_count = static_cast<std::int32_t>(group.words - 1);
    bool added;
    if (product != 0) {
      best_by_letters_.FindOrAdd(
          record, LetterProductHash(product, group_key.front(), group_key.back(), group_key.size()),
          other_count, &added);
    } else {
      best_by_key_.FindOrAdd(record, HashBytes(group_key), other_count, &added);
    }
  }
  lookups_valid_ = true;
}

std::vector<Dictionary::SortItem> Dictionary::SortedRefs() const {
  // Sort by the first eight key bytes at once, then order each run of equal
  // prefixes (mostly words that share a key) by full key and word. Items are
  // 12 bytes: the prefix in two halves and the ref.
  std::vector<SortItem> items;
  items.reserve(words_.size());
  std::string key;
  words_.ForEach([&](WordTable::Ref ref) {
    const std::string_view word = words_.Word(ref);
    key.resize(word.size());
    MakeWordKeyInto(word, key.data());
    const std::uint64_t prefix = KeyPrefix(key.data(), key.size());
    items.push_back(SortItem{static_cast<std::uint32_t>(prefix >> 32),
                             static_cast<std::uint32_t>(prefix), ref});
  });
  auto same_prefix = [](const SortItem& a, const SortItem& b) {
    return a.prefix_high == b.prefix_high && a.prefix_low == b.prefix_low;
  };
  std::sort(items.begin(), items.end(), [](const SortItem& a, const SortItem& b) {
    return a.prefix_high != b.prefix_high ? a.prefix_high < b.prefix_high
                                          : a.prefix_low < b.prefix_low;
  });

  std::string keys;                     // keys of one run, back to back
  std::vector<std::size_t> key_starts;  // where each run member's key starts
  std::vector<std::uint32_t> order;
  std::vector<SortItem> sorted_run;
  for (std::size_t begin = 0; begin < items.size();) {
    std::size_t end = begin + 1;
    while (end < items.size() && same_prefix(items[end], items[begin])) ++end;
    const std::size_t n = end - begin;
    if (n > 1) {
      keys.clear();
      key_starts.clear();
      for (std::size_t i = begin; i < end; ++i) {
        const std::string_view word = words_.Word(items[i].ref);
        key_starts.push_back(keys.size());
        keys.resize(keys.size() + word.size());
        MakeWordKeyInto(word, keys.data() + key_starts.back());
      }
      order.resize(n);
      std::iota(order.begin(), order.end(), 0u);
      auto word_of = [&](std::uint32_t i) { return words_.Word(items[begin + i].ref); };
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
