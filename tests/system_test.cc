// What the program takes from the system and how it touches memory: the
// cores it may use, byte helpers at the edge of readable memory, and the
// buffering of a writer.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <map>
#include <random>
#include <string>

#include "base/bytes.h"
#include "base/cores.h"
#include "io/output_file.h"
#include "test_support.h"

namespace dorvenix::testing {
namespace {

TEST(Cores, CgroupQuotaIsTheLeastOnTheWayUpFromTheProcesssOwnCgroup) {
  using Files = std::map<std::string, std::string>;
  // v2 mounted on /sys/fs/cgroup; v1's cpu controller, with cpuacct, on
  // /sys/fs/cgroup/cpu,cpuacct, rooted at the cgroup /d (as in a container).
  const std::string mounts =
      "30 22 0:27 / /run rw - tmpfs tmpfs rw\n"
      "31 30 0:28 / /sys/fs/cgroup rw,nosuid shared:9 - cgroup2 cgroup2 rw\n"
      "32 30 0:29 /d /sys/fs/cgroup/cpu,cpuacct rw - cgroup cgroup rw,cpuacct,cpu\n"
      "33 30 0:30 / /sys/fs/cgroup/cpuset rw - cgroup cgroup rw,cpuset\n";
  const std::string v2 = "/sys/fs/cgroup/", v1 = "/sys/fs/cgroup/cpu,cpuacct/";
  auto v2_only = [&](const std::string& path, const Files& files) {
    Files all = files;
    all["/proc/self/cgroup"] = "0::" + path + "\n";
    all["/proc/self/mountinfo"] = mounts;
    return all;
  };
  auto v1_only = [&](const std::string& path, const std::string& quota) {
    return Files{{"/proc/self/cgroup", "5:cpuset:/\n4:cpu,cpuacct:" + path + "\n"},
                 {"/proc/self/mountinfo", mounts},
                 {v1 + "e/cpu.cfs_quota_us", quota},
                 {v1 + "e/cpu.cfs_period_us", "100000\n"}};
  };
  const std::pair<Files, unsigned> cases[] = {
      {{}, 0},
      {v2_only("/", {}), 0},
      {v2_only("/", {{v2 + "cpu.max", "max 100000\n"}}), 0},
      {v2_only("/", {{v2 + "cpu.max", "250000 100000\n"}}), 3},
      {v2_only("/", {{v2 + "cpu.max", "100000 100000\n"}}), 1},
      {v2_only("/a/b/", {{v2 + "a/b/cpu.max", "max 100000\n"},
                         {v2 + "a/cpu.max", "150000 100000\n"},
                         {v2 + "cpu.max", "400000 100000\n"}}),
       2},
      {v2_only("/a", {{v2 + "a/cpu.max", "500000 100000"}, {v2 + "cpu.max", "max 100000"}}), 5},
      {v2_only("/", {{v2 + "cpu.max", "150000x 100000\n"}}), 0},
      {v2_only("/", {{v2 + "cpu.max", "150000 0\n"}}), 0},
      {v2_only("/", {{v2 + "cpu.max", "150000\n"}}), 0},
      {v1_only("/d/e", "50000\n"), 1},
      {v1_only("/d/e", "-1\n"), 0},
      {v1_only("/de", "50000\n"), 0},  // not below the mount's root
      {v1_only("/x/e", "50000\n"), 0},
  };
  for (const auto& [files, quota] : cases) {
    const auto& on_disk = files;  // clang 14 captures no structured binding
    const FileReader read = [&](const std::string& path) -> std::optional<std::string> {
      const auto file = on_disk.find(path);
      if (file == on_disk.end()) return std::nullopt;
      return file->second;
    };
    EXPECT_EQ(CgroupQuota(read), quota) << (files.empty() ? "" : files.begin()->second);
  }
}

TEST(Cores, TheAffinityMaskLoweredToTheQuota) {
  const unsigned cases[][3] = {{0, 0, 1}, {1, 0, 1}, {2, 0, 2}, {8, 3, 3}, {2, 3, 2}, {4, 4, 4}};
  for (const auto& [cpus, quota, cores] : cases) {
    EXPECT_EQ(UsableCores(cpus, quota), cores) << cpus << " CPUs, quota " << quota;
  }
  // The process's own mask: one CPU, then two where there are two.
  cpu_set_t all;
  ASSERT_EQ(::sched_getaffinity(0, sizeof all, &all), 0);
  const unsigned quota = CgroupQuota(ReadSystemFile);
  for (int n = 1; n <= std::min(2, CPU_COUNT(&all)); ++n) {
    cpu_set_t some;
    CPU_ZERO(&some);
    for (int cpu = 0; CPU_COUNT(&some) < n; ++cpu) {
      if (CPU_ISSET(cpu, &all)) CPU_SET(cpu, &some);
    }
    ASSERT_EQ(::sched_setaffinity(0, sizeof some, &some), 0);
    EXPECT_EQ(UsableCores(), UsableCores(static_cast<unsigned>(n), quota)) << n << " CPUs";
  }
  ::sched_setaffinity(0, sizeof all, &all);
}

TEST(Bytes, NeverTouchABytePastEitherEndOfTheirRanges) {
  // A readable page between two unreadable ones; every range lies flush
  // against one of its ends, so a byte too far either way faults.
  const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  void* const area = ::mmap(nullptr, 3 * page, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(area, MAP_FAILED);
  char* const begin = static_cast<char*>(area) + page;
  char* const end = begin + page;
  ASSERT_EQ(::mprotect(begin, page, PROT_READ | PROT_WRITE), 0);
  for (std::size_t n = 0; n <= 40; ++n) {
    for (const bool forward : {true, false}) {
      char* const from = forward ? begin : end - n;
      char* const to = forward ? end - n : begin;
      for (std::size_t i = 0; i < n; ++i) from[i] = static_cast<char>('a' + (n + i) % 26);
      std::memset(to, 0, n);
      CopyBytes(to, from, n);
      ASSERT_EQ(std::memcmp(to, from, n), 0) << n;
      ASSERT_TRUE(BytesEqual(from, to, n)) << n;
      for (const std::size_t i : {std::size_t{0}, n / 2, n - 1}) {
        if (n == 0) break;
        to[i] ^= 1;
        ASSERT_FALSE(BytesEqual(from, to, n)) << n << " " << i;
        to[i] ^= 1;
      }
    }
  }
  ::munmap(area, 3 * page);
}

TEST(OutputFile, AStringWriterKeepsEveryPieceInOrder) {
  // Pieces around the buffer's size and around the size written directly.
  std::mt19937 rng(2);
  std::string got, want;
  OutputFile out(&got);
  for (const std::size_t size : {1, 100, 16383, 16384, 16385, 40000, 65535, 65536, 70000, 3}) {
    const std::string piece = RandomWord(rng, size);
    out.Write(piece);
    out.Put('|');
    (want += piece) += '|';
  }
  ASSERT_TRUE(out.Flush());
  EXPECT_TRUE(got == want) << got.size() << " bytes, not " << want.size();
}

}  // namespace
}  // namespace dorvenix::testing
