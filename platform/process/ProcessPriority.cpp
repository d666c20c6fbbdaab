#include "platform/process/ProcessPriority.h"

#include <sys/resource.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <vector>

namespace platform {
namespace {

constexpr int kRaiseBy = 10;  // nice steps; -20 is the most the system knows

std::mutex g_mutex;
bool g_raised = false;
int g_before = 0;

// Linux keeps a nice value per thread, and PRIO_PROCESS with 0 names only the calling
// one: the whole process is every task listed under /proc/self/task. Threads started
// later inherit the value of the thread that starts them.
std::vector<id_t> Tasks() {
    std::vector<id_t> tasks;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task", ec))
        tasks.push_back(static_cast<id_t>(std::strtoul(entry.path().filename().c_str(), nullptr, 10)));
    return tasks;
}

// Every task to `nice`; a task that ended meanwhile is no failure.
void SetEveryTask(int nice) {
    for (const id_t task : Tasks()) setpriority(PRIO_PROCESS, task, nice);
}

}  // namespace

bool RaiseProcessPriority() {
    std::lock_guard lock(g_mutex);
    if (g_raised) return true;
    errno = 0;
    const int now = getpriority(PRIO_PROCESS, 0);
    if (now == -1 && errno != 0) return false;
    const int raised = std::max(-20, now - kRaiseBy);
    if (setpriority(PRIO_PROCESS, 0, raised) != 0) return false;  // refused: nothing changed
    SetEveryTask(raised);
    g_before = now;
    g_raised = true;
    return true;
}

void RestoreProcessPriority() {
    std::lock_guard lock(g_mutex);
    if (!g_raised) return;
    SetEveryTask(g_before);  // a higher nice value is always allowed
    g_raised = false;
}

}  // namespace platform
