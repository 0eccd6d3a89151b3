#include "dictionary/best_word_index.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "base/bytes.h"
#include "base/hash.h"
#include "base/huge_pages.h"
#include "dictionary/index_record.h"

namespace dorvenix {
namespace {

// Dictionary order walks the entries between the probes (key, "") and
// (key, "\xFF"); a word starting with 0xFF sorts after the second probe and
// so is never chosen. Text never yields such words.
bool SortsAfterItsRun(std::string_view word) { return static_cast<unsigned char>(word[0]) == 0xFF; }

// Whether the index looks `word` up at all.
bool LooksUp(std::string_view word) { return IsStoredLength(word.size()) && !SortsAfterItsRun(word); }

// Partitions hold this many slots unless one outgrows them.
constexpr std::size_t kPartitionSlots = 4096;

// A partition grows when its keys would fill more than 7/8 of its slots.
bool Overfull(std::size_t keys, std::size_t slots) { return keys * 8 > slots * 7; }

// About this many keys get a record of their own (IndexRecord): the keys
// whose best word has the highest counts, a few megabytes at most.
constexpr std::size_t kRecordedKeys = std::size_t{1} << 17;

// A slot's tag: 29 bits of its key's hash, then three flags. kTaken is set
// in every tag, so that 0 marks an empty slot.
constexpr std::uint32_t kTaken = 4;
constexpr std::uint32_t kRecorded = 2;  // the slot names an IndexRecord, not an entry
constexpr std::uint32_t kOthers = 1;    // the key has other words than its best
constexpr std::uint32_t kFlags = kRecorded | kOthers;
std::uint32_t TagOf(std::uint64_t hash) { return (static_cast<std::uint32_t>(hash) & ~7u) | kTaken; }

}  // namespace

struct BestWordIndex::Slot {
  std::uint32_t tag;     // TagOf the key's hash with its flags; 0 for an empty slot
  std::uint32_t target;  // the EntryId of the key's best word, or where its record starts
};

struct BestWordIndex::Partition {
  std::atomic<bool> filled{false};
  Slot* slots = nullptr;          // its table: its share of slots_, or `grown`
  std::unique_ptr<Slot[]> grown;  // its own table, once it outgrew its share
  unsigned shift = 32;            // 32 - log2(number of slots)
  std::size_t keys = 0;           // keys held
  std::string records;            // the IndexRecords of its most frequent keys
  bool dirty = false;             // a fill stopped part way

  std::size_t size() const { return std::size_t{1} << (32 - shift); }
  std::size_t Home(std::uint32_t tag) const { return ((tag & ~kFlags) * 0x9E3779B9u) >> shift; }
  std::size_t Next(std::size_t i) const { return (i + 1) & (size() - 1); }
};

BestWordIndex::BestWordIndex(const Dictionary& dictionary)
    : dictionary_(dictionary),
      version_(dictionary.version()),
      longest_word_(dictionary.longest_word()) {
  // Large dictionaries fill their slots further, to keep the index small
  // beside the dictionary; small ones have room to spare for short probes.
  const std::size_t n = dictionary.size();
  const std::size_t per_partition =
      n > (std::size_t{1} << 20) ? kPartitionSlots * 4 / 5 : kPartitionSlots / 2;
  partition_count_ = std::max<std::size_t>(1, (n + per_partition - 1) / per_partition);
  partition_slots_ =
      partition_count_ == 1 ? std::max<std::size_t>(16, std::bit_ceil(2 * n)) : kPartitionSlots;
  partitions_ = std::make_unique<Partition[]>(partition_count_);
  slots_bytes_ = partition_count_ * partition_slots_ * sizeof(Slot);
  // Memory the kernel hands out zeroed, touched only where partitions are
  // filled.
  if (slots_bytes_ >= kHugePageSize) {
    slots_ = static_cast<Slot*>(MapHugePages(slots_bytes_));
  } else {
    slots_ = static_cast<Slot*>(std::calloc(partition_count_ * partition_slots_, sizeof(Slot)));
    if (slots_ == nullptr) throw std::bad_alloc();
  }
  for (std::size_t p = 0; p < partition_count_; ++p) {
    partitions_[p].slots = slots_ + p * partition_slots_;
    partitions_[p].shift = static_cast<unsigned>(32 - std::countr_zero(partition_slots_));
  }
}

BestWordIndex::~BestWordIndex() {
  if (slots_bytes_ >= kHugePageSize) {
    UnmapHugePages(slots_, slots_bytes_);
  } else {
    std::free(slots_);
  }
}

std::string_view BestWordIndex::FindBestWord(std::string_view word) const {
  std::string_view answer;
  FindBestWords(std::span(&word, 1), std::span(&answer, 1));
  return answer;
}

// The look-up of `word`, whose KeyHash is `hash`: record_matches(record)
// tells whether an IndexRecord is that of its key, and entry_matches(word)
// whether a word of the dictionary has its key. The records' heads have
// `head_size` bytes.
template <class RecordMatches, class EntryMatches>
inline std::string_view BestWordIndex::Find(std::string_view word, std::uint64_t hash,
                                            std::size_t head_size, RecordMatches&& record_matches,
                                            EntryMatches&& entry_matches) const {
  const Partition& partition = partitions_[PartitionOf(hash)];
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
    if (best.size() == word.size() && BytesEqual(best.data(), word.data(), word.size())) {
      return word;
    }
    if (best.size() != word.size() || best.front() != word.front() ||
        best.back() != word.back() || !entry_matches(best)) {
      continue;
    }
    // No word of the key has a count above 0, or `word` is one of the others.
    if (dictionary_.Count(slot.target) <= 0) return word;
    if ((slot.tag & kOthers) != 0 && dictionary_.CountOf(word)) return word;
    return best;
  }
}

// Performance-critical: a look-up is one product, one probe of a small table
// and one read of a record, most often one of the few that the most frequent
// words share.
inline std::string_view BestWordIndex::FindByLetters(std::string_view word,
                                                     const LetterKey& letters,
                                                     std::uint64_t hash) const {
  return Find(
      word, hash, sizeof letters.product,
      [&](const IndexRecord& record) { return record.HasKeyOf(word, letters); },
      [&](std::string_view known) { return InnerLetterProduct(known) == letters.product; });
}

std::string_view BestWordIndex::FindByKey(std::string_view word) const {
  constexpr std::size_t kStackKey = 64;
  char stack_key[kStackKey];
  std::string long_key;
  char* key = stack_key;
  if (word.size() > kStackKey) {
    long_key.resize(word.size());
    key = long_key.data();
  }
  MakeWordKey(word, key);
  const std::string_view key_view(key, word.size());
  std::string scratch;
  return Find(
      word, HashBytes(key_view), word.size(),
      [&](const IndexRecord& record) { return record.HasKey(key_view); },
      [&](std::string_view known) { return SameKey(known, word, &scratch); });
}

void BestWordIndex::FindBestWords(std::span<const std::string_view> words,
                                  std::span<std::string_view> answers) const {
  if (!DescribesVersion(dictionary_.version())) {
    throw std::logic_error("the dictionary changed since its look-up index was made");
  }
  if (!filled_.load(std::memory_order_acquire)) Prepare(words);
  // A look-up in three steps, each some words ahead of the next, so that
  // the memory each needs has arrived by then: the key and its slot, then
  // the record or entry the slot names, then the answer.
  constexpr std::size_t kAhead = 16;
  constexpr std::size_t kRing = 64;  // > 2 * kAhead, a power of two
  LetterKey keys[kRing] = {};
  std::uint64_t hashes[kRing] = {};
  const std::size_t n = words.size();
  for (std::size_t i = 0; i < n + 2 * kAhead; ++i) {
    if (i < n) {
      const std::string_view word = words[i];
      const std::size_t b = i % kRing;
      keys[b] = LooksUp(word) ? MakeLetterKey(word) : LetterKey{0, 0, 0};
      if (keys[b].valid()) {
        hashes[b] = KeyHash(word, keys[b]);
        const Partition& partition = partitions_[PartitionOf(hashes[b])];
        __builtin_prefetch(&partition.slots[partition.Home(TagOf(hashes[b]))]);
      }
    }
    if (i >= kAhead && i - kAhead < n) {
      const std::size_t b = (i - kAhead) % kRing;
      if (keys[b].valid()) {
        const Partition& partition = partitions_[PartitionOf(hashes[b])];
        const Slot slot = partition.slots[partition.Home(TagOf(hashes[b]))];
        if ((slot.tag & kRecorded) != 0) {
          __builtin_prefetch(partition.records.data() + slot.target);
        } else if (slot.tag != 0) {
          dictionary_.Prefetch(slot.target);
        }
      }
    }
    if (i >= 2 * kAhead) {
      const std::size_t j = i - 2 * kAhead;
      const std::size_t b = j % kRing;
      const std::string_view word = words[j];
      if (keys[b].valid()) {
        answers[j] = FindByLetters(word, keys[b], hashes[b]);
      } else {
        answers[j] = LooksUp(word) ? FindByKey(word) : word;
      }
    }
  }
}

void BestWordIndex::Prepare(std::span<const std::string_view> words) const {
  std::vector<bool> wanted_bits(partition_count_);
  std::size_t wanted = 0;
  for (const std::string_view word : words) {
    if (!LooksUp(word)) continue;
    const std::size_t p = PartitionOf(KeyHash(word, MakeLetterKey(word)));
    if (!wanted_bits[p] && !partitions_[p].filled.load(std::memory_order_acquire)) {
      wanted_bits[p] = true;
      ++wanted;
    }
  }
  if (wanted == 0) return;
  std::lock_guard lock(fill_mutex_);
  // A few passes for a few partitions each; after that, or for a large
  // share, every partition in one pass.
  constexpr unsigned kPartialPasses = 2;
  const bool all = passes_ >= kPartialPasses || wanted * 4 > partition_count_;
  std::unique_ptr<bool[]> fill(new bool[partition_count_]);
  std::size_t left = 0;
  for (std::size_t p = 0; p < partition_count_; ++p) {
    fill[p] = !partitions_[p].filled.load(std::memory_order_relaxed) && (all || wanted_bits[p]);
    left += fill[p] ? 1 : 0;
  }
  if (left == 0) return;  // another thread filled them meanwhile
  Fill(std::span<const bool>(fill.get(), partition_count_));
}

void BestWordIndex::Fill(std::span<const bool> wanted) const {
  ++passes_;
  for (std::size_t p = 0; p < partition_count_; ++p) {
    Partition& partition = partitions_[p];
    if (!wanted[p]) continue;
    if (partition.dirty) {
      partition.grown.reset();
      partition.slots = slots_ + p * partition_slots_;
      partition.shift = static_cast<unsigned>(32 - std::countr_zero(partition_slots_));
      std::memset(static_cast<void*>(partition.slots), 0, partition_slots_ * sizeof(Slot));
      partition.keys = 0;
      partition.records.clear();
    }
    partition.dirty = true;
  }

  // First every wanted key gets a slot naming its best entry; the words
  // that lose to another of their key are kept aside.
  struct Entry {
    std::uint64_t hash;
    Dictionary::EntryId id;
  };
  std::vector<Entry> losers;
  std::string scratch;
  // Adds the entry `id` with `word` and `count`, of the key with KeyHash
  // `hash`, to its partition.
  auto insert = [&](std::uint64_t hash, Dictionary::EntryId id, std::string_view word,
                    std::int32_t count) {
    Partition& partition = partitions_[PartitionOf(hash)];
    const std::uint32_t tag = TagOf(hash);
    for (;;) {
      std::size_t i = partition.Home(tag);
      for (; partition.slots[i].tag != 0; i = partition.Next(i)) {
        Slot& slot = partition.slots[i];
        if ((slot.tag & ~kFlags) != tag) continue;
        const std::string_view best = dictionary_.Word(slot.target);
        if (!SameKey(best, word, &scratch)) continue;
        slot.tag |= kOthers;
        const std::int32_t best_count = dictionary_.Count(slot.target);
        if (count > best_count || (count == best_count && word < best)) {
          losers.push_back(Entry{hash, slot.target});
          slot.target = id;
        } else {
          losers.push_back(Entry{hash, id});
        }
        return;
      }
      if (!Overfull(partition.keys + 1, partition.size())) {
        partition.slots[i] = Slot{tag, id};
        ++partition.keys;
        return;
      }
      // Twice the slots, in a table of its own.
      const std::size_t old_size = partition.size();
      const Slot* const old_slots = partition.slots;
      auto grown = std::make_unique<Slot[]>(2 * old_size);
      partition.slots = grown.get();
      partition.shift -= 1;
      for (std::size_t j = 0; j < old_size; ++j) {
        if (old_slots[j].tag == 0) continue;
        std::size_t k = partition.Home(old_slots[j].tag);
        while (partition.slots[k].tag != 0) k = partition.Next(k);
        partition.slots[k] = old_slots[j];
      }
      partition.grown = std::move(grown);
    }
  };
  // Entries wait in a small batch while the slots they go to are fetched.
  struct Pending {
    std::uint64_t hash;
    std::string_view word;
    Dictionary::EntryId id;
    std::int32_t count;
  };
  constexpr std::size_t kBatch = 32;
  Pending pending[kBatch];
  std::size_t waiting = 0;
  // Entries by bit width of their positive counts, for the count from which
  // keys get a record.
  std::size_t widths[33] = {};
  for (std::size_t wp = 0; wp < Dictionary::kPartitions; ++wp) {
    dictionary_.ForEachIn(wp, [&](Dictionary::EntryId id, std::string_view word,
                                  std::int32_t count) {
      if (!LooksUp(word)) return;
      if (count > 0) ++widths[std::bit_width(static_cast<std::uint32_t>(count))];
      const std::uint64_t hash = KeyHash(word, MakeLetterKey(word));
      const std::size_t p = PartitionOf(hash);
      if (!wanted[p]) return;
      const Partition& partition = partitions_[p];
      __builtin_prefetch(&partition.slots[partition.Home(TagOf(hash))]);
      pending[waiting++] = Pending{hash, word, id, count};
      if (waiting < kBatch) return;
      for (const Pending& e : pending) insert(e.hash, e.id, e.word, e.count);
      waiting = 0;
    });
  }
  for (std::size_t j = 0; j < waiting; ++j) {
    insert(pending[j].hash, pending[j].id, pending[j].word, pending[j].count);
  }
  if (record_count_ == 0) {
    // The lowest power of two that leaves at most kRecordedKeys entries
    // at or above it.
    std::size_t above = 0;
    std::size_t width = 32;
    while (width > 1 && above + widths[width] + widths[width - 1] <= kRecordedKeys) {
      above += widths[width];
      --width;
    }
    record_count_ = std::int32_t{1} << (width - 1);
  }

  // Then the keys with the highest counts get records, most frequent first,
  // with every other word of their key.
  auto slot_of = [&](const Entry& e) {
    const Partition& partition = partitions_[PartitionOf(e.hash)];
    const std::uint32_t tag = TagOf(e.hash);
    std::size_t i = partition.Home(tag);
    while ((partition.slots[i].tag & ~kFlags) != tag ||
           !SameKey(dictionary_.Word(partition.slots[i].target), dictionary_.Word(e.id),
                    &scratch)) {
      i = partition.Next(i);
    }
    return std::pair(PartitionOf(e.hash), i);
  };
  std::vector<std::pair<std::pair<std::size_t, std::size_t>, Dictionary::EntryId>> others;
  others.reserve(losers.size());
  for (const Entry& e : losers) others.emplace_back(slot_of(e), e.id);
  std::sort(others.begin(), others.end());
  std::vector<std::pair<std::int32_t, std::size_t>> frequent;  // count, slot
  std::vector<std::string_view> words;
  std::string key;
  for (std::size_t p = 0; p < partition_count_; ++p) {
    if (!wanted[p]) continue;
    Partition& partition = partitions_[p];
    frequent.clear();
    for (std::size_t i = 0; i < partition.size(); ++i) {
      if (partition.slots[i].tag == 0) continue;
      const std::int32_t count = dictionary_.Count(partition.slots[i].target);
      if (count >= record_count_) frequent.emplace_back(count, i);
    }
    std::sort(frequent.begin(), frequent.end(), std::greater<>());
    for (const auto& [count, i] : frequent) {
      Slot& slot = partition.slots[i];
      const std::string_view best = dictionary_.Word(slot.target);
      words.clear();
      auto run = std::lower_bound(others.begin(), others.end(),
                                  std::pair(std::pair(p, i), Dictionary::EntryId{0}));
      for (; run != others.end() && run->first == std::pair(p, i); ++run) {
        words.push_back(dictionary_.Word(run->second));
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

  bool all = true;
  for (std::size_t p = 0; p < partition_count_; ++p) {
    Partition& partition = partitions_[p];
    if (wanted[p]) {
      partition.dirty = false;
      partition.filled.store(true, std::memory_order_release);
    }
    all = all && partition.filled.load(std::memory_order_relaxed);
  }
  if (all) filled_.store(true, std::memory_order_release);
}

}  // namespace dorvenix
