// How many cores this process may keep busy: the CPUs it may run on, lowered
// to the CPU quota of its cgroups.
#ifndef DORVENIX_THREADS_CORES_H_
#define DORVENIX_THREADS_CORES_H_

#include <functional>
#include <optional>
#include <string>

namespace dorvenix {

// The number of CPUs the process may run on (its affinity mask, so
// `taskset -c 0` gives 1), lowered to the CPU quota of its cgroups when one
// is set (a container limited to 2.5 CPUs gets 3). At least 1.
unsigned UsableCores();

// The same for `cpus` CPUs in the affinity mask (0 when unknown) and a quota
// of `quota` whole CPUs (0 when none).
unsigned UsableCores(unsigned cpus, unsigned quota);

// The whole contents of a small file, or nothing when it cannot be read.
using FileReader = std::function<std::optional<std::string>(const std::string& path)>;
std::optional<std::string> ReadSystemFile(const std::string& path);

// The CPU quota of the process, in whole CPUs rounded up, or 0 when none is
// set: the least over its own cgroup and the cgroups above it. Its cgroups
// are named in /proc/self/cgroup, where the hierarchies are mounted in
// /proc/self/mountinfo. cgroup v2 keeps a quota in cpu.max ("max 100000" for
// none, "250000 100000" for 2.5 CPUs), v1 in cpu.cfs_quota_us (-1 for none)
// and cpu.cfs_period_us. Every file is read through `read`.
unsigned CgroupQuota(const FileReader& read);

}  // namespace dorvenix

#endif  // DORVENIX_THREADS_CORES_H_
