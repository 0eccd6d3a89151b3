// Work split over blocks and threads gives the same results as one thread
// reading one block: words and lines cut at every block boundary, counts that
// saturate in file order, failures in the middle of a stream.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <numeric>
#include <random>
#include <set>
#include <span>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "dictionary/block_adder.h"
#include "dictionary/dictionary.h"
#include "dictionary/dictionary_file.h"
#include "dictionary/report.h"
#include "index/best_word_index.h"
#include "io/block_reader.h"
#include "test_support.h"
#include "text/decipher.h"
#include "text/learn.h"
#include "text/word_scanner.h"
#include "threads/ordered_pipeline.h"
#include "threads/parallel_for.h"
#include "threads/turns.h"

namespace dorvenix::testing {
namespace {

// Plans that cut the input everywhere: blocks of 1 to 7 bytes and of 64, on
// 1, 2 and 5 threads, reading 1, 3 or 5 bytes at a time.
std::vector<std::pair<WorkPlan, std::size_t>> Plans() {
  std::vector<std::pair<WorkPlan, std::size_t>> plans;
  for (unsigned threads : {1u, 2u, 5u}) {
    for (std::size_t block : {1u, 2u, 3u, 5u, 7u, 64u}) {
      plans.push_back({WorkPlan{threads, block}, block % 2 == 0 ? 3u : block % 4 == 1 ? 5u : 1u});
    }
  }
  return plans;
}

// A word longer than any known word goes through lowercased, however it is
// cut, even where its pieces look like known words.
const std::string kText =
    "Tihs is a tset, an ab-cd tset! Wrods of tset\nlnog lnog wrod. Sencod lnie: "
    "a vrey TSETtsettsetTSETtsettset wrod, \xe9t\xe9 tset\r\nlnog\xe9lnog";

TEST(Parallel, LearnAndDecipherGiveTheSameResultWhateverThePlan) {
  Dictionary reference;
  TextInput whole(kText);
  ASSERT_TRUE(LearnFromText(reference, whole).ok());
  // The longest answer has 6 letters: longer words pass through in pieces.
  Dictionary known;
  for (const char* word : {"this", "test", "long", "word", "words", "second", "line", "very"}) {
    known.AddEntry(word, 2);
  }
  const BestWordIndex index(known);
  const std::string expected =
      "this is a test, an ab-cd test! words of test\nlong long word. second line: "
      "a very tsettsettsettsettsettset word, \xe9t\xe9 test\r\nlong\xe9long";
  for (const auto& [plan, read] : Plans()) {
    Dictionary learnt;
    TextInput in(kText, read);
    ASSERT_TRUE(LearnFromText(learnt, in, plan).ok());
    EXPECT_EQ(Listing(learnt), Listing(reference))
        << plan.threads << " threads, blocks of " << plan.block_size;
    std::string text;
    {
      TextInput again(kText, read);
      OutputFile out(&text);
      ASSERT_TRUE(DecipherText(index, again, out, plan).ok());
    }
    EXPECT_EQ(text, expected) << plan.threads << " threads, blocks of " << plan.block_size;
  }
}

TEST(Parallel, LoadAddsInFileOrderAndStopsAtTheFirstBadLine) {
  // Counts that saturate give another sum in another order; the bad line
  // must stop the blocks after it too.
  const std::string good =
      "\xEF\xBB\xBFmost 2147483647\nmost 1\nmost -5\nleast -2147483648\n\nleast -1\nleast 9\n"
      "most 1\nword 3\n";
  for (const std::string& text : {good, good + "word 4x\nword 100\nlate 1\n"}) {
    Dictionary reference;
    TextInput whole(text);
    const std::string expected = LoadDictionary(reference, whole).Describe("f");
    EXPECT_EQ(Listing(reference), "least -2147483639\nmost 2147483643\nword 3\n");
    EXPECT_EQ(expected.substr(0, 4), text == good ? "f" : "f:10");
    for (const auto& [plan, read] : Plans()) {
      Dictionary loaded;
      TextInput in(text, read);
      const std::string verdict = LoadDictionary(loaded, in, plan).Describe("f");
      EXPECT_EQ(Listing(loaded), Listing(reference))
          << plan.threads << " threads, blocks of " << plan.block_size;
      EXPECT_EQ(verdict, expected) << plan.threads << " threads";
    }
  }
}

TEST(Parallel, AFailureKeepsExactlyTheBlocksBeforeIt) {
  // Each partition gets room for about 4 KiB of words, which the input
  // overflows: what stays is the dictionary of the whole blocks before the
  // one that failed, the same on any number of threads. The counts of the
  // loaded lines saturate, before and after the failure.
  std::mt19937 rng(8);
  std::string text, lines;
  for (int i = 0; i < 10000; ++i) {
    const std::string word = RandomWord(rng, 4 + rng() % 9, "abcdefghij");
    text += word + (i % 9 ? " " : "\n");
    lines += i % 20 == 0 ? "most 2147483000\n" : i % 20 == 10 ? "least -2147483000\n" : "";
    lines += word + " 3\n";
  }
  SeparatorTable line_feed{};
  line_feed['\n'] = true;
  for (const bool load : {false, true}) {
    const std::string& input = load ? lines : text;
    auto run = [&](Dictionary& dictionary, std::string_view bytes, unsigned threads) {
      TextInput in(bytes);
      const WorkPlan plan{threads, 2048};
      return load ? LoadDictionary(dictionary, in, plan) : LearnFromText(dictionary, in, plan);
    };
    std::vector<std::string> prefixes;  // the dictionaries of the first blocks
    TextInput in(input);
    BlockReader reader(in, load ? line_feed : internal::kSeparator, 2048);
    BlockBuffer buffer;
    std::size_t end = 0;
    for (Block block = reader.Next(buffer); !block.bytes.empty(); block = reader.Next(buffer)) {
      Dictionary prefix;
      ASSERT_TRUE(
          run(prefix, std::string_view(input).substr(0, end += block.bytes.size()), 1).ok());
      prefixes.push_back(Listing(prefix));
    }
    std::string first;
    for (const unsigned threads : {1u, 2u, 5u}) {
      Dictionary dictionary(1);
      EXPECT_EQ(run(dictionary, input, threads).Describe("f"),
                "f: the dictionary is full: over 512 MiB of words fell into one of its 32 hash "
                "partitions")
          << threads;
      const std::string kept = Listing(dictionary);
      if (first.empty()) first = kept;
      EXPECT_TRUE(kept == first) << load << " on " << threads << " threads";
      const auto block = std::find(prefixes.begin(), prefixes.end(), kept);
      EXPECT_TRUE(block != prefixes.begin() && block < prefixes.end() - 1)
          << load << " " << threads;
    }
  }
}

TEST(Parallel, AFailedReadEndsTheStreamWhereItHappened) {
  // The third read fails; a fourth would give a block again. It is never
  // asked for, and only the blocks before the failure are added.
  const std::string_view words[] = {"zero", "once", "", "late"};
  for (const unsigned threads : {1u, 2u}) {
    const WorkPlan plan{threads, 1};
    Dictionary dictionary;
    BlockAdder adder(dictionary, plan);
    std::vector<std::string_view> blocks(plan.slots());
    int reads = 0;
    auto make = [&](std::size_t slot) {
      if (++reads == 3) throw std::runtime_error("read failed");
      blocks[slot] = words[(reads - 1) % 4];
      return reads <= 4;
    };
    auto run = [&] {
      if (threads < 2) {
        adder.RunAlone(
            make,
            [&](std::size_t slot, auto&& add) {
              add(std::span<const std::string_view>(&blocks[slot], 1));
              return false;
            },
            [](std::size_t) {});
      } else {
        adder.Run(
            make,
            [&](std::size_t slot, unsigned, EntryBuckets& out) {
              out.Fill(
                  1, [&](std::size_t) { return blocks[slot]; }, [](std::size_t) { return 1; });
              return false;
            },
            [](std::size_t, std::size_t) {}, [](std::size_t) {});
      }
    };
    EXPECT_THROW(run(), std::runtime_error) << threads;
    EXPECT_EQ(reads, 3) << threads;
    EXPECT_EQ(Listing(dictionary), "once 1\nzero 1\n") << threads;
  }
}

TEST(Parallel, LargeDictionariesSaveAndReportTheSameOnAnyThreads) {
  // Enough entries for the sort in buckets and for formatting in ranges;
  // groups of words that share a key straddle the ranges' ends.
  Dictionary dictionary;
  Counts counts;
  std::mt19937 rng(3);
  for (int i = 0; i < 90000; ++i) {
    std::string word = RandomWord(rng, 4 + rng() % 9, i % 50 ? "abcde" : "\xff\x80zA");
    const auto count = static_cast<std::int32_t>(rng() % 7) - 2;
    dictionary.AddEntry(word, count);
    counts[word] += count;
  }
  std::string one, many;
  for (const auto& [threads, text] : {std::pair(1u, &one), std::pair(4u, &many)}) {
    OutputFile out(text);
    SaveDictionary(dictionary, out, threads);
    PrintReport(dictionary, out, threads);
  }
  // Compared as booleans: the texts are megabytes long.
  EXPECT_TRUE(many == one) << many.size() << " bytes against " << one.size();
  EXPECT_TRUE(one.starts_with(Listing(counts)));
}

TEST(Parallel, PipelineFinishesInOrderAndStopsOnAFailure) {
  for (unsigned workers : {0u, 1u, 2u, 4u}) {
    for (int failing : {-2, -1, 0, 1, 7}) {  // -2: no failure and no stop
      std::vector<int> slot_job(3), finished;
      int made = 0;
      bool ended = false;
      std::atomic<int> worked{0};
      auto run = [&] {
        RunOrderedPipeline(
            workers, slot_job.size(),
            [&](std::size_t slot) {
              EXPECT_FALSE(ended) << "asked for a job after the last";
              ended = made == 20;
              if (ended) return false;
              slot_job[slot] = made++;
              return true;
            },
            [&](std::size_t slot, unsigned) {
              ++worked;
              if (slot_job[slot] == failing) throw std::runtime_error("job failed");
            },
            [&](std::size_t slot) {
              finished.push_back(slot_job[slot]);
              return slot_job[slot] != 15 || failing == -2;
            });
      };
      if (failing < 0) {
        run();
        ASSERT_EQ(finished.size(), failing == -2 ? 20u : 16u);
      } else {
        EXPECT_THROW(run(), std::runtime_error) << workers << " workers, job " << failing;
        EXPECT_LE(finished.size(), static_cast<std::size_t>(failing));
      }
      for (std::size_t i = 0; i < finished.size(); ++i) ASSERT_EQ(finished[i], static_cast<int>(i));
      EXPECT_EQ(worked.load(), made) << "every job made is worked, and waited for";
      // ParallelFor: every index once, on no more threads than asked for
      // (one: the caller's), or the failure passed on.
      std::vector<std::atomic<int>> calls(20);
      std::mutex ids_mutex;
      std::set<std::thread::id> ids;
      auto run_for = [&] {
        ParallelFor(calls.size(), workers, [&](std::size_t i) {
          ++calls[i];
          volatile unsigned spin = 0;  // long enough for a thread to start meanwhile
          while (spin < 20000) spin = spin + 1;
          std::lock_guard lock(ids_mutex);
          ids.insert(std::this_thread::get_id());
          if (static_cast<int>(i) == failing) throw std::runtime_error("item failed");
        });
      };
      if (failing < 0) {
        run_for();
        for (const std::atomic<int>& c : calls) ASSERT_EQ(c.load(), 1) << workers;
        EXPECT_LE(ids.size(), std::max(workers, 1u));
        EXPECT_TRUE(workers >= 2 || ids == std::set{std::this_thread::get_id()});
      } else {
        EXPECT_THROW(run_for(), std::runtime_error) << workers << " threads, item " << failing;
      }
    }
  }
}

TEST(Parallel, TurnsGoOnInOrderPastAJobThatThrows) {
  // Job 2 throws on resource 1: it alone sees the exception, uses nothing
  // after it, and the jobs after it still get every turn, in job order.
  Turns turns(4);
  std::vector<std::vector<std::size_t>> used(4);  // per resource, the jobs that used it
  std::vector<int> threw(6);
  ParallelFor(threw.size(), 3, [&](std::size_t job) {
    try {
      turns.Take(job, [&](std::size_t r) {
        if (job == 2 && r == 1) throw std::runtime_error("job failed");
        used[r].push_back(job);
      });
    } catch (const std::runtime_error&) {
      threw[job] = 1;
    }
  });
  EXPECT_EQ(threw, (std::vector<int>{0, 0, 1, 0, 0, 0}));
  EXPECT_EQ(used[0], (std::vector<std::size_t>{0, 1, 2, 3, 4, 5}));
  for (std::size_t r = 1; r < 4; ++r) EXPECT_EQ(used[r], (std::vector<std::size_t>{0, 1, 3, 4, 5}));
}

// Waits until `parties` threads have come, or ten seconds; true when all came.
struct Meeting {
  explicit Meeting(unsigned n) : parties(n) {}
  unsigned parties, arrived = 0;
  std::mutex mutex;
  std::condition_variable all_here;
  bool Attend() {
    std::unique_lock lock(mutex);
    ++arrived;
    all_here.notify_all();
    return all_here.wait_for(lock, std::chrono::seconds(10), [&] { return arrived >= parties; });
  }
};

TEST(Parallel, EveryThreadWorksAtOnce) {
  // Each piece of work waits for all the others: it ends only when the
  // threads asked for (the caller among them for ParallelFor) run together.
  for (unsigned threads : {2u, 3u}) {
    Meeting all{threads}, all_workers{threads};
    std::atomic<unsigned> met{0};
    ParallelFor(threads, threads, [&](std::size_t) { met += all.Attend(); });
    EXPECT_EQ(met.load(), threads);
    std::mutex mutex;
    std::vector<unsigned> ids;
    unsigned made = 0;
    RunOrderedPipeline(
        threads, threads + 2, [&](std::size_t) { return made++ < threads; },
        [&](std::size_t, unsigned id) {
          if (!all_workers.Attend()) return;
          std::lock_guard lock(mutex);
          ids.push_back(id);
        },
        [](std::size_t) { return true; });
    std::sort(ids.begin(), ids.end());
    std::vector<unsigned> every(threads);
    std::iota(every.begin(), every.end(), 0u);
    EXPECT_EQ(ids, every) << threads << " workers, each with its own id";
  }
}

TEST(Parallel, IndexThatThreadsFillAtOnceAnswersAsOneThread) {
  // Four threads, met before any partition is filled, ask for words in
  // partitions of 2 words: they fill some a few at a time, then all at once
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
  const BestWordIndex index(dictionary, 2, {2, 16, 0});
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

}  // namespace
}  // namespace dorvenix::testing
