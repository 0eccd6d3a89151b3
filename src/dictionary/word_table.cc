#include "dictionary/word_table.h"

#include <new>

namespace dorvenix {
namespace {

constexpr std::size_t kInitialSlots = 1024;

__extension__ typedef unsigned __int128 Uint128;

inline std::uint64_t Mix(std::uint64_t a, std::uint64_t b) {
  const Uint128 product = static_cast<Uint128>(a) * b;
  return static_cast<std::uint64_t>(product) ^ static_cast<std::uint64_t>(product >> 64);
}

inline std::uint64_t Load64(const char* p) {
  std::uint64_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

inline std::uint64_t Load32(const char* p) {
  std::uint32_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

constexpr std::uint64_t kP0 = 0xa0761d6478bd642full;
constexpr std::uint64_t kP1 = 0xe7037ed1a0b428dbull;
constexpr std::uint64_t kP2 = 0x8ebc6af09c88c6e3ull;

constexpr unsigned Log2(std::size_t n) {
  unsigned bits = 0;
  while ((std::size_t{1} << bits) < n) ++bits;
  return bits;
}

}  // namespace

// Performance-critical: every learnt and every deciphered word is hashed.
std::uint64_t HashBytes(std::string_view bytes) {
  const char* p = bytes.data();
  std::size_t n = bytes.size();
  std::uint64_t seed = kP0 ^ n;
  std::uint64_t a = 0, b = 0;
  if (n <= 16) {
    if (n >= 8) {
      a = Load64(p);
      b = Load64(p + n - 8);
    } else if (n >= 4) {
      a = Load32(p);
      b = Load32(p + n - 4);
    } else if (n > 0) {
      a = (std::uint64_t{static_cast<unsigned char>(p[0])} << 16) |
          (std::uint64_t{static_cast<unsigned char>(p[n >> 1])} << 8) |
          static_cast<unsigned char>(p[n - 1]);
    }
  } else {
    while (n > 16) {
      seed = Mix(Load64(p) ^ kP1, Load64(p + 8) ^ seed);
      p += 16;
      n -= 16;
    }
    a = Load64(p + n - 16);
    b = Load64(p + n - 8);
  }
  return Mix(kP1 ^ bytes.size(), Mix(a ^ kP1, b ^ seed) ^ kP2);
}

WordTable::WordTable()
    : slots_(kInitialSlots, Slot{0, kNoRef}),
      mask_(kInitialSlots - 1),
      shift_(32 - Log2(kInitialSlots)) {}

WordTable::~WordTable() = default;

WordTable::Ref WordTable::Find(std::string_view word, std::uint64_t hash) const {
  const auto tag = static_cast<std::uint32_t>(hash);
  for (std::size_t i = SlotIndex(tag);; i = (i + 1) & mask_) {
    const Slot slot = slots_[i];
    if (slot.ref == kNoRef) return kNoRef;
    if (slot.tag == tag && Holds(slot.ref, word)) return slot.ref;
  }
}

WordTable::Ref WordTable::FindOrAdd(std::string_view word, std::uint64_t hash, std::int32_t value,
                                    bool* added) {
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
  const Ref ref = AddRecord(word, value);
  slots_[i] = Slot{tag, ref};
  ++size_;
  *added = true;
  // Keep the load at or below 4/5: probes stay short and the index small.
  if (size_ * 5 > slots_.size() * 4) Grow();
  return ref;
}

WordTable::Ref WordTable::AddRecord(std::string_view word, std::int32_t value) {
  if (word.size() > 0xFFFFFFF0u) throw std::bad_alloc();
  const std::size_t size = RecordSize(word.size());
  std::size_t b;
  if (size > kLargeRecord) {
    b = blocks_.size();
  } else if (!blocks_.empty() && blocks_[filling_].capacity - blocks_[filling_].used >= size) {
    b = filling_;
  } else {
    b = blocks_.size();
    filling_ = b;
  }
  if (b == blocks_.size()) {
    if (b >= kMaxBlocks) throw std::bad_alloc();
    const std::size_t capacity = size > kLargeRecord ? size : kBlockSize;
    blocks_.push_back(Block{std::make_unique_for_overwrite<char[]>(capacity), 0, capacity});
  }
  Block& block = blocks_[b];
  char* record = block.data.get() + block.used;
  const auto length = static_cast<std::uint32_t>(word.size());
  std::memcpy(record, &value, sizeof value);
  std::memcpy(record + 4, &length, sizeof length);
  if (!word.empty()) std::memcpy(record + kHeaderSize, word.data(), word.size());
  const Ref ref = static_cast<Ref>((b << kOffsetBits) | (block.used >> 2));
  block.used += size;
  return ref;
}

void WordTable::Grow() {
  std::vector<Slot> old(slots_.size() * 2, Slot{0, kNoRef});
  old.swap(slots_);
  mask_ = slots_.size() - 1;
  --shift_;
  for (const Slot& slot : old) {
    if (slot.ref == kNoRef) continue;
    std::size_t i = SlotIndex(slot.tag);
    while (slots_[i].ref != kNoRef) i = (i + 1) & mask_;
    slots_[i] = slot;
  }
}

void WordTable::Clear() {
  blocks_.clear();
  filling_ = 0;
  slots_.assign(kInitialSlots, Slot{0, kNoRef});
  mask_ = kInitialSlots - 1;
  shift_ = 32 - Log2(kInitialSlots);
  size_ = 0;
}

}  // namespace dorvenix
