// The process's priority on Windows: its priority class, one step above normal.
#include <windows.h>

#include <mutex>

#include "platform/process/ProcessPriority.h"

namespace platform {
namespace {

std::mutex g_mutex;
bool g_raised = false;
DWORD g_before = NORMAL_PRIORITY_CLASS;

}  // namespace

bool RaiseProcessPriority() {
    std::lock_guard lock(g_mutex);
    if (g_raised) return true;
    const DWORD now = GetPriorityClass(GetCurrentProcess());
    if (now == 0) return false;
    if (!SetPriorityClass(GetCurrentProcess(), ABOVE_NORMAL_PRIORITY_CLASS)) return false;
    g_before = now;
    g_raised = true;
    return true;
}

void RestoreProcessPriority() {
    std::lock_guard lock(g_mutex);
    if (!g_raised) return;
    SetPriorityClass(GetCurrentProcess(), g_before);
    g_raised = false;
}

}  // namespace platform
