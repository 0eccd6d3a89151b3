#include "base/cores.h"

#include <sched.h>

#include <fstream>
#include <string>

namespace dorvenix {
namespace {

// The CPU quota of the process's cgroup, rounded up, or 0 when none is set.
// cgroup v2 keeps it in cpu.max ("max 100000" or "250000 100000"), v1 in
// cpu.cfs_quota_us and cpu.cfs_period_us.
unsigned CgroupQuota() {
  long long quota = -1, period = 0;
  if (std::ifstream v2("/sys/fs/cgroup/cpu.max"); v2) {
    std::string first;
    v2 >> first >> period;
    if (first == "max" || !v2) return 0;
    quota = std::stoll(first);
  } else {
    std::ifstream q("/sys/fs/cgroup/cpu/cpu.cfs_quota_us");
    std::ifstream p("/sys/fs/cgroup/cpu/cpu.cfs_period_us");
    if (!(q >> quota) || !(p >> period)) return 0;
  }
  if (quota <= 0 || period <= 0) return 0;
  return static_cast<unsigned>((quota + period - 1) / period);
}

}  // namespace

unsigned UsableCores() {
  unsigned cores = 1;
  cpu_set_t set;
  if (::sched_getaffinity(0, sizeof set, &set) == 0) {
    const int count = CPU_COUNT(&set);
    if (count > 0) cores = static_cast<unsigned>(count);
  }
  try {
    const unsigned quota = CgroupQuota();
    if (quota > 0 && quota < cores) cores = quota;
  } catch (...) {
    // An unreadable quota is no quota.
  }
  return cores;
}

}  // namespace dorvenix
