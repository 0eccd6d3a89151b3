#include "dictionary/best_word_index.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "base/batches.h"
#include "base/hash.h"
#include "base/huge_pages.h"
#include "dictionary/index_record.h"

namespace dorvenix {
namespace {

// Dictionary order walks the entries between the probes (key, "") and
// (key, "\xFF"); a word starting with 0xFF sorts after the second probe and
// so is never chosen. Text never yields such words.
bool SortsAfterItsRun(std::string_view word) { return static_cast<unsigned char>(word[0]) == 0xFF; }

// The hash under which a record filed by a LetterKey is filed.
std::uint64_t LetterKeyHash(const LetterKey& key, std::size_t length) {
  const std::uint64_t ends = std::uint64_t{static_cast<unsigned char>(key.first)} |
                             std::uint64_t{static_cast<unsigned char>(key.last)} << 8 |
                             std::uint64_t{length} << 16;
  return HashPair(key.product, ends);
}

// The words of one key, gathered while the index is built.
struct KeyGroup {
  std::string_view best;  // the word with the highest positive count, if any
  std::int32_t best_count;
  std::uint32_t words;   // how many words have the key
  std::uint32_t others;  // where its other words start in the list of others

  bool has_best() const { return best.data() != nullptr; }
};

}  // namespace

// Performance-critical, kept small so that the batched look-up inlines it.
inline std::string_view BestWordIndex::FindByLetters(std::string_view word,
                                                     const LetterKey& key) const {
  if (SortsAfterItsRun(word)) return word;
  // Equal products mean the same inner letters, hence the same length.
  const WordTable::Ref ref = by_letters_.FindIf(
      LetterKeyHash(key, word.size()),
      [&](WordTable::Ref r) { return IndexRecord::HasLetterHead(by_letters_.Word(r), key); });
  if (ref == WordTable::kNoRef) return word;
  return IndexRecord(by_letters_.Word(ref), IndexRecord::kLetterHeadSize, word.size())
      .AnswerFor(word);
}

std::string_view BestWordIndex::FindByKey(std::string_view word) const {
  if (SortsAfterItsRun(word)) return word;
  const std::size_t n = word.size();
  if (n > longest_word_) return word;
  constexpr std::size_t kStackKey = 64;
  char stack_key[kStackKey];
  std::string long_key;
  char* key = stack_key;
  if (n > kStackKey) {
    long_key.resize(n);
    key = long_key.data();
  }
  MakeWordKey(word, key);
  const std::string_view key_view(key, n);
  const WordTable::Ref ref = by_key_.FindIf(HashBytes(key_view), [&](WordTable::Ref r) {
    return IndexRecord::HasKeyHead(by_key_.Word(r), key_view);
  });
  if (ref == WordTable::kNoRef) return word;
  return IndexRecord(by_key_.Word(ref), n, n).AnswerFor(word);
}

std::string_view BestWordIndex::FindLong(std::string_view word, const LetterKey& key) const {
  // Performance-critical: one product and one look-up in a table that stays
  // hot; no key is sorted.
  return key.valid() ? FindByLetters(word, key) : FindByKey(word);
}

void BestWordIndex::FindBestWords(std::span<const std::string_view> words,
                                  std::span<std::string_view> answers) const {
  LetterKey keys[kPrefetchBatch];
  std::uint64_t hashes[kPrefetchBatch];
  VisitInPrefetchBatches(
      words.size(),
      [&](std::size_t i) {
        const std::string_view word = words[i];
        LetterKey& key = keys[i % kPrefetchBatch];
        key = IsStoredLength(word.size()) ? MakeLetterKey(word) : LetterKey{0, 0, 0};
        if (!key.valid()) return;
        hashes[i % kPrefetchBatch] = LetterKeyHash(key, word.size());
        by_letters_.Prefetch(hashes[i % kPrefetchBatch]);
      },
      [&](std::size_t i) {
        if (keys[i % kPrefetchBatch].valid())
          by_letters_.PrefetchString(hashes[i % kPrefetchBatch]);
      },
      [&](std::size_t i) {
        const std::string_view word = words[i];
        const LetterKey& key = keys[i % kPrefetchBatch];
        if (key.valid()) {
          answers[i] = FindByLetters(word, key);
        } else {
          answers[i] = IsStoredLength(word.size()) ? FindByKey(word) : word;
        }
      });
}

BestWordIndex::BestWordIndex(const Dictionary& dictionary) : version_(dictionary.version()) {
  // First gather each key's best word and how many words share the key, then
  // the other words of the keys that have a best word, then store a record
  // for each of those keys. The table of keys is gone by then: a group's key
  // is its best word's, so the records' memory takes the place of its.
  struct Keys {
    PagePool pool;  // large for a large dictionary
    WordTable table{Arena::kMaxWindows, &pool};
  };
  auto keys = std::make_unique<Keys>();  // key -> index in groups
  std::vector<KeyGroup, HugePageAllocator<KeyGroup>> groups;
  // The group of each word, in ForEach order.
  std::vector<std::uint32_t, HugePageAllocator<std::uint32_t>> group_of;
  group_of.reserve(dictionary.size());
  std::string key;
  dictionary.ForEach([&](std::string_view word, std::int32_t count) {
    key.resize(word.size());
    MakeWordKey(word, key.data());
    bool added;
    const WordTable::Ref slot = keys->table.FindOrAdd(
        key, HashBytes(key), static_cast<std::int32_t>(groups.size()), &added);
    const auto g = static_cast<std::uint32_t>(keys->table.Value(slot));
    group_of.push_back(g);
    if (added) {
      groups.push_back(KeyGroup{count > 0 ? word : std::string_view(), count, 1, 0});
      return;
    }
    KeyGroup& group = groups[g];
    ++group.words;
    if (count <= 0) return;  // never chosen but by exact match
    if (group.has_best() &&
        (count < group.best_count || (count == group.best_count && word > group.best))) {
      return;
    }
    group.best = word;
    group.best_count = count;
  });

  std::uint32_t total_others = 0;
  for (KeyGroup& group : groups) {
    group.others = total_others;
    if (group.has_best()) total_others += group.words - 1;
  }
  std::vector<std::string_view, HugePageAllocator<std::string_view>> others(total_others);
  std::vector<std::uint32_t> filled(groups.size(), 0);
  std::size_t i = 0;
  dictionary.ForEach([&](std::string_view word, std::int32_t) {
    KeyGroup& group = groups[group_of[i]];
    if (group.has_best() && group.best.data() != word.data()) {
      others[group.others + filled[group_of[i]]++] = word;
    }
    ++i;
  });
  decltype(group_of)().swap(group_of);
  keys.reset();

  // Most frequent first: the records of common words end up side by side in
  // a few cache lines.
  std::erase_if(groups, [](const KeyGroup& group) { return !group.has_best(); });
  std::stable_sort(groups.begin(), groups.end(), [](const KeyGroup& a, const KeyGroup& b) {
    return a.best_count > b.best_count;
  });

  std::string record;
  for (const KeyGroup& group : groups) {
    key.resize(group.best.size());
    MakeWordKey(group.best, key.data());
    const std::string_view group_key = key;
    const std::span<const std::string_view> group_others(others.data() + group.others,
                                                         group.words - 1);
    const LetterKey letter_key = MakeLetterKey(group_key);
    bool added;
    if (letter_key.valid()) {
      IndexRecord::Encode(IndexRecord::LetterHead(letter_key), group.best, group_others, &record);
      by_letters_.FindOrAdd(record, LetterKeyHash(letter_key, group_key.size()), 0, &added);
    } else {
      IndexRecord::Encode(group_key, group.best, group_others, &record);
      by_key_.FindOrAdd(record, HashBytes(group_key), 0, &added);
    }
    longest_word_ = std::max(longest_word_, group_key.size());
  }
}

}  // namespace dorvenix
