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

// A fast 64-bit hash of a byte string (not cryptographic).
std::uint64_t HashBytes(std::string_view bytes);

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
  Ref Find(std::string_view word, std::uint64_t hash) const;

  // Returns the Ref of `word`, first adding it with `value` when it is absent;
  // `*added` says whether it was added. Throws std::bad_alloc when memory or
  // the table's 16 GiB of string space runs out.
  // REQUIRES: hash == HashBytes(word).
  Ref FindOrAdd(std::string_view word, std::uint64_t hash, std::int32_t value, bool* added);

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
    return held.size() == word.size() && std::memcmp(held.data(), word.data(), word.size()) == 0;
  }
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
