#include "dictionary/index_filler.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "base/huge_pages.h"
#include "base/parallel_for.h"
#include "dictionary/index_record.h"

namespace dorvenix {

using index_internal::kFlags;
using index_internal::kLine;
using index_internal::kOthers;
using index_internal::kRecorded;
using index_internal::LooksUp;
using index_internal::TagOf;

BestWordIndex::Filler::Filler(const BestWordIndex& index) : index_(index) {
  // Words in each partition, and words by bit width of their positive counts.
  std::vector<std::size_t> words(index.partition_count_);
  std::size_t widths[33] = {};
  std::size_t total = 0;
  for (std::size_t wp = 0; wp < Dictionary::kPartitions; ++wp) {
    index.dictionary_.ForEachIn(
        wp, [&](Dictionary::EntryId, std::string_view word, std::int32_t count) {
          if (!LooksUp(word)) return;
          ++words[index.PartitionOf(word)];
          ++total;
          if (count > 0) ++widths[std::bit_width(static_cast<std::uint32_t>(count))];
        });
  }
  // The lowest power of two that at most recorded_keys words reach.
  std::size_t above = 0;
  int width = 31;
  while (width > 0 && above + widths[width] <= index.shape_.recorded_keys) above += widths[width--];
  record_count_ = std::int64_t{1} << width;

  // A large dictionary fills its slots further, to keep the index small
  // beside the dictionary; a small one has room to spare for short probes.
  const bool large = total > (std::size_t{1} << 20);
  std::size_t slots = 0;
  // Room for a partition's words, and at least one slot to spare.
  auto size_for = [&](std::size_t n) { return n + (large ? n / 4 : n) + 1; };
  for (const std::size_t n : words) slots += size_for(n);
  bytes_ = slots * sizeof(Slot);
  // Memory the kernel hands out zeroed, touched only where partitions are
  // filled.
  memory_ = static_cast<Slot*>(bytes_ >= kHugePageSize ? MapHugePages(bytes_)
                                                       : std::calloc(slots, sizeof(Slot)));
  if (memory_ == nullptr) throw std::bad_alloc();
  Slot* next = memory_;
  for (std::size_t p = 0; p < index.partition_count_; ++p) {
    Partition& partition = index.partitions_[p];
    partition.slots = next;
    partition.size = size_for(words[p]);
    next += partition.size;
  }
}

BestWordIndex::Filler::~Filler() {
  if (bytes_ >= kHugePageSize) {
    UnmapHugePages(memory_, bytes_);
  } else {
    std::free(memory_);
  }
}

void BestWordIndex::Filler::Fill(std::span<const bool> wanted, unsigned threads) {
  ++passes_;
  // Each thread fills its share of the partitions, in a pass of its own
  // over the dictionary: the pass costs little beside the filling.
  ParallelFor(threads, threads, [&](std::size_t share) { FillShare(wanted, share, threads); });
  for (std::size_t p = 0; p < index_.partition_count_; ++p) {
    Partition& partition = index_.partitions_[p];
    if (wanted[p]) partition.filled.store(true, std::memory_order_release);
  }
}

void BestWordIndex::Filler::FillShare(std::span<const bool> wanted, std::size_t share,
                                      std::size_t shares) const {
  const Dictionary& dictionary = index_.dictionary_;
  // Cleared first, in case an earlier fill stopped part way.
  for (std::size_t p = share; p < index_.partition_count_; p += shares) {
    Partition& partition = index_.partitions_[p];
    if (!wanted[p]) continue;
    std::memset(static_cast<void*>(partition.slots), 0, partition.size * sizeof(Slot));
    partition.records.clear();
  }
  // First every key gets a slot naming its best entry; the words that lose
  // to another of their key are kept aside, with their key's slot.
  using Place = std::pair<std::size_t, std::size_t>;  // partition, slot
  std::vector<std::pair<Place, Dictionary::EntryId>> others;
  // The slots whose best word has a count that earns a record.
  std::vector<Place> frequent;
  std::string scratch;
  // Adds the entry `id` with `word` and `count`, of the key with KeyHash
  // `hash`, to partition p.
  auto insert = [&](std::size_t p, std::uint64_t hash, Dictionary::EntryId id,
                    std::string_view word, std::int32_t count) {
    Partition& partition = index_.partitions_[p];
    const std::uint32_t tag = TagOf(hash);
    std::size_t i = partition.Home(tag);
    for (; partition.slots[i].tag != 0; i = partition.Next(i)) {
      Slot& slot = partition.slots[i];
      if ((slot.tag & ~kFlags) != tag) continue;
      const std::string_view best = dictionary.Word(slot.target);
      if (!SameKey(best, word, &scratch)) continue;
      slot.tag |= kOthers;
      const std::int32_t best_count = dictionary.Count(slot.target);
      if (count > best_count || (count == best_count && word < best)) {
        others.emplace_back(Place(p, i), slot.target);
        slot.target = id;
        if (count >= record_count_ && best_count < record_count_) frequent.emplace_back(p, i);
      } else {
        others.emplace_back(Place(p, i), id);
      }
      return;
    }
    partition.slots[i] = Slot{tag, id};
    if (count >= record_count_) frequent.emplace_back(p, i);
  };
  // Entries wait in a small batch while the slots they go to are fetched.
  struct Pending {
    std::size_t partition;
    std::uint64_t hash;
    std::string_view word;
    Dictionary::EntryId id;
    std::int32_t count;
  };
  constexpr std::size_t kBatch = 32;
  Pending pending[kBatch];
  std::size_t waiting = 0;
  auto visit = [&](Dictionary::EntryId id, std::string_view word, std::int32_t count) {
    if (!LooksUp(word)) return;
    const std::size_t p = index_.PartitionOf(word);
    if (!wanted[p] || (shares > 1 && p % shares != share)) return;
    Partition& partition = index_.partitions_[p];
    const std::uint64_t hash = KeyHash(word, MakeLetterKey(word));
    // The run of slots an insert reads seldom passes the next cache line.
    const Slot* const home = &partition.slots[partition.Home(TagOf(hash))];
    __builtin_prefetch(home);
    __builtin_prefetch(home + kLine - 1);
    pending[waiting++] = Pending{p, hash, word, id, count};
    if (waiting < kBatch) return;
    for (const Pending& e : pending) insert(e.partition, e.hash, e.id, e.word, e.count);
    waiting = 0;
  };
  for (std::size_t wp = 0; wp < Dictionary::kPartitions; ++wp) dictionary.ForEachIn(wp, visit);
  for (std::size_t j = 0; j < waiting; ++j) {
    const Pending& e = pending[j];
    insert(e.partition, e.hash, e.id, e.word, e.count);
  }

  // Then the keys with the highest counts get records, most frequent first
  // in each partition, with every other word of their key.
  std::sort(others.begin(), others.end());
  std::sort(frequent.begin(), frequent.end());
  std::vector<std::pair<std::int32_t, std::size_t>> by_count;  // count, slot
  std::vector<std::string_view> words;
  std::string key;
  for (auto from = frequent.begin(); from != frequent.end();) {
    const std::size_t p = from->first;
    Partition& partition = index_.partitions_[p];
    by_count.clear();
    for (; from != frequent.end() && from->first == p; ++from) {
      by_count.emplace_back(dictionary.Count(partition.slots[from->second].target), from->second);
    }
    std::sort(by_count.begin(), by_count.end(), std::greater<>());
    for (const auto& [count, i] : by_count) {
      Slot& slot = partition.slots[i];
      const std::string_view best = dictionary.Word(slot.target);
      words.clear();
      auto run = std::lower_bound(others.begin(), others.end(),
                                  std::pair(Place(p, i), Dictionary::EntryId{0}));
      for (; run != others.end() && run->first == Place(p, i); ++run) {
        words.push_back(dictionary.Word(run->second));
      }
      const LetterKey letters = MakeLetterKey(best);
      if (!letters.valid()) {
        key.resize(best.size());
        MakeWordKey(best, key.data());
      }
      slot.target = static_cast<std::uint32_t>(
          IndexRecord::Append(letters, key, best, words, &partition.records));
      slot.tag |= kRecorded;
    }
  }
}

}  // namespace dorvenix
