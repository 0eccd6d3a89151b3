#include "dictionary/best_word_index.h"

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "dictionary/index_filler.h"
#include "dictionary/index_partition.h"
#include "dictionary/index_record.h"

namespace dorvenix {

using index_internal::kFlags;
using index_internal::kOthers;
using index_internal::kRecorded;
using index_internal::LooksUp;
using index_internal::TagOf;

BestWordIndex::BestWordIndex(const Dictionary& dictionary, unsigned threads)
    : BestWordIndex(dictionary, threads, Shape{}) {}

BestWordIndex::BestWordIndex(const Dictionary& dictionary, unsigned threads, const Shape& shape)
    : dictionary_(dictionary),
      version_(dictionary.version()),
      longest_word_(dictionary.longest_word()),
      threads_(threads),
      shape_(shape),
      partition_count_(std::max<std::size_t>(1, dictionary.size() / shape.partition_words)),
      partitions_(std::make_unique<Partition[]>(partition_count_)) {}

BestWordIndex::~BestWordIndex() = default;

// The look-up of `word`, whose KeyHash is `hash`: record_matches(record)
// tells whether an IndexRecord is that of its key, and entry_matches(known)
// whether a word of the dictionary with the same length and ends has its
// key. The records' heads have `head_size` bytes.
template <class RecordMatches, class EntryMatches>
[[gnu::always_inline]] inline std::string_view BestWordIndex::Find(
    std::string_view word, const Partition& partition, std::uint64_t hash, std::size_t head_size,
    RecordMatches&& record_matches, EntryMatches&& entry_matches) const {
  const std::uint32_t tag = TagOf(hash);
  for (std::size_t i = partition.Home(tag);; i = partition.Next(i)) {
    const Slot slot = partition.slots[i];
    if (slot.tag == 0) return word;
    if ((slot.tag & ~kFlags) != tag) continue;
    if ((slot.tag & kRecorded) != 0) {
      const IndexRecord record(partition.records.data() + slot.target);
      if (record_matches(record)) return record.AnswerFor(word, head_size);
      continue;
    }
    const std::string_view best = dictionary_.Word(slot.target);
    if (best.size() != word.size() || best.front() != word.front() || best.back() != word.back()) {
      continue;
    }
    if (BytesEqual(best.data(), word.data(), word.size())) return word;
    if (!entry_matches(best)) continue;
    // No word of the key has a count above 0, or `word` is one of the others.
    if (dictionary_.Count(slot.target) <= 0) return word;
    if ((slot.tag & kOthers) != 0 && dictionary_.CountOf(word)) return word;
    return best;
  }
}

// Performance-critical: a look-up is one product, one probe of a small table
// and one read of a record, most often one of the few that the most frequent
// words share.
[[gnu::always_inline]] inline std::string_view BestWordIndex::FindByLetters(
    std::string_view word, const Partition& partition, const LetterKey& letters,
    std::uint64_t hash) const {
  return Find(
      word, partition, hash, sizeof letters.product,
      [&](const IndexRecord& record) { return record.HasKeyOf(word, letters); },
      [&](std::string_view known) { return InnerLetterProduct(known) == letters.product; });
}

std::string_view BestWordIndex::FindByKey(std::string_view word) const {
  const WordKeyBuffer key(word);
  const std::string_view key_view = key.view();
  return Find(
      word, partitions_[PartitionOf(word)], SortedKeyHash(key_view), word.size(),
      [&](const IndexRecord& record) { return record.HasKey(key_view); },
      [&](std::string_view known) { return WordKeyBuffer(known).view() == key_view; });
}

// Throws when the dictionary changed since the index was made, and fills
// what `words` need.
void BestWordIndex::Ready(std::span<const std::string_view> words) const {
  if (!DescribesVersion(dictionary_.version())) {
    throw std::logic_error("the dictionary changed since its look-up index was made");
  }
  if (!filled_.load(std::memory_order_acquire)) Prepare(words);
}

std::string_view BestWordIndex::FindBestWord(std::string_view word) const {
  Ready(std::span(&word, 1));
  if (!LooksUp(word)) return word;
  const LetterKey letters = MakeLetterKey(word);
  if (!letters.valid()) return FindByKey(word);
  return FindByLetters(word, partitions_[PartitionOf(word)], letters, KeyHash(word, letters));
}

void BestWordIndex::FindBestWords(std::span<const std::string_view> words,
                                  std::span<std::string_view> answers) const {
  Ready(words);
  // A look-up in three steps, each some words ahead of the next, so that
  // the memory each needs has arrived by then: the key and its slot, then
  // the record or entry the slot names, then the answer.
  struct Ahead {
    LetterKey letters;  // not valid when the word has no LetterKey or is not looked up
    std::uint64_t hash;
    const Partition* partition;
  };
  constexpr std::size_t kAhead = 16;
  constexpr std::size_t kRing = 64;  // > 2 * kAhead, a power of two
  Ahead ring[kRing];
  const std::size_t n = words.size();
  for (std::size_t i = 0; i < n + 2 * kAhead; ++i) {
    if (i < n) {
      const std::string_view word = words[i];
      Ahead& a = ring[i % kRing];
      a = Ahead{LooksUp(word) ? MakeLetterKey(word) : LetterKey{0, 0, 0}, 0, nullptr};
      if (a.letters.valid()) {
        a.hash = KeyHash(word, a.letters);
        a.partition = &partitions_[PartitionOf(word)];
        __builtin_prefetch(&a.partition->slots[a.partition->Home(TagOf(a.hash))]);
      }
    }
    if (i >= kAhead && i - kAhead < n) {
      const Ahead& a = ring[(i - kAhead) % kRing];
      if (a.letters.valid()) {
        const Slot slot = a.partition->slots[a.partition->Home(TagOf(a.hash))];
        if ((slot.tag & kRecorded) != 0) {
          __builtin_prefetch(a.partition->records.data() + slot.target);
        } else if (slot.tag != 0) {
          dictionary_.Prefetch(slot.target);
        }
      }
    }
    if (i >= 2 * kAhead) {
      const std::size_t j = i - 2 * kAhead;
      const Ahead& a = ring[j % kRing];
      const std::string_view word = words[j];
      if (a.letters.valid()) {
        answers[j] = FindByLetters(word, *a.partition, a.letters, a.hash);
      } else {
        answers[j] = LooksUp(word) ? FindByKey(word) : word;
      }
    }
  }
}

// The partitions `words` need, and which to fill with them.
void BestWordIndex::Prepare(std::span<const std::string_view> words) const {
  std::vector<bool> wanted(partition_count_);
  std::size_t count = 0;
  for (const std::string_view word : words) {
    if (!LooksUp(word)) continue;
    const std::size_t p = PartitionOf(word);
    if (!wanted[p] && !partitions_[p].filled.load(std::memory_order_acquire)) {
      wanted[p] = true;
      ++count;
    }
  }
  if (count == 0) return;
  std::lock_guard lock(fill_mutex_);
  // A few passes for a few partitions each; after that, or for a large
  // share, every partition in one pass.
  constexpr unsigned kPartialPasses = 2;
  const unsigned passes = filler_ == nullptr ? 0 : filler_->passes();
  const bool all = passes >= kPartialPasses || count * 4 > partition_count_;
  std::unique_ptr<bool[]> fill(new bool[partition_count_]);
  bool any = false;
  for (std::size_t p = 0; p < partition_count_; ++p) {
    fill[p] = !partitions_[p].filled.load(std::memory_order_relaxed) && (all || wanted[p]);
    any = any || fill[p];
  }
  if (!any) return;  // another thread filled them meanwhile
  const unsigned threads =
      std::max(all && dictionary_.size() >= shape_.parallel_words ? threads_ : 1, 1u);
  if (filler_ == nullptr) filler_ = std::make_unique<Filler>(*this, threads);
  filler_->Fill(std::span<const bool>(fill.get(), partition_count_), threads);
  bool every = true;
  for (std::size_t p = 0; p < partition_count_; ++p) {
    every = every && partitions_[p].filled.load(std::memory_order_relaxed);
  }
  if (every) filled_.store(true, std::memory_order_release);
}

}  // namespace dorvenix
