// The cancel event on Windows: a manual-reset event object, which an overlapped read or
// write waits on beside its own completion.
#include <windows.h>

#include <stdexcept>

#include "platform/serial/CancelEvent.h"

namespace serial {

CancelEvent::CancelEvent() : m_handle(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    if (!m_handle) throw std::runtime_error("CreateEvent failed");
}

CancelEvent::~CancelEvent() { CloseHandle(m_handle); }

void CancelEvent::Set() { SetEvent(m_handle); }

void CancelEvent::Reset() { ResetEvent(m_handle); }

bool CancelEvent::IsSet() const { return WaitForSingleObject(m_handle, 0) == WAIT_OBJECT_0; }

bool CancelEvent::Wait(int timeoutMs) const {
    return WaitForSingleObject(m_handle, timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs)) ==
           WAIT_OBJECT_0;
}

}  // namespace serial
