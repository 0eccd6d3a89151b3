#include "dictionary/entry_order.h"

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <string>

#include "dictionary/word_key.h"

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

// Orders items[begin, end), which share their key prefix, by full key and
// word.
class RunSorter {
 public:
  explicit RunSorter(const WordTable& words) : words_(words) {}

  void Sort(std::vector<SortedEntry>& items, std::size_t begin, std::size_t end) {
    const std::size_t n = end - begin;
    keys_.clear();
    key_starts_.clear();
    for (std::size_t i = begin; i < end; ++i) {
      const std::string_view word = words_.Word(items[i].ref);
      key_starts_.push_back(keys_.size());
      keys_.resize(keys_.size() + word.size());
      MakeWordKey(word, keys_.data() + key_starts_.back());
    }
    order_.resize(n);
    std::iota(order_.begin(), order_.end(), 0u);
    auto word_of = [&](std::uint32_t i) { return words_.Word(items[begin + i].ref); };
    auto key_of = [&](std::uint32_t i) {
      return std::string_view(keys_.data() + key_starts_[i], word_of(i).size());
    };
    std::sort(order_.begin(), order_.end(), [&](std::uint32_t a, std::uint32_t b) {
      return EntryLess(key_of(a), word_of(a), key_of(b), word_of(b));
    });
    sorted_.resize(n);
    for (std::size_t i = 0; i < n; ++i) sorted_[i] = items[begin + order_[i]];
    std::copy(sorted_.begin(), sorted_.end(), items.begin() + static_cast<std::ptrdiff_t>(begin));
  }

 private:
  const WordTable& words_;
  std::string keys_;                     // keys of one run, back to back
  std::vector<std::size_t> key_starts_;  // where each run member's key starts
  std::vector<std::uint32_t> order_;     // the run's members, sorted
  std::vector<SortedEntry> sorted_;      // the run in its new order
};

}  // namespace

std::vector<SortedEntry> SortInDictionaryOrder(const WordTable& words) {
  // Sort by the first eight key bytes at once, then order each run of equal
  // prefixes (mostly words that share a key) by full key and word.
  std::vector<SortedEntry> items;
  items.reserve(words.size());
  std::string key;
  words.ForEach([&](WordTable::Ref ref) {
    const std::string_view word = words.Word(ref);
    key.resize(word.size());
    MakeWordKey(word, key.data());
    const std::uint64_t prefix = KeyPrefix(key.data(), key.size());
    items.push_back(SortedEntry{static_cast<std::uint32_t>(prefix >> 32),
                                static_cast<std::uint32_t>(prefix), ref});
  });
  std::sort(items.begin(), items.end(), [](const SortedEntry& a, const SortedEntry& b) {
    return a.prefix_high != b.prefix_high ? a.prefix_high < b.prefix_high
                                          : a.prefix_low < b.prefix_low;
  });
  RunSorter run_sorter(words);
  for (std::size_t begin = 0; begin < items.size();) {
    std::size_t end = begin + 1;
    while (end < items.size() && items[end].SamePrefix(items[begin])) ++end;
    if (end - begin > 1) run_sorter.Sort(items, begin, end);
    begin = end;
  }
  return items;
}

}  // namespace dorvenix
