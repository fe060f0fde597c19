#include "check_jobs.hpp"

#include <algorithm>
#if defined(__linux__)
#include <sched.h>
#endif

namespace ckptool {

unsigned availableCores() {
#if defined(__linux__)
    // The cores this process may use, which a CPU affinity (taskset, a
    // container) may make fewer than the machine's.
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0) {
        return static_cast<unsigned>(std::max(1, CPU_COUNT(&set)));
    }
#endif
    return std::max(1U, std::thread::hardware_concurrency());
}

} // namespace ckptool
