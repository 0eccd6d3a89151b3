#include "dictionary/report.h"

#include <cstdint>
#include <string>
#include <string_view>

#include "dictionary/word_key.h"

namespace dorvenix {

void PrintReport(const Dictionary& dictionary, OutputFile& out) {
  std::string previous_key;
  std::string_view previous_word;  // views stay valid: the dictionary owns them
  std::int32_t previous_count = 0;
  std::string key;
  std::uint64_t collisions = 0;
  dictionary.ForEachInOrder([&](std::string_view word, std::int32_t count) {
    key.resize(word.size());
    MakeWordKeyInto(word, key.data());
    if (key == previous_key) {
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
    previous_key.swap(key);
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
