#include "index/filler.h"

#include <algorithm>
#include <bit>
#include <functional>
#include <numeric>
#include <string>
#include <utility>
#include <vector>

#include "base/bytes.h"
#include "memory/huge_pages.h"
#include "threads/parallel_for.h"

namespace dorvenix {

using index_internal::IndexRecord;
using index_internal::kOthers;
using index_internal::kRecorded;
using index_internal::LooksUp;
using index_internal::Section;

BestWordIndex::BestWordIndex(const Dictionary& dictionary, unsigned threads)
    : BestWordIndex(dictionary, threads, Shape{}) {}

BestWordIndex::BestWordIndex(const Dictionary& dictionary, unsigned threads, Shape shape)
    : dictionary_(dictionary),
      version_(dictionary.version()),
      longest_word_(dictionary.longest_word()),
      threads_(threads),
      shape_(std::move(shape)),
      section_count_(std::max<std::size_t>(1, dictionary.size() / shape_.section_words)),
      sections_(std::make_unique<Section[]>(section_count_)) {}

BestWordIndex::~BestWordIndex() = default;

// The sections `words` need, and which to fill with them.
void BestWordIndex::Prepare(std::span<const std::string_view> words) const {
  std::vector<bool> wanted(section_count_);
  std::size_t count = 0;
  for (const std::string_view word : words) {
    if (!LooksUp(word)) continue;
    const std::size_t s = SectionOf(word);
    if (!wanted[s] && !sections_[s].filled.load(std::memory_order_acquire)) {
      wanted[s] = true;
      ++count;
    }
  }
  if (count == 0) return;
  std::lock_guard lock(fill_mutex_);
  // A few passes for a few sections each; after that, or for a large share,
  // every section in one pass. Measured on bench/index.sh's inputs with
  // callgrind (instructions spent filling, 3.2 million words): a one-line
  // text fills its sections for 0.30 G where all of them take 0.99 G; 20
  // one-line texts in a row take 1.32 G with 2 partial passes, 3.55 G with
  // no limit on them. The share that fills everything at once is a quarter:
  // for the 600 KB text, 0.99 G against 1.33 G with a half or with the pass
  // limit alone; for its first 12,000 bytes a half would take 0.49 G, 0.99 G
  // here; for its first 5,000 and 1,500 bytes an eighth and a sixteenth
  // would take 0.99 G, against 0.41 G and 0.34 G here.
  constexpr unsigned kPartialPasses = 2;
  const unsigned passes = filler_ == nullptr ? 0 : filler_->passes();
  const bool all = passes >= kPartialPasses || count * 4 > section_count_;
  std::unique_ptr<bool[]> fill(new bool[section_count_]);
  bool any = false;
  for (std::size_t s = 0; s < section_count_; ++s) {
    fill[s] = !sections_[s].filled.load(std::memory_order_relaxed) && (all || wanted[s]);
    any = any || fill[s];
  }
  if (!any) return;  // another thread filled them meanwhile
  const unsigned threads =
      std::max(all && dictionary_.size() >= shape_.parallel_words ? threads_ : 1, 1u);
  if (filler_ == nullptr) filler_ = std::make_unique<Filler>(*this, threads);
  filler_->Fill(std::span<const bool>(fill.get(), section_count_), threads);
  bool every = true;
  for (std::size_t s = 0; s < section_count_; ++s) {
    every = every && sections_[s].filled.load(std::memory_order_relaxed);
  }
  if (every) filled_.store(true, std::memory_order_release);
}

BestWordIndex::Filler::Filler(const BestWordIndex& index, unsigned threads) : index_(index) {
  // Words in each section, and words by bit width of their positive counts;
  // each of the dictionary's partitions counted on its own.
  struct Counts {
    std::vector<std::size_t> words;
    std::size_t widths[32] = {};
  };
  std::vector<Counts> counts(Dictionary::kPartitions);
  ParallelFor(counts.size(), threads, [&](std::size_t p) {
    Counts& c = counts[p];
    c.words.resize(index.section_count_);
    index.dictionary_.ForEachIn(
        p, [&](Dictionary::EntryId, std::string_view word, std::int32_t count) {
          if (!LooksUp(word)) return;
          ++c.words[index.SectionOf(word)];
          if (count > 0) ++c.widths[std::bit_width(static_cast<std::uint32_t>(count))];
        });
  });
  std::vector<std::size_t> words(index.section_count_);
  std::size_t widths[32] = {};
  for (const Counts& c : counts) {
    for (std::size_t s = 0; s < words.size(); ++s) words[s] += c.words[s];
    for (std::size_t w = 0; w < 32; ++w) widths[w] += c.widths[w];
  }
  const std::size_t total = std::accumulate(words.begin(), words.end(), std::size_t{0});
  // The lowest power of two that at most recorded_keys words reach.
  std::size_t above = 0;
  int width = 31;
  while (width > 0 && above + widths[width] <= index.shape_.recorded_keys) above += widths[width--];
  record_count_ = std::int64_t{1} << width;

  // A large dictionary fills its slots further, to keep the index small
  // beside the dictionary; a small one has room to spare for short probes.
  const bool large = total > (std::size_t{1} << 20);
  std::size_t slots = 0;
  // Room for a section's words, and at least one slot to spare.
  auto size_for = [&](std::size_t n) { return n + (large ? n / 4 : n) + 1; };
  for (const std::size_t n : words) slots += size_for(n);
  bytes_ = slots * sizeof(Slot);
  // Memory handed out zeroed, touched only where sections are filled.
  memory_ = static_cast<Slot*>(AllocateArray(bytes_));
  Slot* next = memory_;
  for (std::size_t s = 0; s < index.section_count_; ++s) {
    index.sections_[s].slots = SlotSpan(next, size_for(words[s]));
    next += size_for(words[s]);
  }
}

BestWordIndex::Filler::~Filler() { FreeArray(memory_, bytes_); }

// Each of the dictionary's partitions is a piece of work for whichever
// thread is free, so that a thread slowed by other work on its core holds
// up nothing; a section is locked while a word goes into it. Then each
// section gets its records, again on any thread.
void BestWordIndex::Filler::Fill(std::span<const bool> wanted, unsigned threads) {
  const std::size_t count = index_.section_count_;
  // A section that an earlier fill began and did not end (memory ran out)
  // is cleared first; the others are as they were handed out, zeroed.
  ++passes_;
  ParallelFor(count, threads, [&](std::size_t s) {
    Section& section = index_.sections_[s];
    if (!wanted[s]) return;
    if (section.begun) {
      section.slots.Clear();
      section.records.clear();
      section.frequent.clear();
      section.others.clear();
    }
    section.begun = true;
  });
  ParallelFor(Dictionary::kPartitions, threads,
              [&](std::size_t p) { Scan(wanted, p, threads > 1); });
  ParallelFor(count, threads, [&](std::size_t s) {
    if (wanted[s]) Record(s);
  });
  for (std::size_t s = 0; s < count; ++s) {
    if (wanted[s]) index_.sections_[s].filled.store(true, std::memory_order_release);
  }
}

void BestWordIndex::Filler::Scan(std::span<const bool> wanted, std::size_t p, bool locked) const {
  const Dictionary& dictionary = index_.dictionary_;
  std::string scratch;
  // Adds the entry `id` with `word` and `count`, of the key with KeyHash
  // `hash`, to section s: a new key takes an empty slot; a key met before
  // keeps the better of its best word and this one, and the other is kept
  // aside with the key's slot.
  auto insert = [&](std::size_t s, std::uint64_t hash, Dictionary::EntryId id,
                    std::string_view word, std::int32_t count) {
    Section& section = index_.sections_[s];
    // Released however the insert ends: memory may run out in it.
    struct Hold {
      std::atomic_flag* lock;
      ~Hold() {
        if (lock != nullptr) lock->clear(std::memory_order_release);
      }
    } hold{locked ? &section.lock : nullptr};
    if (locked) {
      while (section.lock.test_and_set(std::memory_order_acquire)) {
      }
    }
    if (index_.shape_.at_fill_step) index_.shape_.at_fill_step();
    const std::uint32_t tag = TagOf(hash);
    const std::size_t i = section.slots.Find(
        tag, [&](Slot slot) { return SameKey(dictionary.Word(slot.value), word, &scratch); });
    Slot& slot = section.slots[i];
    if (slot.tag == 0) {
      slot = Slot{tag, id};
      if (Earns(word, count)) section.frequent.push_back(static_cast<std::uint32_t>(i));
      return;
    }
    slot.tag |= kOthers;
    const std::string_view best = dictionary.Word(slot.value);
    const std::int32_t best_count = dictionary.Count(slot.value);
    if (count > best_count || (count == best_count && word < best)) {
      section.others.emplace_back(i, slot.value);
      slot.value = id;
      if (Earns(word, count) && !Earns(best, best_count)) {
        section.frequent.push_back(static_cast<std::uint32_t>(i));
      }
    } else {
      section.others.emplace_back(i, id);
    }
  };
  // Entries wait in a small batch while the slots they go to are fetched.
  struct Pending {
    std::size_t section;
    std::uint64_t hash;
    std::string_view word;
    Dictionary::EntryId id;
    std::int32_t count;
  };
  // Batches of 8 or 128 fill as fast; none at all takes 30% more time on
  // one core (3.2 million words, the 600 KB text: 601 against 471 ms of CPU).
  constexpr std::size_t kBatch = 32;
  constexpr std::size_t kSlotsPerLine = 64 / sizeof(Slot);
  Pending pending[kBatch];
  std::size_t waiting = 0;
  auto insert_waiting = [&] {
    for (const Pending& e : std::span(pending, waiting))
      insert(e.section, e.hash, e.id, e.word, e.count);
    waiting = 0;
  };
  dictionary.ForEachIn(p, [&](Dictionary::EntryId id, std::string_view word, std::int32_t count) {
    if (!LooksUp(word)) return;
    const std::size_t s = index_.SectionOf(word);
    if (!wanted[s]) return;
    const SlotSpan& slots = index_.sections_[s].slots;
    const std::uint64_t hash = KeyHash(word, MakeLetterKey(word));
    // The run of slots an insert reads seldom passes the next cache line.
    const std::size_t home = slots.Home(TagOf(hash));
    Prefetch(&slots[home]);
    Prefetch(&slots[std::min(home + kSlotsPerLine - 1, slots.size() - 1)]);
    pending[waiting++] = Pending{s, hash, word, id, count};
    if (waiting == kBatch) insert_waiting();
  });
  insert_waiting();
}

void BestWordIndex::Filler::Record(std::size_t s) const {
  const Dictionary& dictionary = index_.dictionary_;
  Section& section = index_.sections_[s];
  // What the pass found goes with this call (a moved-from vector is empty).
  std::vector<std::pair<std::uint32_t, std::uint32_t>> others = std::move(section.others);
  const std::vector<std::uint32_t> frequent = std::move(section.frequent);
  if (frequent.empty()) return;
  // The keys with the highest counts, most frequent first.
  std::vector<std::pair<std::int32_t, std::size_t>> by_count;  // count, slot
  by_count.reserve(frequent.size());
  for (const std::uint32_t i : frequent) {
    by_count.emplace_back(dictionary.Count(section.slots[i].value), i);
  }
  std::sort(by_count.begin(), by_count.end(), std::greater<>());
  std::sort(others.begin(), others.end());
  std::vector<std::string_view> words;
  std::string key;
  for (const auto& [count, i] : by_count) {
    if (index_.shape_.at_fill_step) index_.shape_.at_fill_step();
    Slot& slot = section.slots[i];
    const std::string_view best = dictionary.Word(slot.value);
    words.clear();
    auto run = std::lower_bound(others.begin(), others.end(), std::pair(std::uint32_t(i), 0u));
    for (; run != others.end() && run->first == i; ++run) {
      words.push_back(dictionary.Word(run->second));
    }
    const LetterKey letters = MakeLetterKey(best);
    if (!letters.valid()) {
      key.resize(best.size());
      MakeWordKey(best, key.data());
    }
    slot.value = static_cast<std::uint32_t>(
        IndexRecord::Append(letters, key, best, words, &section.records));
    slot.tag |= kRecorded;
  }
}

}  // namespace dorvenix
