// The look-up index: its answers against the plain rules, on any layout, on
// threads that fill it at once, after a fill that ran out of memory, and
// once its dictionary changed.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <new>
#include <random>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "dictionary/dictionary.h"
#include "index/best_word_index.h"
#include "test_support.h"

namespace dorvenix::testing {
namespace {

// A layout for a small dictionary: sections of about `words` words, records
// for at most `keys` keys, every fill of every section on the threads given.
BestWordIndex::Shape Small(std::size_t words, std::size_t keys) {
  BestWordIndex::Shape shape;
  shape.section_words = words;
  shape.recorded_keys = keys;
  shape.parallel_words = 0;
  return shape;
}

TEST(BestWordIndex, AnswersLikeThePlainRulesOnRandomDictionaries) {
  // Tiny alphabets make keys collide: ties, zero and negative counts, words
  // past the letter product's reach (some past 64 letters) and bytes beyond a-z,
  // 0xFF among them.
  std::mt19937 rng(4);
  for (int round = 0; round < 300; ++round) {
    const std::string_view alphabet = round % 3 == 0   ? "ab"
                                      : round % 3 == 1 ? "abc"
                                                       : "aB\xe9\xff-";
    auto random_word = [&] {
      return RandomWord(rng, 1 + rng() % (round % 10 ? 14 : 80), alphabet);
    };
    Dictionary dictionary;
    Counts entries;
    for (int i = 0, n = static_cast<int>(rng() % 40); i < n; ++i) {
      const std::string word = random_word();
      const auto count = static_cast<std::int32_t>(rng() % 6) - 2;
      dictionary.AddEntry(word, count);
      entries[word] += count;
    }
    std::vector<std::string> queries;
    std::size_t longest = 0;
    for (const auto& [word, count] : entries) {
      queries.push_back(word);
      if (word.size() > 3) std::shuffle(queries.back().begin() + 1, queries.back().end() - 1, rng);
      if (count > 0) longest = std::max(longest, word.size());
    }
    for (int i = 0; i < 40; ++i) queries.push_back(random_word());
    ASSERT_EQ(Listing(dictionary), Listing(entries));

    // The usual shape (every key with a positive count recorded); sections
    // of 2 words and no records, filled a few at a time as single words ask;
    // sections of 3 words and few records, all filled by 3 threads at the
    // first batch.
    struct Variant {
      unsigned threads;
      BestWordIndex::Shape shape;
      bool one_by_one;
    };
    for (const Variant& v :
         {Variant{1, {}, false}, Variant{1, Small(2, 0), true}, Variant{3, Small(3, 8), false}}) {
      const BestWordIndex index(dictionary, v.threads, v.shape);
      EXPECT_GE(index.longest_word(), longest);
      std::vector<std::string> singles;
      for (const std::string& query : queries) {
        if (v.one_by_one) singles.emplace_back(index.FindBestWord(query));
      }
      const std::vector<std::string_view> words(queries.begin(), queries.end());
      std::vector<std::string_view> answers(words.size());
      index.FindBestWords(words, answers);
      for (std::size_t i = 0; i < queries.size(); ++i) {
        const std::string want = BestOf(entries, queries[i]);
        ASSERT_EQ(answers[i], want) << queries[i] << " round " << round;
        ASSERT_EQ(v.one_by_one ? singles[i] : index.FindBestWord(queries[i]), want) << queries[i];
      }
    }
  }
}

TEST(BestWordIndex, RefusesToAnswerOnceTheDictionaryChanged) {
  // An index refers to the dictionary's words: asked after a change, whether
  // it had answered before or not, it stops the program, saying why, instead
  // of mixing old and new.
  Dictionary dictionary;
  dictionary.AddEntry("beard", 2);
  const BestWordIndex asked(dictionary), unasked(dictionary);
  EXPECT_EQ(asked.FindBestWord("baerd"), "beard");
  dictionary.AddEntry("bread", 5);
  for (const BestWordIndex* index : {&asked, &unasked}) {
    EXPECT_EXIT((void)index->FindBestWord("baerd"), ::testing::KilledBySignal(SIGABRT),
                "internal error: a look-up index was asked after its dictionary changed");
  }
  EXPECT_EQ(BestWordIndex(dictionary).FindBestWord("baerd"), "bread");
}

TEST(BestWordIndex, ThreadsThatFillItAtOnceGetTheAnswersOfOne) {
  // Four threads, met before any section is filled, ask for words in
  // sections of 2 words: they fill some a few at a time, then all at once
  // on two threads, while the others look up.
  std::mt19937 rng(6);
  Dictionary dictionary;
  Counts entries;
  std::vector<std::string> queries, expected;
  for (int i = 0; i < 400; ++i) {
    const std::string word = RandomWord(rng, 4 + rng() % 8, "abcd");
    const auto count = static_cast<std::int32_t>(rng() % 5) - 1;
    dictionary.AddEntry(word, count);
    entries[word] += count;
    queries.push_back(RandomWord(rng, 4 + rng() % 8, "abcd"));
  }
  for (const std::string& query : queries) expected.push_back(BestOf(entries, query));
  const BestWordIndex index(dictionary, 2, Small(2, 16));
  Meeting all{4};
  std::atomic<unsigned> met{0}, right{0};
  std::vector<std::thread> threads;
  for (std::size_t t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      met += all.Attend();
      for (std::size_t i = t; i < queries.size(); i += 4) {
        right += index.FindBestWord(queries[i]) == expected[i];
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(met.load(), 4u);
  EXPECT_EQ(right.load(), queries.size());
}

TEST(BestWordIndex, AFillThatRanOutOfMemoryIsMadeAfresh) {
  // Memory runs out at the k-th step of a fill (a word into a section, or a
  // record), on one thread and on two, in a fill of a few sections and in
  // one of every section, its records among them: the look-up fails, and the
  // next ones, on the same index, fill those sections afresh and answer as
  // the plain rules say.
  std::mt19937 rng(7);
  Dictionary dictionary;
  Counts entries;
  for (int i = 0; i < 600; ++i) {
    const std::string word = RandomWord(rng, 4 + rng() % 6, "abcd");
    const auto count = static_cast<std::int32_t>(i % 20 == 0 ? 100 + i : rng() % 5);
    dictionary.AddEntry(word, count);
    entries[word] += count;
  }
  std::vector<std::string> queries;
  for (int i = 0; i < 200; ++i) queries.push_back(RandomWord(rng, 4 + rng() % 6, "abcd"));
  const std::vector<std::string_view> words(queries.begin(), queries.end());
  std::vector<std::string_view> answers(queries.size());
  std::atomic<int> steps{0};
  BestWordIndex::Shape shape = Small(16, 40);
  shape.at_fill_step = [&] { ++steps; };
  BestWordIndex(dictionary, 1, shape).FindBestWords(words, answers);
  const int all = steps.load();  // of a fill of every section
  for (const unsigned threads : {1u, 2u}) {
    for (const int k : {1, 37, all / 2, all - 1}) {
      steps = 0;
      shape.at_fill_step = [&] {
        if (++steps == k) throw std::bad_alloc();
      };
      const BestWordIndex index(dictionary, threads, shape);
      // The first five words need a few sections; all of them, every one.
      const std::size_t first = k <= 37 ? 5 : words.size();
      EXPECT_THROW(index.FindBestWords(std::span(words).first(first), answers), std::bad_alloc)
          << k;
      index.FindBestWords(words, answers);
      for (std::size_t i = 0; i < queries.size(); ++i) {
        ASSERT_EQ(answers[i], BestOf(entries, queries[i])) << queries[i] << " " << k;
      }
    }
  }
}

}  // namespace
}  // namespace dorvenix::testing
