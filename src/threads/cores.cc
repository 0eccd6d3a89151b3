#include "threads/cores.h"

#include <sched.h>

#include <algorithm>
#include <charconv>
#include <climits>
#include <fstream>
#include <iterator>
#include <string_view>
#include <vector>

namespace dorvenix {
namespace {

// The pieces of `text` between `separator`s, empty ones included.
std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> pieces;
  for (std::size_t start = 0;;) {
    const std::size_t end = text.find(separator, start);
    pieces.push_back(text.substr(start, end - start));
    if (end == std::string_view::npos) return pieces;
    start = end + 1;
  }
}

bool Contains(const std::vector<std::string_view>& pieces, std::string_view piece) {
  return std::find(pieces.begin(), pieces.end(), piece) != pieces.end();
}

// The first number in `text`, before a blank or a line feed; -1 when there
// is none ("max").
long long NumberIn(std::string_view text) {
  text = text.substr(0, text.find_first_of(" \n"));
  long long value;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size() ? value : -1;
}

// Whole CPUs, rounded up, for `quota` microseconds of CPU time in each
// `period`; 0 for no quota.
unsigned CpusOf(long long quota, long long period) {
  if (quota <= 0 || period <= 0) return 0;
  return static_cast<unsigned>(std::min<long long>(UINT_MAX, (quota - 1) / period + 1));
}

// The lesser of two quotas, 0 being none.
unsigned Least(unsigned a, unsigned b) { return a == 0 || (b != 0 && b < a) ? b : a; }

// Where a cgroup hierarchy is mounted: the path of the cgroup at the root of
// the mount, and the folder it is mounted on.
struct Mount {
  std::string root, folder;
};

// The mounts of the v1 hierarchy that holds the cpu controller and of the v2
// hierarchy, from the lines of mountinfo: ID PARENT DEVICE ROOT FOLDER
// OPTIONS [TAGS...] - TYPE SOURCE SUPER-OPTIONS, where v1 names its
// controllers among the SUPER-OPTIONS.
void FindMounts(std::string_view mountinfo, std::optional<Mount>* v1, std::optional<Mount>* v2) {
  for (const std::string_view line : Split(mountinfo, '\n')) {
    const std::vector<std::string_view> fields = Split(line, ' ');
    const auto dash = std::find(fields.begin(), fields.end(), "-");
    if (dash - fields.begin() < 6 || fields.end() - dash < 4) continue;
    const Mount mount{std::string(fields[3]), std::string(fields[4])};
    if (dash[1] == "cgroup2") *v2 = mount;
    if (dash[1] == "cgroup" && Contains(Split(dash[3], ','), "cpu")) *v1 = mount;
  }
}

// The quota that the cgroup in `folder` (ending in a slash) sets itself.
unsigned QuotaIn(const std::string& folder, bool v2, const FileReader& read) {
  if (v2) {
    const std::optional<std::string> max = read(folder + "cpu.max");  // "QUOTA PERIOD"
    const std::size_t space = max ? max->find(' ') : std::string::npos;
    if (space == std::string::npos) return 0;
    return CpusOf(NumberIn(*max), NumberIn(std::string_view(*max).substr(space + 1)));
  }
  const std::optional<std::string> quota = read(folder + "cpu.cfs_quota_us");
  const std::optional<std::string> period = read(folder + "cpu.cfs_period_us");
  return quota && period ? CpusOf(NumberIn(*quota), NumberIn(*period)) : 0;
}

// The least quota set by the cgroup at `path` in the hierarchy mounted at
// `mount`, or by one above it within the mount.
unsigned QuotaOnTheWayUp(const Mount& mount, std::string_view path, bool v2,
                         const FileReader& read) {
  if (!path.starts_with(mount.root)) return 0;  // out of this mount's reach
  path.remove_prefix(mount.root.size());
  if (!path.empty() && path[0] != '/' && !mount.root.ends_with('/')) return 0;
  while (path.starts_with('/')) path.remove_prefix(1);
  while (path.ends_with('/')) path.remove_suffix(1);
  unsigned quota = 0;
  for (;;) {
    std::string folder = mount.folder + '/';
    if (!path.empty()) (folder += path) += '/';
    quota = Least(quota, QuotaIn(folder, v2, read));
    if (path.empty()) return quota;
    const std::size_t slash = path.rfind('/');
    path = path.substr(0, slash == std::string_view::npos ? 0 : slash);
  }
}

}  // namespace

unsigned UsableCores(unsigned cpus, unsigned quota) {
  const unsigned cores = std::max(cpus, 1u);
  return quota > 0 && quota < cores ? quota : cores;
}

unsigned UsableCores() {
  cpu_set_t set;
  const int cpus = ::sched_getaffinity(0, sizeof set, &set) == 0 ? CPU_COUNT(&set) : 0;
  return UsableCores(static_cast<unsigned>(std::max(cpus, 0)), CgroupQuota(ReadSystemFile));
}

std::optional<std::string> ReadSystemFile(const std::string& path) {
  std::ifstream in(path);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), {});
}

unsigned CgroupQuota(const FileReader& read) {
  const std::optional<std::string> cgroups = read("/proc/self/cgroup");
  const std::optional<std::string> mountinfo = read("/proc/self/mountinfo");
  if (!cgroups || !mountinfo) return 0;
  std::optional<Mount> v1, v2;
  FindMounts(*mountinfo, &v1, &v2);
  // A line of /proc/self/cgroup: ID:CONTROLLERS:PATH; v2's has ID 0 and no
  // controllers.
  unsigned quota = 0;
  for (const std::string_view line : Split(*cgroups, '\n')) {
    const std::size_t first = line.find(':'), second = line.find(':', first + 1);
    if (second == std::string_view::npos) continue;
    const std::string_view controllers = line.substr(first + 1, second - first - 1);
    const bool is_v2 = line.substr(0, first) == "0" && controllers.empty();
    const std::optional<Mount>& mount = is_v2 ? v2 : v1;
    if (!mount || (!is_v2 && !Contains(Split(controllers, ','), "cpu"))) continue;
    quota = Least(quota, QuotaOnTheWayUp(*mount, line.substr(second + 1), is_v2, read));
  }
  return quota;
}

}  // namespace dorvenix
