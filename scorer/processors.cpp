#include "scorer/processors.hpp"

#include "io/strict_number.hpp"

#include <sched.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string_view>
#include <thread>
#include <vector>

namespace vornel {

namespace {

std::optional<std::string> file_text(const std::string& path) {
    std::ifstream in(path);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A number of a cgroup file: one whole number, maybe followed by the file's newline.
std::optional<long long> file_integer(std::string_view text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.remove_suffix(1);
    long long value = 0;
    if (!ppi::io::parse_integer(text, value)) return std::nullopt;
    return value;
}

// Whole processors needed for `quota` microseconds of CPU time per `period`.
std::optional<unsigned> processors_for(long long quota, long long period) {
    if (quota <= 0 || period <= 0) return std::nullopt;
    return static_cast<unsigned>(std::max(1LL, (quota + period - 1) / period));
}

// cgroup v2: "max 100000" (no limit) or "<quota> <period>".
std::optional<unsigned> v2_limit(const std::string& directory) {
    const auto text = file_text(directory + "/cpu.max");
    if (!text) return std::nullopt;
    const auto blank = text->find(' ');
    if (blank == std::string::npos) return std::nullopt;
    const auto quota = file_integer(std::string_view(*text).substr(0, blank));
    const auto period = file_integer(std::string_view(*text).substr(blank + 1));
    if (!quota || !period) return std::nullopt;
    return processors_for(*quota, *period);
}

// cgroup v1: cpu.cfs_quota_us (-1: no limit) and cpu.cfs_period_us.
std::optional<unsigned> v1_limit(const std::string& directory) {
    const auto quota_text = file_text(directory + "/cpu.cfs_quota_us");
    const auto period_text = file_text(directory + "/cpu.cfs_period_us");
    if (!quota_text || !period_text) return std::nullopt;
    const auto quota = file_integer(*quota_text);
    const auto period = file_integer(*period_text);
    if (!quota || !period) return std::nullopt;
    return processors_for(*quota, *period);
}

std::optional<unsigned> smaller(std::optional<unsigned> a, std::optional<unsigned> b) {
    if (!a) return b;
    if (!b) return a;
    return std::min(*a, *b);
}

// The smallest limit of the group at `group_path` under `mount` and of its ancestors (a parent's
// quota binds its children).
template <class Limit>
std::optional<unsigned> limit_up_the_tree(const std::string& mount, std::string group_path, Limit limit) {
    std::optional<unsigned> found;
    for (;;) {
        while (group_path.size() > 1 && group_path.back() == '/') group_path.pop_back();
        found = smaller(found, limit(group_path == "/" ? mount : mount + group_path));
        if (group_path.empty() || group_path == "/") return found;
        const auto slash = group_path.rfind('/');
        group_path = slash == 0 || slash == std::string::npos ? "/" : group_path.substr(0, slash);
    }
}

bool lists_cpu_controller(std::string_view controllers) {
    for (;;) {
        const auto comma = controllers.find(',');
        if (controllers.substr(0, comma) == "cpu") return true;
        if (comma == std::string_view::npos) return false;
        controllers.remove_prefix(comma + 1);
    }
}

}  // namespace

std::optional<unsigned> cgroup_cpu_limit(const std::string& proc_self_cgroup, const std::string& cgroup_root) {
    std::optional<unsigned> found;
    std::string_view rest(proc_self_cgroup);
    while (!rest.empty()) {
        const auto newline = rest.find('\n');
        const std::string_view line = rest.substr(0, newline);
        rest.remove_prefix(newline == std::string_view::npos ? rest.size() : newline + 1);
        // "<hierarchy id>:<controllers>:<path>"
        const auto first = line.find(':');
        const auto second = first == std::string_view::npos ? first : line.find(':', first + 1);
        if (second == std::string_view::npos) continue;
        const std::string_view controllers = line.substr(first + 1, second - first - 1);
        const std::string path(line.substr(second + 1));
        if (line.substr(0, first) == "0" && controllers.empty()) {
            // Unified hierarchy: mounted at the root, or under "unified" beside v1 controllers.
            for (const std::string& mount : {cgroup_root, cgroup_root + "/unified"}) {
                found = smaller(found, limit_up_the_tree(mount, path, v2_limit));
            }
        } else if (lists_cpu_controller(controllers)) {
            const std::string mount = cgroup_root + "/" + std::string(controllers);
            found = smaller(found, limit_up_the_tree(mount, path, v1_limit));
            // Inside a container the group's own directory is often the mount itself.
            found = smaller(found, v1_limit(mount));
        }
    }
    return found;
}

unsigned usable_processors() {
    unsigned count = 0;
    cpu_set_t set;
    CPU_ZERO(&set);
    if (::sched_getaffinity(0, sizeof set, &set) == 0) count = static_cast<unsigned>(CPU_COUNT(&set));
    if (count == 0) count = std::thread::hardware_concurrency();  // more CPUs than a cpu_set_t holds
    if (const auto cgroups = file_text("/proc/self/cgroup")) {
        if (const auto limit = cgroup_cpu_limit(*cgroups, "/sys/fs/cgroup")) count = std::min(count, *limit);
    }
    return std::max(1u, count);
}

unsigned threads_for_rows(unsigned requested, std::uint32_t proteins) {
    const unsigned wanted = requested > 0 ? requested : usable_processors();
    const unsigned useful = std::max(1u, proteins / rows_per_thread);
    return std::min(wanted, useful);
}

}  // namespace vornel
