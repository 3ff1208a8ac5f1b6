#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace vornel {

// The processors this process may use: those of its CPU affinity mask, lowered to the CPU
// quota of its control group (cgroup v2 cpu.max or v1 cfs quota) when that is smaller.
// At least 1. std::thread::hardware_concurrency counts the host's cores and sees neither.
unsigned usable_processors();

// The most worker threads a run may ask for (vornel --threads, the Python package's threads=).
inline constexpr unsigned max_requested_threads = 1024;

// Rows (proteins) a thread should have to itself before another thread pays: rows are handed
// out 16 at a time, and every thread first fills a workspace as large as the network, so with
// fewer rows per thread the extra threads cost more memory and set-up than they save (1,024
// threads on a 2,000-protein network ran many times slower than one).
inline constexpr std::uint32_t rows_per_thread = 256;

// The threads to start for a network of `proteins`: the requested count (0: the usable
// processors), capped by the rows there are to share out (at least 1).
unsigned threads_for_rows(unsigned requested, std::uint32_t proteins);

// The CPU quota, rounded up to whole processors, of the control groups listed in
// `proc_self_cgroup` (the text of /proc/self/cgroup) and their ancestors, with the control-group
// file systems found under `cgroup_root` (normally /sys/fs/cgroup). The smallest quota wins;
// nothing when no group sets one.
std::optional<unsigned> cgroup_cpu_limit(const std::string& proc_self_cgroup, const std::string& cgroup_root);

}  // namespace vornel
