#pragma once

#include <optional>
#include <string>

namespace vornel {

// The processors this process may use: those of its CPU affinity mask, lowered to the CPU
// quota of its control group (cgroup v2 cpu.max or v1 cfs quota) when that is smaller.
// At least 1. std::thread::hardware_concurrency counts the host's cores and sees neither.
unsigned usable_processors();

// The CPU quota, rounded up to whole processors, of the control groups listed in
// `proc_self_cgroup` (the text of /proc/self/cgroup) and their ancestors, with the control-group
// file systems found under `cgroup_root` (normally /sys/fs/cgroup). The smallest quota wins;
// nothing when no group sets one.
std::optional<unsigned> cgroup_cpu_limit(const std::string& proc_self_cgroup, const std::string& cgroup_root);

}  // namespace vornel
