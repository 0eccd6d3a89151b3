// Micro-benchmarks of the hot paths: the key of a word, learning a word,
// finding the best word, filling the look-up index, and scanning a block of
// text. Built with -DDORVENIX_BENCH=ON; run build/bench/micro/dorvenix_micro.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "dictionary/dictionary.h"
#include "dictionary/word_key.h"
#include "index/best_word_index.h"
#include "text/word_scanner.h"

namespace dorvenix {
namespace {

// A reproducible stream of lowercase words of 2 to 12 letters, English-like
// in length, drawn from a vocabulary of `vocabulary` words.
std::vector<std::string> MakeWords(std::size_t count, std::size_t vocabulary, bool scrambled) {
  std::uint64_t state = 0x2545F4914F6CDD1Dull;
  auto next = [&] {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
  };
  std::vector<std::string> vocab;
  for (std::size_t i = 0; i < vocabulary; ++i) {
    std::string word(2 + next() % 11, 'a');
    for (char& c : word) c = static_cast<char>('a' + next() % 26);
    vocab.push_back(word);
  }
  std::vector<std::string> words;
  for (std::size_t i = 0; i < count; ++i) {
    // Zipf-like: small indexes are far more frequent.
    const std::size_t r = next() % vocabulary;
    std::string word = vocab[(r * r) / vocabulary];
    if (scrambled && word.size() > 3) {
      for (std::size_t j = word.size() - 2; j > 1; --j) std::swap(word[j], word[1 + next() % j]);
    }
    words.push_back(word);
  }
  return words;
}

void BM_MakeWordKey(benchmark::State& state) {
  const std::vector<std::string> words = MakeWords(4096, 4096, true);
  char key[64];
  std::size_t i = 0;
  for (auto _ : state) {
    const std::string& word = words[i++ & 4095];
    MakeWordKey(word, key);
    benchmark::DoNotOptimize(key);
  }
}
BENCHMARK(BM_MakeWordKey);

void BM_AddWord(benchmark::State& state) {
  const std::vector<std::string> words =
      MakeWords(1 << 16, static_cast<std::size_t>(state.range(0)), false);
  Dictionary dictionary;
  std::size_t i = 0;
  for (auto _ : state) dictionary.AddWord(words[i++ & 0xFFFF]);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_AddWord)->Arg(50000)->Arg(3000000);

// A dictionary learnt from `learnt` words of a vocabulary of `vocabulary`,
// and scrambled words of the same vocabulary to look up.
struct LookUps {
  LookUps(std::size_t vocabulary, std::size_t learnt, std::size_t scrambled_words)
      : scrambled(MakeWords(scrambled_words, vocabulary, true)),
        views(scrambled.begin(), scrambled.end()),
        answers(views.size()) {
    for (const std::string& word : MakeWords(learnt, vocabulary, false)) dictionary.AddWord(word);
  }
  Dictionary dictionary;
  std::vector<std::string> scrambled;
  std::vector<std::string_view> views;
  std::vector<std::string_view> answers;
};

void BM_FindBestWord(benchmark::State& state) {
  const auto vocabulary = static_cast<std::size_t>(state.range(0));
  LookUps l(vocabulary, 4 * vocabulary, 1 << 16);
  const BestWordIndex index(l.dictionary);
  index.FindBestWords(l.views, l.answers);  // fills every partition before the timing
  std::size_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(index.FindBestWord(l.views[i++ & 0xFFFF]));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FindBestWord)->Arg(50000)->Arg(1000000);

void BM_FindBestWords(benchmark::State& state) {
  const auto vocabulary = static_cast<std::size_t>(state.range(0));
  LookUps l(vocabulary, 4 * vocabulary, 1 << 16);
  const BestWordIndex index(l.dictionary);
  index.FindBestWords(l.views, l.answers);
  const std::span<const std::string_view> views(l.views);
  const std::span<std::string_view> answers(l.answers);
  for (auto _ : state) {
    for (std::size_t i = 0; i < views.size(); i += 4096) {
      index.FindBestWords(views.subspan(i, 4096), answers.subspan(i, 4096));
    }
    benchmark::DoNotOptimize(answers.data());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(views.size()));
}
BENCHMARK(BM_FindBestWords)->Arg(50000)->Arg(1000000);

// Filling the whole look-up index: what the first batch of a long text
// costs, per dictionary word.
void BM_FillIndex(benchmark::State& state) {
  const auto vocabulary = static_cast<std::size_t>(state.range(0));
  LookUps l(vocabulary, 2 * vocabulary, 4096);
  for (auto _ : state) {
    const BestWordIndex index(l.dictionary);
    index.FindBestWords(l.views, l.answers);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(l.dictionary.size()));
}
BENCHMARK(BM_FillIndex)->Arg(50000)->Arg(1000000)->Unit(benchmark::kMillisecond);

void BM_ScanBlock(benchmark::State& state) {
  std::string text;
  for (const std::string& word : MakeWords(200000, 50000, false)) {
    text += word;
    text += (word.size() % 5 == 0) ? ", " : " ";
  }
  std::string block;
  std::size_t words = 0;
  for (auto _ : state) {
    block = text;  // the scanner lowercases in place
    ScanWords(std::span<char>(block), [&](std::string_view) { ++words; });
  }
  benchmark::DoNotOptimize(words);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ScanBlock);

}  // namespace
}  // namespace dorvenix

BENCHMARK_MAIN();
