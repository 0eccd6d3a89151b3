// Learns from and deciphers the same arbitrary text, on a small dictionary
// loaded from a fixed seed.
//
// Invariants of the deciphered text: same length; every non-letter byte
// copied at its place; letters only where the input has letters, so the same
// words; each word is the lowercased input word when it has 3 letters or
// fewer or is known, else the best known word sharing its key (highest
// positive count, then smallest), else the lowercased input word. Learning
// counts every word of more than 3 letters once. Reading the text in small
// blocks changes neither learning nor deciphering, and WordScanner fed blocks
// of any sizes gives the same words and separators as in one block.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "dictionary/dictionary.h"
#include "dictionary/dictionary_file.h"
#include "dictionary/word_key.h"
#include "fuzz_check.h"
#include "io/input_file.h"
#include "io/output_file.h"
#include "text/text_scanner.h"

namespace {

using dorvenix::Dictionary;
using dorvenix::InputFile;

// Collisions, ties, a zero and a negative count, capitals and non-letters:
// entries text can and cannot reach.
constexpr std::string_view kSeedDictionary =
    "beard 2\nbread 7\nform 4\nfrom 4\ntest 1\ntset 3\nquick 2\nqucik 2\nzero 0\nzore -1\n"
    "Hello 5\nab-cd 2\nabcd 1\nnegative -7\nnegtaive 0\n";

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Words (lowercased) and the separator text before each word and at the end.
struct Scan {
  std::vector<std::string> words;
  std::vector<std::string> gaps;  // gaps.size() == words.size() + 1
  bool operator==(const Scan&) const = default;
};

Scan ScanInBlocks(std::string_view text, const std::vector<std::size_t>& block_sizes) {
  Scan scan;
  scan.gaps.emplace_back();
  dorvenix::WordScanner scanner;
  auto on_word = [&](std::string_view w) {
    FUZZ_CHECK(!w.empty());
    scan.words.emplace_back(w);
    scan.gaps.emplace_back();
  };
  auto on_separators = [&](std::string_view s) {
    FUZZ_CHECK(!s.empty());
    scan.gaps.back().append(s);
  };
  std::string copy(text);  // the scanner lowercases in place
  std::size_t at = 0;
  for (std::size_t i = 0; at < copy.size(); ++i) {
    const std::size_t n = std::min(block_sizes[i % block_sizes.size()], copy.size() - at);
    scanner.Feed(std::span<char>(copy.data() + at, n), on_word, on_separators);
    at += n;
  }
  scanner.Finish(on_word);
  return scan;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  Dictionary dictionary;
  {
    InputFile seed = InputFile::FromMemory(kSeedDictionary);
    FUZZ_CHECK(dorvenix::LoadDictionary(dictionary, seed).ok());
  }
  const std::vector<dorvenix::WordEntry> before = dictionary.Entries();

  InputFile learn_in = InputFile::FromMemory(text);
  FUZZ_CHECK(dorvenix::LearnFromText(dictionary, learn_in));

  // One writer for the whole run: its 1 MiB buffer is costly to get anew
  // each time under the sanitizers.
  static std::string out;
  static dorvenix::OutputFile sink(&out);
  out.clear();
  {
    InputFile decipher_in = InputFile::FromMemory(text);
    FUZZ_CHECK(dorvenix::DecipherText(dictionary, decipher_in, sink));
    FUZZ_CHECK(sink.Flush());
  }

  // In small blocks, words straddle block ends: the same learning and the
  // same deciphering.
  {
    const std::size_t block = SmallBlockSize(data, size);
    Dictionary small_blocks;
    InputFile seed = InputFile::FromMemory(kSeedDictionary, block);
    FUZZ_CHECK(dorvenix::LoadDictionary(small_blocks, seed).ok());
    InputFile learn_small = InputFile::FromMemory(text, block);
    FUZZ_CHECK(dorvenix::LearnFromText(small_blocks, learn_small));
    FUZZ_CHECK(small_blocks.Entries() == dictionary.Entries());

    static std::string small_out;
    static dorvenix::OutputFile small_sink(&small_out);
    small_out.clear();
    InputFile decipher_small = InputFile::FromMemory(text, block);
    FUZZ_CHECK(dorvenix::DecipherText(dictionary, decipher_small, small_sink));
    FUZZ_CHECK(small_sink.Flush());
    FUZZ_CHECK(small_out == out);
  }

  // Separators in place, letters where letters were.
  FUZZ_CHECK(out.size() == text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (IsLetter(text[i])) {
      FUZZ_CHECK(out[i] >= 'a' && out[i] <= 'z');
    } else {
      FUZZ_CHECK(out[i] == text[i]);
    }
  }

  // The best word of each key: highest positive count, then smallest word.
  std::map<std::string, std::pair<std::int32_t, std::string>> best;
  const std::vector<dorvenix::WordEntry> after = dictionary.Entries();
  for (const dorvenix::WordEntry& e : after) {
    if (e.count <= 0) continue;
    auto [it, added] = best.try_emplace(e.key, e.count, e.word);
    if (!added && (e.count > it->second.first ||
                   (e.count == it->second.first && e.word < it->second.second))) {
      it->second = {e.count, e.word};
    }
  }

  // Word by word, and the counts learnt.
  std::map<std::string, std::int32_t> learnt;
  for (std::size_t i = 0; i < text.size();) {
    if (!IsLetter(text[i])) {
      ++i;
      continue;
    }
    std::size_t end = i;
    std::string lower;
    while (end < text.size() && IsLetter(text[end])) lower.push_back(Lower(text[end++]));
    const std::string_view got(out.data() + i, end - i);
    if (lower.size() <= 3 || dictionary.CountOf(lower)) {
      FUZZ_CHECK(got == lower);
    } else {
      const auto it = best.find(dorvenix::MakeWordKey(lower));
      FUZZ_CHECK(got == (it == best.end() ? lower : it->second.second));
    }
    if (lower.size() > 3) ++learnt[lower];
    i = end;
  }
  // Learning added exactly those counts to the seed entries (no saturation
  // is reachable: counts stay far below the limits here).
  std::map<std::string, std::int32_t> seed;
  for (const dorvenix::WordEntry& e : before) seed[e.word] = e.count;
  for (const dorvenix::WordEntry& e : after) {
    const auto s = seed.find(e.word);
    const auto l = learnt.find(e.word);
    FUZZ_CHECK(s != seed.end() || l != learnt.end());
    FUZZ_CHECK(e.count == (s == seed.end() ? 0 : s->second) + (l == learnt.end() ? 0 : l->second));
  }
  for (const auto& [word, count] : learnt) FUZZ_CHECK(dictionary.CountOf(word).has_value());

  // Block boundaries change nothing: sizes taken from the text itself.
  std::vector<std::size_t> sizes;
  for (std::size_t i = 0; i < size && sizes.size() < 8; ++i) sizes.push_back(1 + data[i] % 13);
  if (sizes.empty()) sizes.push_back(1);
  FUZZ_CHECK(ScanInBlocks(text, sizes) == ScanInBlocks(text, {text.size() + 1}));
  return 0;
}
