#include "dictionary/report.h"

#include <cstdint>
#include <string>
#include <string_view>

#include "dictionary/word_key.h"

namespace dorvenix {

void PrintReport(const Dictionary& dictionary, OutputFile& out, unsigned threads) {
  // The entry before the first has an empty key and word and count 0.
  std::string_view previous_word;  // views stay valid: the dictionary owns them
  std::int32_t previous_count = 0;
  std::string scratch;
  std::uint64_t collisions = 0;
  dictionary.ForEachInOrder(
      [&](std::string_view word, std::int32_t count) {
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
      },
      threads);
  out.Write("Words loaded(excluding 3 letter words and shorter)=");
  out.WriteInt(static_cast<std::int64_t>(dictionary.size()));
  out.Write("\nCollisions=");
  out.WriteInt(static_cast<std::int64_t>(collisions));
  out.Put('\n');
}

}  // namespace dorvenix
