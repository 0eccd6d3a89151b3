// The threads: how many cores the process may use, turns over shared
// resources, and the parallel loop and the ordered pipeline when threads
// cannot start.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "test_support.h"
#include "threads/cores.h"
#include "threads/ordered_pipeline.h"
#include "threads/parallel_for.h"
#include "threads/thread_group.h"
#include "threads/turns.h"

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
}

TEST(Turns, EveryResourceIsUsedInJobOrder) {
  // Six jobs on three threads, taken in any order: each resource sees them
  // in job order.
  Turns turns(4);
  std::vector<std::vector<std::size_t>> used(4);  // per resource, the jobs that used it
  ParallelFor(6, 3, [&](std::size_t job) {
    turns.Take(job, [&](std::size_t r) noexcept { used[r].push_back(job); });
  });
  for (std::size_t r = 0; r < 4; ++r)
    EXPECT_EQ(used[r], (std::vector<std::size_t>{0, 1, 2, 3, 4, 5}));
}

TEST(ThreadGroup, WorkGoesOnWhenThreadsCannotStart) {
  // Some or all of the threads asked for cannot be started: the rest, or the
  // caller alone, do all the work, in order where order matters.
  for (const int refused : {1, 2, 100}) {
    ThreadGroup::RefuseStarts(refused);
    std::vector<std::atomic<int>> calls(50);
    ParallelFor(calls.size(), 3, [&](std::size_t i) { ++calls[i]; });
    for (const std::atomic<int>& c : calls) EXPECT_EQ(c.load(), 1) << refused;
    std::mutex mutex;
    ThreadGroup::RefuseStarts(refused);
    std::vector<int> jobs(4), finished;
    std::set<unsigned> workers;
    int made = 0;
    RunOrderedPipeline(
        2, jobs.size(),
        [&](std::size_t place) {
          jobs[place] = made;
          return made++ < 30;
        },
        [&](std::size_t, unsigned worker) {
          std::lock_guard lock(mutex);
          workers.insert(worker);
        },
        [&](std::size_t place) {
          finished.push_back(jobs[place]);
          return true;
        });
    EXPECT_EQ(finished.size(), 30u);
    for (std::size_t i = 0; i < finished.size(); ++i) EXPECT_EQ(finished[i], static_cast<int>(i));
    EXPECT_EQ(workers, std::set<unsigned>{0}) << refused;
  }
  ThreadGroup::RefuseStarts(0);
}

}  // namespace
}  // namespace dorvenix::testing
