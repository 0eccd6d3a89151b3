// How many cores this process may keep busy.
#ifndef DORVENIX_BASE_CORES_H_
#define DORVENIX_BASE_CORES_H_

namespace dorvenix {

// The number of CPUs the process may run on (its affinity mask, so
// `taskset -c 0` gives 1), lowered to the CPU quota of its cgroup when one
// is set (a container limited to 2.5 CPUs gets 3). At least 1.
unsigned UsableCores();

}  // namespace dorvenix

#endif  // DORVENIX_BASE_CORES_H_
