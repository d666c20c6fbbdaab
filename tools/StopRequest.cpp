#include "tools/StopRequest.h"

#include "platform/system/System.h"

namespace tool {
namespace {

std::atomic<bool> g_stop{false};
std::atomic<int> g_request{0};
serial::CancelEvent g_event;

void OnRequest(int request) {
    g_request.store(request);
    g_stop.store(true);
    g_event.Set();
}

}  // namespace

void WatchStopRequests() { platform::OnStopRequest(OnRequest); }
std::atomic<bool>& StopFlag() { return g_stop; }
serial::CancelEvent& StopEvent() { return g_event; }
int StopRequest() { return g_request.load(); }

}  // namespace tool
