#include "dictionary/dictionary_file.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <string_view>
#include <vector>

#include "dictionary/block_adder.h"
#include "dictionary/entry_buckets.h"
#include "dictionary/entry_line.h"
#include "io/block_reader.h"
#include "io/range_writer.h"

namespace dorvenix {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

constexpr SeparatorTable kLineFeed = [] {
  SeparatorTable table{};
  table['\n'] = true;
  return table;
}();

// One block of whole lines in the air.
struct Job {
  BlockBuffer buffer;
  Block block;
  std::uint64_t lines = 0;  // lines read, up to a malformed one
  bool malformed = false;   // the last line read is malformed
  const char* reason = "";  // what is wrong with it
  std::uint64_t read = 0;   // bytes of the file read up to this block
};

// Guesses from the share of a regular file read so far how many entries each
// partition will end with, so that the tables grow in a few large steps
// instead of a dozen doublings, each of which moves every place.
class SizeGuess {
 public:
  SizeGuess(const Dictionary& dictionary, std::uint64_t file_size) : file_size_(file_size) {
    for (std::size_t p = 0; p < Dictionary::kPartitions; ++p) {
      start_[p] = dictionary.PartitionSize(p);
    }
  }

  // Makes room in partition p once the blocks up to `job` are in it.
  void After(Dictionary& dictionary, std::size_t p, const Job& job) const noexcept {
    if (job.read == 0 || job.read >= file_size_) return;
    const double added = static_cast<double>(dictionary.PartitionSize(p) - start_[p]);
    const double expected = static_cast<double>(start_[p]) +
                            added * static_cast<double>(file_size_) / static_cast<double>(job.read);
    try {
      dictionary.ReservePartition(p, static_cast<std::size_t>(std::min(expected, 0x1p60)));
    } catch (const std::bad_alloc&) {
      // Only a guess: the entries are added all the same, growing as needed.
    }
  }

 private:
  std::uint64_t file_size_;                                   // 0 when unknown
  std::array<std::size_t, Dictionary::kPartitions> start_{};  // entries before the load
};

// Parses the lines of job.block into *entries, up to the first malformed
// line (the first block may start with a byte order mark), handing them to
// add(*entries) and starting afresh whenever `batch` of them are ready.
template <class Add>
void ParseLines(Job& job, bool first, std::vector<Dictionary::Entry>* entries, std::size_t batch,
                Add&& add) {
  entries->clear();
  job.lines = 0;
  job.malformed = false;
  const char* p = job.block.bytes.data();
  const char* const end = p + job.block.bytes.size();
  while (p < end) {
    const char* newline =
        static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
    const char* const line_end = newline == nullptr ? end : newline;
    std::string_view line(p, static_cast<std::size_t>(line_end - p));
    p = line_end + 1;
    if (++job.lines == 1 && first && line.starts_with(kByteOrderMark)) {
      line.remove_prefix(kByteOrderMark.size());
    }
    const EntryLine parsed = ParseEntryLine(line);
    if (parsed.kind == EntryLine::Kind::kEntry) {
      entries->push_back(parsed.entry);
      if (entries->size() == batch) {
        add(std::span<const Dictionary::Entry>(*entries));
        entries->clear();
      }
    }
    if (parsed.kind == EntryLine::Kind::kMalformed) {
      job.malformed = true;
      job.reason = parsed.reason;
      break;
    }
  }
  add(std::span<const Dictionary::Entry>(*entries));
}

// A file of fewer blocks than this is loaded on the calling thread, in
// blocks of at most kSmallFileBlock: threads would cost more than they
// save, and a smaller block less fresh memory.
constexpr std::uint64_t kSmallFileBlocks = 8;
constexpr std::size_t kSmallFileBlock = std::size_t{256} << 10;

// Performance-critical for large dictionaries: blocks of whole lines are
// parsed in place on worker threads; the entries of each block are added to
// each partition after those of the block before, so counts add up in file
// order (which matters where they saturate) and nothing after a malformed
// line is added.
Status Load(Dictionary& dictionary, InputFile& in, const WorkPlan& given) {
  WorkPlan plan = given;
  if (in.size() != 0 && in.size() / kSmallFileBlocks < given.block_size) {
    plan.threads = 1;
    plan.block_size = std::min(plan.block_size, kSmallFileBlock);
  }
  BlockReader reader(in, kLineFeed, plan.block_size);
  std::vector<Job> jobs(plan.places());
  std::vector<std::vector<Dictionary::Entry>> entries(plan.workers());
  std::uint64_t lines_before = 0;  // lines of the blocks finished so far
  Status result;
  const SizeGuess guess(dictionary, in.size());
  BlockAdder adder(dictionary, plan);
  auto make = [&](std::size_t place) {
    Job& job = jobs[place];
    job.block = reader.Next(job.buffer);
    job.read = in.consumed();
    // After a read error the block holds only the start of a line.
    return !job.block.bytes.empty() && !in.failed();
  };
  auto finish = [&](std::size_t place) noexcept {
    const Job& job = jobs[place];
    if (job.malformed) result = Status::MalformedLine(lines_before + job.lines, job.reason);
    lines_before += job.lines;
  };
  if (plan.threads < 2) {
    // Alone, the entries go straight in, in file order, a few thousand at a
    // time in memory that stays in the cache: sorting them by partition
    // first would cost 4% more time to load and save on one core.
    adder.RunAlone(
        make,
        [&](std::size_t place, auto&& add) {
          ParseLines(jobs[place], adder.block(place) == 0, &entries[0], 4096, add);
          return jobs[place].malformed;
        },
        [&](std::size_t place) noexcept {
          for (std::size_t p = 0; p < Dictionary::kPartitions; ++p) {
            guess.After(dictionary, p, jobs[place]);
          }
          finish(place);
        });
  } else {
    adder.Run(
        make,
        [&](std::size_t place, unsigned worker, EntryBuckets& out) {
          std::vector<Dictionary::Entry>& e = entries[worker];
          ParseLines(jobs[place], adder.block(place) == 0, &e, SIZE_MAX,
                     [](std::span<const Dictionary::Entry>) {});
          out.Fill(
              e.size(), [&](std::size_t i) { return e[i].word; },
              [&](std::size_t i) { return e[i].count; });
          return jobs[place].malformed;
        },
        [&](std::size_t place, std::size_t p) { guess.After(dictionary, p, jobs[place]); }, finish);
  }
  return in.failed() ? in.status() : result;
}

}  // namespace

Status LoadDictionary(Dictionary& dictionary, InputFile& in, const WorkPlan& plan) {
  return Guarded([&] { return Load(dictionary, in, plan); });
}

Status SaveDictionary(const Dictionary& dictionary, OutputFile& out, unsigned threads) {
  return Guarded([&] {
    const SortedEntries entries = dictionary.InOrder(threads);
    WriteInRanges(out, entries.size(), threads,
                  [&](std::size_t begin, std::size_t end, OutputFile& text) {
                    for (std::size_t i = begin; i < end; ++i) {
                      // Both read before any byte is written, which could alias them.
                      const std::string_view word = dictionary.Word(entries[i].id);
                      const std::int32_t count = dictionary.Count(entries[i].id);
                      text.Write(word);
                      text.Put(' ');
                      text.WriteInt(count);
                      text.Put('\n');
                    }
                    return std::uint64_t{0};
                  });
    return Status();
  });
}

}  // namespace dorvenix
