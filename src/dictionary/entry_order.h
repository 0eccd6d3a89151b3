// Dictionary order: entries by key, then by word, both compared as unsigned
// byte strings. Words that share a key end up side by side, in byte order.
#ifndef DORVENIX_DICTIONARY_ENTRY_ORDER_H_
#define DORVENIX_DICTIONARY_ENTRY_ORDER_H_

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "dictionary/word_key.h"
#include "dictionary/word_table.h"

namespace dorvenix {

// True when the entry (a_key, a_word) orders before (b_key, b_word).
inline bool EntryLess(std::string_view a_key, std::string_view a_word, std::string_view b_key,
                      std::string_view b_word) {
  if (const int c = a_key.compare(b_key); c != 0) return c < 0;
  return a_word < b_word;
}

// One entry in a sorted sequence: the first eight bytes of its key, in two
// halves (12-byte items sort faster than 16-byte ones), and its word.
struct SortedEntry {
  std::uint32_t prefix_high;
  std::uint32_t prefix_low;
  WordTable::Ref ref;

  bool SamePrefix(const SortedEntry& other) const {
    return prefix_high == other.prefix_high && prefix_low == other.prefix_low;
  }
  std::uint64_t Prefix() const { return std::uint64_t{prefix_high} << 32 | prefix_low; }
};

// Every string of `words` (taken as words), in dictionary order.
// O(n log n); keys are derived on the way and not kept.
std::vector<SortedEntry> SortInDictionaryOrder(const WordTable& words);

// Merges runs that are each in dictionary order: calls emit(r, i) for the
// i-th entry of run r, for every entry of every run, in dictionary order.
// word_of(r, i) is the word of that entry, to order entries whose first
// eight key bytes tie. A tournament tree of losers keeps each step to
// log2(kRuns) comparisons of 64-bit prefixes. Performance-critical: saving
// and the report merge every entry.
template <std::size_t kRuns, class WordOf, class Emit>
void MergeSortedRuns(const std::array<std::vector<SortedEntry>, kRuns>& runs, WordOf&& word_of,
                     Emit&& emit) {
  static_assert(kRuns >= 2 && (kRuns & (kRuns - 1)) == 0, "a power of two");
  constexpr std::uint64_t kDone = ~std::uint64_t{0};
  std::array<std::size_t, kRuns> at{};      // the next entry of each run
  std::array<std::uint64_t, kRuns> head{};  // its key prefix, kDone when the run is done
  auto load = [&](std::size_t r) {
    head[r] = at[r] < runs[r].size() ? runs[r][at[r]].Prefix() : kDone;
  };
  std::string key_a, key_b;
  // Whether the next entry of run a orders before that of run b.
  auto before = [&](std::size_t a, std::size_t b) {
    if (head[a] != head[b]) return head[a] < head[b];
    // Equal heads: both runs done, one done and the other at a prefix of
    // all 0xFF bytes, or a tie to settle by full keys.
    const bool a_done = at[a] >= runs[a].size(), b_done = at[b] >= runs[b].size();
    if (a_done || b_done) return a_done == b_done ? a < b : b_done;
    const std::string_view word_a = word_of(a, at[a]), word_b = word_of(b, at[b]);
    key_a.resize(word_a.size());
    key_b.resize(word_b.size());
    MakeWordKey(word_a, key_a.data());
    MakeWordKey(word_b, key_b.data());
    return EntryLess(key_a, word_a, key_b, word_b);
  };
  // loser[n] for the inner nodes 1 .. kRuns - 1: the run that lost there;
  // the leaves kRuns .. 2 kRuns - 1 stand for the runs.
  std::array<std::size_t, kRuns> loser{};
  std::size_t total = 0;
  for (std::size_t r = 0; r < kRuns; ++r) {
    load(r);
    total += runs[r].size();
  }
  // Build: play each inner node from the winners below it.
  std::array<std::size_t, 2 * kRuns> winner{};
  for (std::size_t r = 0; r < kRuns; ++r) winner[kRuns + r] = r;
  for (std::size_t n = kRuns - 1; n >= 1; --n) {
    const std::size_t a = winner[2 * n], b = winner[2 * n + 1];
    const bool a_wins = before(a, b);
    winner[n] = a_wins ? a : b;
    loser[n] = a_wins ? b : a;
  }
  std::size_t champion = winner[1];
  for (std::size_t emitted = 0; emitted < total; ++emitted) {
    emit(champion, at[champion]);
    ++at[champion];
    load(champion);
    // Replay the champion's path to the root against the losers on it.
    std::size_t current = champion;
    for (std::size_t n = (kRuns + champion) / 2; n >= 1; n /= 2) {
      if (before(loser[n], current)) std::swap(loser[n], current);
    }
    champion = current;
  }
}

}  // namespace dorvenix

#endif  // DORVENIX_DICTIONARY_ENTRY_ORDER_H_
