// WordTable: a hash set of distinct byte strings, each carrying one signed
// 32-bit value.
//
// The table owns its strings: each is copied once into an arena of large
// blocks, next to its value, and never moves. A Ref names one string for as
// long as the table lives (until Clear()); so do the string_views Word()
// returns. The hash index holds only a 32-bit hash tag and the Ref per slot,
// so a string costs its bytes, an 8-byte header and about 10 bytes of index.
// Single-threaded.
#ifndef DORVENIX_DICTIONARY_WORD_TABLE_H_
#define DORVENIX_DICTIONARY_WORD_TABLE_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

namespace dorvenix {

namespace internal {

__extension__ typedef unsigned __int128 Uint128;

inline std::uint64_t Mix(std::uint64_t a, std::uint64_t b) {
  const Uint128 product = static_cast<Uint128>(a) * b;
  return static_cast<std::uint64_t>(product) ^ static_cast<std::uint64_t>(product >> 64);
}

template <class T>
inline std::uint64_t Load(const char* p) {
  T value;
  std::memcpy(&value, p, sizeof value);
  return value;
}

inline constexpr std::uint64_t kP0 = 0xa0761d6478bd642full;
inline constexpr std::uint64_t kP1 = 0xe7037ed1a0b428dbull;
inline constexpr std::uint64_t kP2 = 0x8ebc6af09c88c6e3ull;

}  // namespace internal

// A fast 64-bit hash of a byte string (not cryptographic).
// Performance-critical: every learnt and every deciphered word is hashed.
inline std::uint64_t HashBytes(std::string_view bytes) {
  using internal::Load;
  using internal::Mix;
  const char* p = bytes.data();
  std::size_t n = bytes.size();
  std::uint64_t seed = internal::kP0 ^ n;
  std::uint64_t a = 0, b = 0;
  if (n <= 16) {
    if (n >= 8) {
      a = Load<std::uint64_t>(p);
      b = Load<std::uint64_t>(p + n - 8);
    } else if (n >= 4) {
      a = Load<std::uint32_t>(p);
      b = Load<std::uint32_t>(p + n - 4);
    } else if (n > 0) {
      a = (std::uint64_t{static_cast<unsigned char>(p[0])} << 16) |
          (std::uint64_t{static_cast<unsigned char>(p[n >> 1])} << 8) |
          static_cast<unsigned char>(p[n - 1]);
    }
  } else {
    while (n > 16) {
      seed = Mix(Load<std::uint64_t>(p) ^ internal::kP1, Load<std::uint64_t>(p + 8) ^ seed);
      p += 16;
      n -= 16;
    }
    a = Load<std::uint64_t>(p + n - 16);
    b = Load<std::uint64_t>(p + n - 8);
  }
  return Mix(internal::kP1 ^ bytes.size(), Mix(a ^ internal::kP1, b ^ seed) ^ internal::kP2);
}

class WordTable {
 public:
  using Ref = std::uint32_t;
  static constexpr Ref kNoRef = 0xFFFFFFFFu;

  WordTable();
  ~WordTable();
  WordTable(const WordTable&) = delete;
  WordTable& operator=(const WordTable&) = delete;

  // Returns the Ref of `word`, or kNoRef when the table does not hold it.
  // REQUIRES: hash == HashBytes(word).
  Ref Find(std::string_view word, std::uint64_t hash) const {
    return FindIf(hash, [&](Ref ref) { return Holds(ref, word); });
  }

  // Asks the processor to fetch the slot where a look-up of `hash` starts.
  void Prefetch(std::uint64_t hash) const {
    __builtin_prefetch(&slots_[SlotIndex(static_cast<std::uint32_t>(hash))]);
  }

  // Asks the processor to fetch the string in the slot where a look-up of
  // `hash` starts, when that slot's tag matches (its slot should have been
  // prefetched a while before).
  void PrefetchString(std::uint64_t hash) const {
    const auto tag = static_cast<std::uint32_t>(hash);
    const Slot slot = slots_[SlotIndex(tag)];
    if (slot.tag == tag && slot.ref != kNoRef) __builtin_prefetch(RecordAt(slot.ref));
  }

  // Returns the first string filed under `hash` for which matches(ref) is
  // true, or kNoRef.
  template <class Matches>
  Ref FindIf(std::uint64_t hash, Matches&& matches) const {
    const auto tag = static_cast<std::uint32_t>(hash);
    for (std::size_t i = SlotIndex(tag);; i = (i + 1) & mask_) {
      const Slot slot = slots_[i];
      if (slot.ref == kNoRef) return kNoRef;
      if (slot.tag == tag && matches(slot.ref)) return slot.ref;
    }
  }

  // Returns the Ref of `word`, first adding it with `value` when it is absent;
  // `*added` says whether it was added. Throws std::bad_alloc when memory or
  // the table's 16 GiB of string space runs out.
  // REQUIRES: hash == HashBytes(word).
  Ref FindOrAdd(std::string_view word, std::uint64_t hash, std::int32_t value, bool* added) {
    const auto tag = static_cast<std::uint32_t>(hash);
    std::size_t i = SlotIndex(tag);
    for (;; i = (i + 1) & mask_) {
      const Slot slot = slots_[i];
      if (slot.ref == kNoRef) break;
      if (slot.tag == tag && Holds(slot.ref, word)) {
        *added = false;
        return slot.ref;
      }
    }
    *added = true;
    return Add(i, tag, word, value);
  }

  std::string_view Word(Ref ref) const {
    const char* record = RecordAt(ref);
    std::uint32_t length;
    std::memcpy(&length, record + 4, sizeof length);
    return {record + kHeaderSize, length};
  }
  std::int32_t Value(Ref ref) const {
    std::int32_t value;
    std::memcpy(&value, RecordAt(ref), sizeof value);
    return value;
  }
  void SetValue(Ref ref, std::int32_t value) { std::memcpy(RecordAt(ref), &value, sizeof value); }

  // Number of strings held.
  std::size_t size() const { return size_; }

  // Removes every string; all Refs and views become invalid.
  void Clear();

  // Calls f(ref) once for every string held, in arena order.
  template <class F>
  void ForEach(F&& f) const {
    for (std::size_t b = 0; b < blocks_.size(); ++b) {
      const Block& block = blocks_[b];
      std::size_t offset = 0;
      while (offset < block.used) {
        f(static_cast<Ref>((b << kOffsetBits) | (offset >> 2)));
        std::uint32_t length;
        std::memcpy(&length, block.data.get() + offset + 4, sizeof length);
        offset += RecordSize(length);
      }
    }
  }

 private:
  struct Slot {
    std::uint32_t tag;  // low 32 bits of the string's hash
    Ref ref;            // kNoRef marks an empty slot
  };
  struct Block {
    std::unique_ptr<char[]> data;  // records: value, length, bytes, padding to 4
    std::size_t used = 0;          // bytes of `data` holding records
    std::size_t capacity = 0;      // bytes allocated
  };

  static constexpr std::size_t kHeaderSize = 8;
  static constexpr unsigned kOffsetBits = 18;  // a Ref is block:14 | (offset/4):18
  static constexpr std::size_t kBlockSize = std::size_t{4} << kOffsetBits;  // 1 MiB
  static constexpr std::size_t kMaxBlocks = std::size_t{1} << (32 - kOffsetBits);
  static constexpr std::size_t kLargeRecord = kBlockSize / 16;  // gets a block of its own

  static std::size_t RecordSize(std::size_t length) {
    return (kHeaderSize + length + 3) & ~std::size_t{3};
  }

  char* RecordAt(Ref ref) const {
    return blocks_[ref >> kOffsetBits].data.get() +
           (std::size_t{ref & ((1u << kOffsetBits) - 1)} << 2);
  }
  std::size_t SlotIndex(std::uint32_t tag) const { return (tag * 0x9E3779B9u) >> shift_; }
  bool Holds(Ref ref, std::string_view word) const {
    const std::string_view held = Word(ref);
    return held.size() == word.size() && BytesEqual(held.data(), word.data(), word.size());
  }
  // memcmp(a, b, n) == 0, without a call for the short words of ordinary text.
  static bool BytesEqual(const char* a, const char* b, std::size_t n) {
    if (n >= 4 && n <= 8) {
      using internal::Load;
      return ((Load<std::uint32_t>(a) ^ Load<std::uint32_t>(b)) |
              (Load<std::uint32_t>(a + n - 4) ^ Load<std::uint32_t>(b + n - 4))) == 0;
    }
    if (n > 8 && n <= 16) {
      using internal::Load;
      return ((Load<std::uint64_t>(a) ^ Load<std::uint64_t>(b)) |
              (Load<std::uint64_t>(a + n - 8) ^ Load<std::uint64_t>(b + n - 8))) == 0;
    }
    return std::memcmp(a, b, n) == 0;
  }

  // Adds `word` in the empty slot `slot`, growing the index when it fills.
  Ref Add(std::size_t slot, std::uint32_t tag, std::string_view word, std::int32_t value);
  Ref AddRecord(std::string_view word, std::int32_t value);
  void Grow();

  std::vector<Block> blocks_;  // the arena
  std::size_t filling_ = 0;    // index of the block that small records go to
  std::vector<Slot> slots_;    // open addressing, linear probing
  std::size_t mask_ = 0;       // slots_.size() - 1
  unsigned shift_ = 0;         // 32 - log2(slots_.size())
  std::size_t size_ = 0;       // strings held
};

}  // namespace dorvenix

#endif  // DORVENIX_DICTIONARY_WORD_TABLE_H_
