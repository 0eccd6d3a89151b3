#include "dictionary/dictionary_file.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <exception>
#include <new>
#include <string_view>
#include <vector>

#include "base/ordered_pipeline.h"
#include "base/turns.h"
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
struct Job : NumberedBlock {
  std::uint64_t lines = 0;  // lines read, up to a malformed one
  bool malformed = false;   // the last line read is malformed
  const char* reason = "";  // what is wrong with it
  std::uint64_t read = 0;   // bytes of the file read up to this block
};

// Guesses from the share of a regular file read so far how many entries each
// partition will end with, so that the tables grow in a few large steps
// instead of a dozen doublings, each of which moves every slot.
class SizeGuess {
 public:
  SizeGuess(const Dictionary& dictionary, std::uint64_t file_size) : file_size_(file_size) {
    for (std::size_t p = 0; p < Dictionary::kPartitions; ++p) {
      start_[p] = dictionary.PartitionSize(p);
    }
  }

  // Makes room in partition p once the blocks up to `job` are in it.
  void After(Dictionary& dictionary, std::size_t p, const Job& job) const {
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

// What a worker needs for one block.
struct Scratch {
  std::vector<Dictionary::Entry> entries;
  EntryBuckets buckets;
};

// Parses the lines of job.block into s.entries, up to the first malformed
// line.
void ParseLines(Job& job, Scratch& s) {
  s.entries.clear();
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
    if (++job.lines == 1 && job.number == 0 && line.starts_with(kByteOrderMark)) {
      line.remove_prefix(kByteOrderMark.size());
    }
    const EntryLine parsed = ParseEntryLine(line);
    if (parsed.kind == EntryLine::Kind::kEntry) s.entries.push_back(parsed.entry);
    if (parsed.kind == EntryLine::Kind::kMalformed) {
      job.malformed = true;
      job.reason = parsed.reason;
      return;
    }
  }
}

// Performance-critical for large dictionaries: blocks of whole lines are
// parsed in place on worker threads; the entries of each block are added to
// each partition after those of the block before, so counts add up in file
// order (which matters where they saturate) and nothing after a malformed
// line is added.
Status Load(Dictionary& dictionary, InputFile& in, const WorkPlan& plan) {
  BlockReader reader(in, kLineFeed, plan.block_size);
  std::vector<Job> jobs(plan.slots());
  std::vector<Scratch> scratch(plan.workers());
  Turns turns(Dictionary::kPartitions);
  std::atomic<std::uint64_t> first_malformed{UINT64_MAX};  // number of the first bad block
  std::uint64_t made = 0;
  std::uint64_t lines_before = 0;  // lines of the blocks finished so far
  Status result;
  const SizeGuess guess(dictionary, in.size());
  RunOrderedPipeline(
      plan.threads, plan.slots(),
      [&](std::size_t slot) {
        const bool more = reader.Next(jobs[slot], &made);
        jobs[slot].read = in.consumed();
        // After a read error the block holds only the start of a line.
        return more && !in.failed();
      },
      [&](std::size_t slot, unsigned worker) {
        Job& job = jobs[slot];
        Scratch& s = scratch[worker];
        if (plan.threads < 2) {
          // Alone: no turns to take, and no sorting by partition.
          ParseLines(job, s);
          dictionary.AddEntries(s.entries);
          for (std::size_t p = 0; p < Dictionary::kPartitions; ++p) guess.After(dictionary, p, job);
          return;
        }
        std::exception_ptr failure;
        try {
          ParseLines(job, s);
          if (job.malformed) {
            std::uint64_t seen = first_malformed.load();
            while (job.number < seen && !first_malformed.compare_exchange_weak(seen, job.number)) {
            }
          }
          s.buckets.Fill(
              s.entries.size(), [&](std::size_t i) { return s.entries[i].word; },
              [&](std::size_t i) { return s.entries[i].count; });
        } catch (...) {
          failure = std::current_exception();
        }
        turns.Take(job.number, [&](std::size_t p) {
          if (!failure && job.number <= first_malformed.load()) {
            dictionary.AddToPartition(p, s.buckets.Of(p));
            guess.After(dictionary, p, job);
          }
        });
        if (failure) std::rethrow_exception(failure);
      },
      [&](std::size_t slot) {
        const Job& job = jobs[slot];
        if (job.malformed) {
          result = Status::MalformedLine(lines_before + job.lines, job.reason);
          return false;
        }
        lines_before += job.lines;
        return true;
      });
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
