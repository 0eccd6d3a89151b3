// Entries of a dictionary as plain (word, count) pairs, for comparisons.
#ifndef DORVENIX_TESTS_ENTRIES_H_
#define DORVENIX_TESTS_ENTRIES_H_

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "dictionary/dictionary.h"

namespace dorvenix::testing {

using Entries = std::vector<std::pair<std::string, std::int32_t>>;

// Every entry in dictionary order.
inline Entries InOrder(const Dictionary& dictionary) {
  Entries entries;
  dictionary.ForEachInOrder(
      [&](std::string_view word, std::int32_t count) { entries.emplace_back(word, count); });
  return entries;
}

}  // namespace dorvenix::testing

#endif  // DORVENIX_TESTS_ENTRIES_H_
