#include "dictionary/report.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "dictionary/word_key.h"
#include "io/range_writer.h"

namespace dorvenix {

Status PrintReport(const Dictionary& dictionary, OutputFile& out, unsigned threads) {
  return Guarded([&] {
    const SortedEntries entries = dictionary.InOrder(threads);
    const std::uint64_t collisions = WriteInRanges(
        out, entries.size(), threads, [&](std::size_t begin, std::size_t end, OutputFile& text) {
          // The entry before the first has an empty key and word and count 0.
          std::string_view previous_word;
          std::int32_t previous_count = 0;
          if (begin > 0) {
            previous_word = dictionary.Word(entries[begin - 1].id);
            previous_count = dictionary.Count(entries[begin - 1].id);
          }
          std::string scratch;
          std::uint64_t found = 0;
          for (std::size_t i = begin; i < end; ++i) {
            const std::string_view word = dictionary.Word(entries[i].id);
            const std::int32_t count = dictionary.Count(entries[i].id);
            if (SameKey(word, previous_word, &scratch)) {
              text.Write("Collision: ");
              text.Write(previous_word);
              text.Put('(');
              text.WriteInt(previous_count);
              text.Write(") with ");
              text.Write(word);
              text.Put('(');
              text.WriteInt(count);
              text.Write(")\n");
              ++found;
            }
            previous_word = word;
            previous_count = count;
          }
          return found;
        });
    out.Write("Words loaded(excluding 3 letter words and shorter)=");
    out.WriteInt(static_cast<std::int64_t>(dictionary.size()));
    out.Write("\nCollisions=");
    out.WriteInt(static_cast<std::int64_t>(collisions));
    out.Put('\n');
    return Status();
  });
}

}  // namespace dorvenix
