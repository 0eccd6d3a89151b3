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
#include "base/parallel_for.h"
#include "dictionary/index_record.h"

namespace dorvenix {
namespace {

// Dictionary order walks the entries between the probes (key, "") and
// (key, "\xFF"); a word starting with 0xFF sorts after the second probe and
// so is never chosen. Text never yields such words.
bool SortsAfterItsRun(std::string_view word) { return static_cast<unsigned char>(word[0]) == 0xFF; }

// Whether the index looks `word` up at all.
bool LooksUp(std::string_view word) {
  return IsStoredLength(word.size()) && !SortsAfterItsRun(word);
}

// A slot's tag: 29 bits of its key's hash, then three flags. kTaken is set
// in every tag, so that 0 marks an empty slot.
constexpr std::uint32_t kTaken = 4;
constexpr std::uint32_t kRecorded = 2;  // the slot names an IndexRecord, not an entry
constexpr std::uint32_t kOthers = 1;    // the key has other words than its best
constexpr std::uint32_t kFlags = kRecorded | kOthers;

// Slots in a cache line.
constexpr std::size_t kLine = 8;
std::uint32_t TagOf(std::uint64_t hash) {
  return (static_cast<std::uint32_t>(hash) & ~7u) | kTaken;
}

}  // namespace

struct BestWordIndex::Slot {
  std::uint32_t tag;     // TagOf the key's hash with its flags; 0 for an empty slot
  std::uint32_t target;  // the EntryId of the key's best word, or where its record starts
};

struct BestWordIndex::Partition {
  std::atomic<bool> filled{false};
  Slot* slots = nullptr;  // `size` slots: more than the partition has words
  std::size_t size = 0;
  std::string records;  // the IndexRecords of its most frequent keys

  std::size_t Home(std::uint32_t tag) const {
    return static_cast<std::size_t>((std::uint64_t{tag & ~kFlags} * size) >> 32);
  }
  std::size_t Next(std::size_t i) const { return i + 1 == size ? 0 : i + 1; }
};

// What filling needs besides the partitions: their slots' memory, laid out
// by a first pass that counts the words of each partition, and the count
// from which a key gets a record.
class BestWordIndex::Filler {
 public:
  explicit Filler(const BestWordIndex& index);
  Filler(const Filler&) = delete;
  Filler& operator=(const Filler&) = delete;
  ~Filler();

  // Fills the partitions p with wanted[p] set, on up to `threads` threads.
  void Fill(std::span<const bool> wanted, unsigned threads);

  unsigned passes() const { return passes_; }

 private:
  // Fills the partitions p with wanted[p] set and p % shares == share.
  void FillShare(std::span<const bool> wanted, std::size_t share, std::size_t shares) const;

  const BestWordIndex& index_;
  Slot* memory_ = nullptr;     // every partition's slots, zeroed until filled
  std::size_t bytes_ = 0;      // the size of that memory
  std::int64_t record_count_;  // keys whose best word has this count or more get a record
  unsigned passes_ = 0;        // passes that filled partitions
};

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
  // to another of their key are kept aside.
  struct Loser {
    std::uint64_t hash;
    Dictionary::EntryId id;
  };
  std::vector<Loser> losers;
  // The slots whose best word has a count that earns a record, some twice.
  using Place = std::pair<std::size_t, std::size_t>;  // partition, slot
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
        losers.push_back(Loser{hash, slot.target});
        slot.target = id;
        if (count >= record_count_) frequent.emplace_back(p, i);
      } else {
        losers.push_back(Loser{hash, id});
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
  for (std::size_t wp = 0; wp < Dictionary::kPartitions; ++wp) {
    dictionary.ForEachIn(wp,
                         [&](Dictionary::EntryId id, std::string_view word, std::int32_t count) {
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
                           for (const Pending& e : pending)
                             insert(e.partition, e.hash, e.id, e.word, e.count);
                           waiting = 0;
                         });
  }
  for (std::size_t j = 0; j < waiting; ++j) {
    const Pending& e = pending[j];
    insert(e.partition, e.hash, e.id, e.word, e.count);
  }

  // Then the keys with the highest counts get records, most frequent first
  // in each partition, with every other word of their key.
  auto place_of = [&](const Loser& loser) {
    const std::string_view word = dictionary.Word(loser.id);
    const std::size_t p = index_.PartitionOf(word);
    const Partition& partition = index_.partitions_[p];
    const std::uint32_t tag = TagOf(loser.hash);
    std::size_t i = partition.Home(tag);
    while ((partition.slots[i].tag & ~kFlags) != tag ||
           !SameKey(dictionary.Word(partition.slots[i].target), word, &scratch)) {
      i = partition.Next(i);
    }
    return Place(p, i);
  };
  std::vector<std::pair<Place, Dictionary::EntryId>> others;
  others.reserve(losers.size());
  for (const Loser& loser : losers) others.emplace_back(place_of(loser), loser.id);
  std::sort(others.begin(), others.end());
  std::sort(frequent.begin(), frequent.end());
  frequent.erase(std::unique(frequent.begin(), frequent.end()), frequent.end());
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

std::size_t BestWordIndex::PartitionOf(std::size_t n, char first, char last) const {
  const std::uint64_t ends = std::uint64_t{static_cast<unsigned char>(first)} |
                             std::uint64_t{static_cast<unsigned char>(last)} << 8;
  return static_cast<std::size_t>(((HashPair(n, ends) >> 32) * partition_count_) >> 32);
}

// The look-up of `word`, whose KeyHash is `hash`: record_matches(record)
// tells whether an IndexRecord is that of its key, and entry_matches(known)
// whether a word of the dictionary with the same length and ends has its
// key. The records' heads have `head_size` bytes.
template <class RecordMatches, class EntryMatches>
[[gnu::always_inline]] inline std::string_view BestWordIndex::Find(
    std::string_view word, std::uint64_t hash, std::size_t head_size,
    RecordMatches&& record_matches, EntryMatches&& entry_matches) const {
  const Partition& partition = partitions_[PartitionOf(word)];
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
    std::string_view word, const LetterKey& letters, std::uint64_t hash) const {
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
  return letters.valid() ? FindByLetters(word, letters, KeyHash(word, letters)) : FindByKey(word);
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
        answers[j] = FindByLetters(word, a.letters, a.hash);
      } else {
        answers[j] = LooksUp(word) ? FindByKey(word) : word;
      }
    }
  }
}

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
  if (filler_ == nullptr) filler_ = std::make_unique<Filler>(*this);
  // A few passes for a few partitions each; after that, or for a large
  // share, every partition in one pass.
  constexpr unsigned kPartialPasses = 2;
  const bool all = filler_->passes() >= kPartialPasses || count * 4 > partition_count_;
  std::unique_ptr<bool[]> fill(new bool[partition_count_]);
  bool any = false;
  for (std::size_t p = 0; p < partition_count_; ++p) {
    fill[p] = !partitions_[p].filled.load(std::memory_order_relaxed) && (all || wanted[p]);
    any = any || fill[p];
  }
  if (!any) return;  // another thread filled them meanwhile
  const unsigned threads = all && dictionary_.size() >= shape_.parallel_words ? threads_ : 1;
  filler_->Fill(std::span<const bool>(fill.get(), partition_count_), std::max(threads, 1u));
  bool every = true;
  for (std::size_t p = 0; p < partition_count_; ++p) {
    every = every && partitions_[p].filled.load(std::memory_order_relaxed);
  }
  if (every) filled_.store(true, std::memory_order_release);
}

}  // namespace dorvenix
