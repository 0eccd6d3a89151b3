#include "dictionary/entry_order.h"

#include <algorithm>
#include <bit>
#include <numeric>
#include <vector>

#include "base/bytes.h"
#include "dictionary/word_key.h"

namespace dorvenix {
namespace {

// A function object, so that std::sort inlines it.
struct PrefixLess {
  bool operator()(const SortedEntry& a, const SortedEntry& b) const {
    return a.prefix_high != b.prefix_high ? a.prefix_high < b.prefix_high
                                          : a.prefix_low < b.prefix_low;
  }
};

// Orders a run of entries that share their key prefix by full key and word.
class RunSorter {
 public:
  explicit RunSorter(const std::function<std::string_view(std::uint32_t)>& word_of)
      : word_of_(word_of) {}

  void Sort(std::span<SortedEntry> run) {
    keys_.clear();
    key_starts_.clear();
    for (const SortedEntry& entry : run) {
      const std::string_view word = word_of_(entry.id);
      key_starts_.push_back(keys_.size());
      keys_.resize(keys_.size() + word.size());
      MakeWordKey(word, keys_.data() + key_starts_.back());
    }
    key_starts_.push_back(keys_.size());
    order_.resize(run.size());
    std::iota(order_.begin(), order_.end(), 0u);
    auto key_at = [&](std::uint32_t i) {
      return std::string_view(keys_.data() + key_starts_[i], key_starts_[i + 1] - key_starts_[i]);
    };
    // Words are looked up only when their keys tie.
    std::sort(order_.begin(), order_.end(), [&](std::uint32_t a, std::uint32_t b) {
      if (const int c = key_at(a).compare(key_at(b)); c != 0) return c < 0;
      return word_of_(run[a].id) < word_of_(run[b].id);
    });
    sorted_.resize(run.size());
    for (std::size_t i = 0; i < run.size(); ++i) sorted_[i] = run[order_[i]];
    std::copy(sorted_.begin(), sorted_.end(), run.begin());
  }

 private:
  const std::function<std::string_view(std::uint32_t)>& word_of_;
  std::string keys_;                     // keys of one run, back to back
  std::vector<std::size_t> key_starts_;  // where each key starts, and where the last ends
  std::vector<std::uint32_t> order_;     // the run's members, sorted
  std::vector<SortedEntry> sorted_;      // the run in its new order
};

}  // namespace

std::uint64_t KeyPrefix(std::string_view word, std::string* scratch) {
  scratch->resize(word.size());
  MakeWordKey(word, scratch->data());
  if (word.size() >= 8) {
    return LoadBigEndian64(scratch->data());
  }
  std::uint64_t prefix = 0;
  for (std::size_t i = 0; i < 8; ++i) {
    prefix = (prefix << 8) | (i < word.size() ? static_cast<unsigned char>((*scratch)[i]) : 0u);
  }
  return prefix;
}

std::uint32_t KeyPrefix16(std::string_view word) {
  if (word.empty()) return 0;
  const auto first = static_cast<unsigned char>(word[0]);
  if (word.size() == 1) return std::uint32_t{first} << 8;
  if (!IsStoredLength(word.size()))
    return std::uint32_t{first} << 8 | static_cast<unsigned char>(word[1]);
  // The key's second byte is the smallest inner byte, in signed order.
  signed char least = static_cast<signed char>(word[1]);
  for (std::size_t i = 2; i + 1 < word.size(); ++i) {
    least = std::min(least, static_cast<signed char>(word[i]));
  }
  return std::uint32_t{first} << 8 | static_cast<unsigned char>(least);
}

void SortEntries(std::span<SortedEntry> entries,
                 const std::function<std::string_view(std::uint32_t)>& word_of) {
  // Sort by the first eight key bytes at once, then order each run of equal
  // prefixes (mostly words that share a key) by full key and word.
  std::sort(entries.data(), entries.data() + entries.size(), PrefixLess());
  RunSorter run_sorter(word_of);
  for (std::size_t begin = 0; begin < entries.size();) {
    std::size_t end = begin + 1;
    while (end < entries.size() && entries[end].prefix() == entries[begin].prefix()) ++end;
    if (end - begin > 1) run_sorter.Sort(entries.subspan(begin, end - begin));
    begin = end;
  }
}

}  // namespace dorvenix
