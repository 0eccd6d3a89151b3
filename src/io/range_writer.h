// WriteInRanges: writes a long sequence of items as text, formatting ranges
// of items on several threads and writing them in order.
#ifndef DORVENIX_IO_RANGE_WRITER_H_
#define DORVENIX_IO_RANGE_WRITER_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "io/output_file.h"
#include "threads/ordered_pipeline.h"

namespace dorvenix {

// Writes to `out` what format(begin, end, text) writes to `text` for the
// items [begin, end), for consecutive ranges covering [0, n), in order:
// the same bytes as format(0, n, out), formatted on up to `threads` threads.
// format returns a number; the sum over the ranges is returned.
template <class Format>
std::uint64_t WriteInRanges(OutputFile& out, std::size_t n, unsigned threads, Format&& format) {
  constexpr std::size_t kRange = std::size_t{1} << 14;  // items a thread formats at once
  if (threads < 2 || n <= kRange) return format(std::size_t{0}, n, out);
  const std::size_t places = std::size_t{threads} + 2;
  std::vector<std::string> texts(places);
  std::vector<std::unique_ptr<OutputFile>> sinks;
  for (std::string& text : texts) sinks.push_back(std::make_unique<OutputFile>(&text));
  std::vector<std::size_t> begins(places);
  std::vector<std::uint64_t> sums(places);
  std::size_t next = 0;
  std::uint64_t total = 0;
  RunOrderedPipeline(
      threads, places,
      [&](std::size_t place) {
        if (next == n) return false;
        begins[place] = next;
        next = n - next < kRange ? n : next + kRange;
        return true;
      },
      [&](std::size_t place, unsigned) {
        const std::size_t begin = begins[place];
        sums[place] = format(begin, n - begin < kRange ? n : begin + kRange, *sinks[place]);
        sinks[place]->Flush();
      },
      [&](std::size_t place) {
        out.Write(texts[place]);
        texts[place].clear();
        total += sums[place];
        return true;
      });
  return total;
}

}  // namespace dorvenix

#endif  // DORVENIX_IO_RANGE_WRITER_H_
