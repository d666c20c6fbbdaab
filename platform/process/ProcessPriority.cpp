#include "ProcessPriority.h"

#include <sys/resource.h>

#include <algorithm>
#include <cerrno>
#include <mutex>

namespace platform {
namespace {

constexpr int kRaiseBy = 10;  // nice steps; -20 is the most the system knows

std::mutex g_mutex;
bool g_raised = false;
int g_before = 0;

}  // namespace

bool RaiseProcessPriority() {
    std::lock_guard lock(g_mutex);
    if (g_raised) return true;
    errno = 0;
    const int now = getpriority(PRIO_PROCESS, 0);
    if (now == -1 && errno != 0) return false;
    if (setpriority(PRIO_PROCESS, 0, std::max(-20, now - kRaiseBy)) != 0) return false;
    g_before = now;
    g_raised = true;
    return true;
}

void RestoreProcessPriority() {
    std::lock_guard lock(g_mutex);
    if (!g_raised) return;
    setpriority(PRIO_PROCESS, 0, g_before);  // a higher nice value is always allowed
    g_raised = false;
}

}  // namespace platform
