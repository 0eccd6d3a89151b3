#include "dictionary/report.h"

#include <cstdint>
#include <string>
#include <string_view>

#include "dictionary/word_key.h"

namespace dorvenix {

namespace {

// Whether `a` and `b` have the same key, mostly without sorting anything.
bool SameKey(std::string_view a, std::string_view b, std::string* scratch) {
  if (a.size() != b.size()) return false;
  if (a.empty()) return true;
  if (!IsStoredLength(a.size())) return a == b;
  if (a.front() != b.front() || a.back() != b.back()) return false;
  const std::uint64_t product = InnerLetterProduct(a);
  if (product != 0) return product == InnerLetterProduct(b);
  scratch->resize(2 * a.size());
  MakeWordKeyInto(a, scratch->data());
  MakeWordKeyInto(b, scratch->data() + a.size());
  return std::string_view(*scratch).substr(0, a.size()) ==
         std::string_view(*scratch).substr(a.size());
}

}  // namespace

void PrintReport(const Dictionary& dictionary, OutputFile& out) {
  // The entry before the first has an empty key and word and count 0.
  std::string_view previous_word;  // views stay valid: the dictionary owns them
  std::int32_t previous_count = 0;
  std::string scratch;
  std::uint64_t collisions = 0;
  dictionary.ForEachInOrder([&](std::string_view word, std::int32_t count) {
    if (SameKey(word, previous_word, &scratch)) {
      out.Write("Collision: ");
      out.Write(previous_word);
      out.Put('(');
      out.WriteInt(previous_count);
      out.Write(") with ");
      out.Write(word);
      out.Put('(');
      out.WriteInt(count);
      out.Write(")\n");
      ++collisions;
    }
    previous_word = word;
    previous_count = count;
  });
  out.Write("Words loaded(excluding 3 letter words and shorter)=");
  out.WriteInt(static_cast<std::int64_t>(dictionary.size()));
  out.Write("\nCollisions=");
  out.WriteInt(static_cast<std::int64_t>(collisions));
  out.Put('\n');
}

}  // namespace dorvenix
