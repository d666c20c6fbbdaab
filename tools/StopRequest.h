// Ctrl+C, SIGTERM or a closed console for a command-line tool: one handler, a flag the
// tool's loops poll, and a cancel event that ends a rate hunt or a wait at once.
#pragma once

#include <atomic>

#include "platform/serial/CancelEvent.h"

namespace tool {

// Installs the handler; a tool calls it once, before its first wait.
void WatchStopRequests();

// The flag the receive sessions poll; also set by a tool that ends itself (a failed
// write to its output).
std::atomic<bool>& StopFlag();
// Set with the flag, for waits that take a cancel event.
serial::CancelEvent& StopEvent();
// The request that stopped the tool (its signal number, for "stopped by SIGINT"), 0 while
// none came.
int StopRequest();

}  // namespace tool
