// What the program takes from the system and how it touches memory: the
// cores it may use, and byte helpers at the edge of readable memory.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <map>
#include <string>
#include <tuple>

#include "base/bytes.h"
#include "test_support.h"
#include "threads/cores.h"

namespace dorvenix::testing {
namespace {

TEST(Cores, CgroupQuotaIsTheLeastOnTheWayUpFromTheProcesssOwnCgroup) {
  // v2 on /sys/fs/cgroup (a line with no mount options is no mount); v1's
  // cpu controller (with cpuacct) on /sys/fs/cgroup/cpu,cpuacct, rooted at
  // its cgroup /d as in a container.
  const std::string mounts =
      "30 22 0:27 / /run rw - tmpfs tmpfs rw\n"
      "31 30 0:28 / /sys/fs/cgroup rw,nosuid shared:9 - cgroup2 cgroup2 rw\n"
      "34 30 0:31 / /no-options - cgroup2 cgroup2 rw\n"
      "32 30 0:29 /d /sys/fs/cgroup/cpu,cpuacct rw - cgroup cgroup rw,cpuacct,cpu\n"
      "33 30 0:30 / /sys/fs/cgroup/cpuset rw - cgroup cgroup rw,cpuset\n";
  const std::string v1 = "5:cpuset:/\n4:cpu,cpuacct:", q = "cpu,cpuacct/e/cpu.cfs_";
  // The process's cgroups, and files under /sys/fs/cgroup/: "PATH=TEXT;...".
  const std::tuple<std::string, std::string, unsigned> cases[] = {
      {"0::/", "", 0},
      {"0::/", "cpu.max=max 100000\n", 0},
      {"0::/", "cpu.max=250000 100000\n", 3},
      {"0::/a/b/", "a/b/cpu.max=max 100000;a/cpu.max=150000 100000;cpu.max=400000 100000", 2},
      {"0::/a", "a/cpu.max=500000 100000;cpu.max=max 100000", 5},
      {"0::/", "cpu.max=150000x 100000", 0},
      {"0::/", "cpu.max=150000 0", 0},
      {"0::/", "cpu.max=150000", 0},
      {v1 + "/d/e", q + "quota_us=50000\n;" + q + "period_us=100000\n", 1},
      {v1 + "/d/e", q + "quota_us=-1;" + q + "period_us=100000", 0},
      {v1 + "/d/e", q + "quota_us=50000", 0},
      {v1 + "/d/e", q + "period_us=100000", 0},
      {v1 + "/de", q + "quota_us=50000;" + q + "period_us=100000", 0},  // not below the root
      {v1 + "/x/e", q + "quota_us=50000;" + q + "period_us=100000", 0},
  };
  for (const auto& [cgroup, files, quota] : cases) {
    std::map<std::string, std::string> system = {{"/proc/self/cgroup", cgroup + "\n"},
                                                 {"/proc/self/mountinfo", mounts}};
    for (std::size_t at = 0, end; at < files.size(); at = end + 1) {
      end = std::min(files.find(';', at), files.size());
      const std::size_t equals = files.find('=', at);
      system["/sys/fs/cgroup/" + files.substr(at, equals - at)] =
          files.substr(equals + 1, end - equals - 1);
    }
    const FileReader read = [&](const std::string& path) -> std::optional<std::string> {
      const auto file = system.find(path);
      return file == system.end() ? std::nullopt : std::optional(file->second);
    };
    EXPECT_EQ(CgroupQuota(read), quota) << cgroup << " with " << files;
  }
}

TEST(Cores, TheAffinityMaskLoweredToTheQuota) {
  const unsigned cases[][3] = {{0, 0, 1}, {1, 0, 1}, {2, 0, 2}, {8, 3, 3}, {2, 3, 2}, {2, 1, 1}};
  for (const auto& [cpus, quota, cores] : cases) EXPECT_EQ(UsableCores(cpus, quota), cores) << cpus;
  EXPECT_NE(ReadSystemFile("/proc/self/cgroup").value_or("").find(':'), std::string::npos);
  // The process's own mask: one CPU, then two where there are two.
  cpu_set_t all, some;
  ASSERT_EQ(::sched_getaffinity(0, sizeof all, &all), 0);
  CPU_ZERO(&some);
  for (int cpu = 0; CPU_COUNT(&some) < std::min(2, CPU_COUNT(&all)); ++cpu) {
    if (!CPU_ISSET(cpu, &all)) continue;
    CPU_SET(cpu, &some);
    ASSERT_EQ(::sched_setaffinity(0, sizeof some, &some), 0);
    EXPECT_EQ(UsableCores(), UsableCores(CPU_COUNT(&some), CgroupQuota(ReadSystemFile)));
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
  for (std::size_t n = 1; n <= 40; ++n) {
    for (const bool forward : {true, false}) {
      char* const from = forward ? begin : end - n;
      char* const to = forward ? end - n : begin;
      for (std::size_t i = 0; i < n; ++i) from[i] = static_cast<char>('a' + (n + i) % 26);
      std::memset(to, 0, n);
      CopyBytes(to, from, n);
      ASSERT_TRUE(std::memcmp(to, from, n) == 0 && BytesEqual(from, to, n)) << n;
      for (const std::size_t i : {std::size_t{0}, n / 2, n - 1}) {
        to[i] ^= 1;
        ASSERT_FALSE(BytesEqual(from, to, n)) << n << " " << i;
        to[i] ^= 1;
      }
    }
  }
  ::munmap(area, 3 * page);
}

}  // namespace
}  // namespace dorvenix::testing
