// Dictionary order: entries by key, then by word, both compared as unsigned
// byte strings. Words that share a key end up side by side, in byte order.
//
// Sorting works on SortedEntry items: the first eight bytes of an entry's
// key as a number, and an id the caller maps back to the entry's word. Most
// comparisons are settled by the numbers; only entries whose first eight key
// bytes tie are ordered by their full keys.
#ifndef DORVENIX_DICTIONARY_ENTRY_ORDER_H_
#define DORVENIX_DICTIONARY_ENTRY_ORDER_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "memory/huge_pages.h"

namespace dorvenix {

// One entry to sort: its key prefix in two halves (12-byte items sort faster
// than 16-byte ones), and its id.
struct SortedEntry {
  std::uint32_t prefix_high;
  std::uint32_t prefix_low;
  std::uint32_t id;

  std::uint64_t prefix() const { return std::uint64_t{prefix_high} << 32 | prefix_low; }
};

// Every entry of a dictionary to sort: tens of megabytes for a large one.
using SortedEntries = std::vector<SortedEntry, HugePageAllocator<SortedEntry>>;

// The first eight bytes of the key of `word`, big-endian and padded with
// zeros, so that comparing the numbers compares the bytes as unsigned
// values. `scratch` holds the key.
std::uint64_t KeyPrefix(std::string_view word, std::string* scratch);

// The first two bytes of that prefix (prefix >> 48), found without sorting.
std::uint32_t KeyPrefix16(std::string_view word);

// Puts `entries` in dictionary order; word_of(id) is the word of an entry.
// O(n log n).
void SortEntries(std::span<SortedEntry> entries,
                 const std::function<std::string_view(std::uint32_t)>& word_of);

}  // namespace dorvenix

#endif  // DORVENIX_DICTIONARY_ENTRY_ORDER_H_
