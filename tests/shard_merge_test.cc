// End-to-end: texts learnt in shards, each saved to its own dictionary and
// then merged with -l, give byte for byte the file one run over all the
// texts saves. That is how a corpus too big for one machine is learnt.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "test_support.h"

namespace dorvenix::testing {
namespace {

// Words over six letters, so that many collide and many repeat.
std::string AnagramText(std::uint32_t seed) {
  std::string text;
  for (int i = 0; i < 3000; ++i) {
    for (int j = 2 + static_cast<int>((seed = seed * 1664525u + 1013904223u) >> 29); j > 0; --j) {
      text.push_back("abestrAB"[(seed = seed * 1664525u + 1013904223u) >> 29]);
    }
    text += " ,\n-"[(seed >> 20) & 3];
  }
  return text;
}

TEST(ShardMerge, MergedShardsEqualOneRun) {
  const std::vector<std::vector<std::string>> cases = {
      {"form from from Form\n", "from beard bread\n", "three there there three BREAD"},
      {"Words words. Other\n", "words!\n", "", ",.; \n", "WORDS words, words"},
      {AnagramText(1), AnagramText(2), AnagramText(3), AnagramText(4)},
  };
  for (const auto& shards : cases) {
    TempDir dir;
    std::string all = "-a", merge = "-l";
    for (std::size_t i = 0; i < shards.size(); ++i) {
      const std::string name = "shard" + std::to_string(i);
      dir.Write(name + ".txt", shards[i]);
      all += " " + name + ".txt";
      merge += " " + name + ".dict";
    }
    const RunResult r =
        RunShell("\"$DORVENIX\" " + all +
                     " -s one.dict && for f in shard*.txt; do "
                     "\"$DORVENIX\" -a \"$f\" -s \"${f%.txt}.dict\" || exit 1; done && "
                     "\"$DORVENIX\" " +
                     merge + " -s all.dict",
                 dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadFile(dir.File("all.dict")), ReadFile(dir.File("one.dict"))) << shards[0];
  }
}

TEST(ShardMerge, WithGnuParallel) {
  if (RunShell("parallel --version 2>/dev/null | grep -q 'GNU parallel'").status != 0) {
    GTEST_SKIP() << "GNU parallel is not installed";
  }
  TempDir dir;
  for (std::uint32_t i = 0; i < 4; ++i)
    dir.Write("shard" + std::to_string(i) + ".txt", AnagramText(i));
  const RunResult r = RunShell(
      "\"$DORVENIX\" -a shard*.txt -s one.dict && "
      "ls shard*.txt | parallel --will-cite \"'$DORVENIX' -a {} -s {.}.dict\" && "
      "\"$DORVENIX\" -l shard*.dict -s all.dict",
      dir.path());
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadFile(dir.File("all.dict")), ReadFile(dir.File("one.dict")));
}

}  // namespace
}  // namespace dorvenix::testing
