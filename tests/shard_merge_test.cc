// End-to-end: texts learnt in shards, each saved to its own dictionary, then
// merged with -l, give the same dictionary file as learning all the texts in
// one run. This is how a big corpus is learnt on several cores.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "test_support.h"

namespace dorvenix::testing {
namespace {

// Deterministic text over few letters, so that many words share a key (same
// first and last letters, same inner letters) and many words repeat.
std::string AnagramText(std::uint32_t seed, int words) {
  std::string text;
  std::uint32_t state = seed;
  auto next = [&state]() {
    state = state * 1664525u + 1013904223u;
    return state >> 16;
  };
  for (int i = 0; i < words; ++i) {
    const int length = 2 + static_cast<int>(next() % 6);
    for (int j = 0; j < length; ++j) {
      const char letter = "abestr"[next() % 6];
      text.push_back(next() % 8 == 0 ? static_cast<char>(letter - 'a' + 'A') : letter);
    }
    const std::string_view separators = "  ,.!\n-'";
    text += separators[next() % separators.size()];
  }
  return text;
}

struct MergeCase {
  const char* name;
  std::vector<std::string> shards;  // the text of each shard
  std::vector<std::string> lines;   // lines the merged dictionary must hold
};

std::vector<MergeCase> MergeCases() {
  return {
      {"collisions across shards",
       {"form from from Form\n", "from beard bread\n", "three there there three BREAD\n"},
       {"form 2\nfrom 3\n", "beard 1\nbread 2\n", "there 2\nthree 2\n"}},
      {"same word in every shard",
       {"Words words. Other words\n", "words!\nlonely\n", "WORDS words, words\n", "(words)"},
       {"words 8\n", "other 1\n", "lonely 1\n"}},
      {"short words, punctuation and no final newline",
       {"The cat's a pet; it runs.\n", "Dogs' runs  runs\t\tdogs", "the, and-runs\r\n"},
       {"dogs 2\n", "runs 4\n"}},
      {"empty and separator-only shards",
       {"", "alpha beta gamma\n", ",.;: \n\n", ""},
       {"alpha 1\n", "beta 1\n", "gamma 1\n"}},
      {"many anagrams",
       {AnagramText(1, 3000), AnagramText(2, 3000), AnagramText(3, 3000), AnagramText(4, 3000),
        AnagramText(5, 3000)},
       {}},
  };
}

std::string ShardName(std::size_t i) { return "shard" + std::to_string(i + 1); }

// Writes the shards as shard1.txt, shard2.txt, ... and the whole dictionary
// learnt in one run as one.dict; returns its contents.
std::string WriteShardsAndLearnAll(const TempDir& dir, const MergeCase& c) {
  std::vector<std::string> args = {"-a"};
  for (std::size_t i = 0; i < c.shards.size(); ++i) {
    dir.Write(ShardName(i) + ".txt", c.shards[i]);
    args.push_back(ShardName(i) + ".txt");
  }
  args.insert(args.end(), {"-s", "one.dict"});
  const RunResult r = RunDorvenix(args, dir.path());
  EXPECT_EQ(r.status, 0) << c.name << ": " << r.err;
  EXPECT_EQ(r.err, "") << c.name;
  return ReadFile(dir.File("one.dict"));
}

TEST(ShardMergeTest, MergedShardsEqualOneRun) {
  for (const MergeCase& c : MergeCases()) {
    TempDir dir;
    const std::string one = WriteShardsAndLearnAll(dir, c);
    for (const std::string& line : c.lines) {
      EXPECT_NE(one.find(line), std::string::npos) << c.name << ": no '" << line << "' in\n" << one;
    }

    std::vector<std::string> merge;             // -l shard1.dict -l shard2.dict ... -s all.dict
    std::vector<std::string> reverse = {"-l"};  // -l shardN.dict ... shard1.dict -s reverse.dict
    for (std::size_t i = 0; i < c.shards.size(); ++i) {
      const std::string dict = ShardName(i) + ".dict";
      const RunResult r = RunDorvenix({"-a", ShardName(i) + ".txt", "-s", dict}, dir.path());
      ASSERT_EQ(r.status, 0) << c.name << ": " << r.err;
      EXPECT_EQ(r.err, "") << c.name;
      merge.insert(merge.end(), {"-l", dict});
      reverse.insert(reverse.begin() + 1, dict);
    }
    merge.insert(merge.end(), {"-s", "all.dict"});
    reverse.insert(reverse.end(), {"-s", "reverse.dict"});

    for (const auto& args : {merge, reverse}) {
      const RunResult r = RunDorvenix(args, dir.path());
      EXPECT_EQ(r.status, 0) << c.name << ": " << r.err;
      EXPECT_EQ(r.err, "") << c.name;
    }
    EXPECT_EQ(ReadFile(dir.File("all.dict")), one) << c.name;
    EXPECT_EQ(ReadFile(dir.File("reverse.dict")), one) << c.name;
  }
}

// GNU parallel, not the moreutils program of the same name.
bool HaveGnuParallel() {
  return RunShell("parallel --version 2>/dev/null | grep -q 'GNU parallel'").status == 0;
}

TEST(ShardMergeTest, ShardsLearntWithGnuParallel) {
  if (!HaveGnuParallel()) GTEST_SKIP() << "GNU parallel is not installed";
  for (const MergeCase& c : MergeCases()) {
    TempDir dir;
    const std::string one = WriteShardsAndLearnAll(dir, c);
    const RunResult r = RunShell(
        "ls shard*.txt | parallel --will-cite -j 4 \"'$DORVENIX' -a {} -s {.}.dict\" && "
        "\"$DORVENIX\" -l shard*.dict -s all.dict",
        dir.path());
    EXPECT_EQ(r.status, 0) << c.name << ": " << r.err;
    EXPECT_EQ(r.err, "") << c.name;
    EXPECT_EQ(ReadFile(dir.File("all.dict")), one) << c.name;
  }
}

}  // namespace
}  // namespace dorvenix::testing
