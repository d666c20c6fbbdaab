// The priority of the whole process: the monitor runs above normal while a link is open,
// so that a busy desktop does not starve the receive thread.
#pragma once

namespace platform {

// Raises the process's scheduling priority. Returns false when the system refuses (an
// unprivileged user on Linux may not go below its nice value); nothing changes then.
bool RaiseProcessPriority();

// Back to the priority the process had before the raise; nothing when it was not raised.
void RestoreProcessPriority();

}  // namespace platform
