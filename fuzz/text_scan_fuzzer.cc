// Deciphers arbitrary text with a small seed dictionary, then learns it,
// each whole and in small blocks.
//
// Invariants: the blocks change nothing; deciphering keeps every byte that
// is not a letter in place and gives for each word what the plain rules give
// for its lowercase form (test_support.h BestOf); learning adds one count
// for each occurrence of a word of more than 3 letters, lowercased.
#include "dictionary/dictionary_file.h"
#include "fuzz_check.h"
#include "index/best_word_index.h"
#include "test_support.h"
#include "text/decipher.h"
#include "text/learn.h"

namespace {

using dorvenix::testing::TextInput;

// Collisions, ties, zero and negative counts, capitals and non-letters.
constexpr std::string_view kSeed =
    "beard 2\nbread 7\nform 4\nfrom 4\ntest 1\ntset 3\nquick 2\nqucik 2\nzero 0\nzore -1\n"
    "Hello 5\nab-cd 2\nabcd 1\nnegative -7\nnegtaive 0\n";

// Deciphers `text` read `block` bytes at a time, in blocks of that size on 3
// threads (or in one block on one thread for SIZE_MAX).
std::string Decipher(const dorvenix::BestWordIndex& index, std::string_view text,
                     std::size_t block) {
  std::string bytes;
  dorvenix::OutputFile out(&bytes);
  TextInput in(text, block);
  const dorvenix::WorkPlan plan =
      block == SIZE_MAX ? dorvenix::WorkPlan{} : dorvenix::WorkPlan{3, block};
  FUZZ_CHECK(dorvenix::DecipherText(index, in, out, plan).ok() && out.Flush());
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace dorvenix;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::size_t block = SmallBlockSize(data, size);
  Dictionary whole, small;
  TextInput seed(kSeed), small_seed(kSeed, block);
  const WorkPlan plan{3, block};  // small blocks on 3 threads
  FUZZ_CHECK(LoadDictionary(whole, seed).ok() && LoadDictionary(small, small_seed, plan).ok());
  testing::Counts counts;
  for (const SortedEntry& e : whole.InOrder()) counts.emplace(whole.Word(e.id), whole.Count(e.id));

  const BestWordIndex index(whole);
  const std::string out = Decipher(index, text, SIZE_MAX);
  FUZZ_CHECK(Decipher(index, text, block) == out && out.size() == text.size());
  testing::Counts learnt = counts;
  for (std::size_t i = 0, end = 0; i < text.size(); i = std::max(end, i + 1)) {
    std::string lower;
    for (end = i; end < text.size() && testing::IsLetter(text[end]); ++end)
      lower += text[end] | 0x20;
    FUZZ_CHECK(lower.empty() ? out[i] == text[i]
                             : out.substr(i, end - i) == testing::BestOf(counts, lower));
    if (lower.size() > 3) ++learnt[lower];
  }

  TextInput in(text), small_in(text, block);
  FUZZ_CHECK(LearnFromText(whole, in).ok() && LearnFromText(small, small_in, plan).ok());
  FUZZ_CHECK(testing::Listing(small) == testing::Listing(whole));
  FUZZ_CHECK(testing::Listing(whole) == testing::Listing(learnt));
  return 0;
}
