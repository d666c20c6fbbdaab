#include "platform/serial/CancelEvent.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>
#include <stdexcept>

namespace serial {

CancelEvent::CancelEvent() : m_fd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (m_fd < 0) throw std::runtime_error("eventfd failed");
}

CancelEvent::~CancelEvent() { close(m_fd); }

// The counter only ever holds 0 or a positive value; reading it back is the reset.
void CancelEvent::Set() {
    const uint64_t one = 1;
    (void)!write(m_fd, &one, sizeof one);
}

void CancelEvent::Reset() {
    uint64_t value;
    (void)!read(m_fd, &value, sizeof value);
}

bool CancelEvent::IsSet() const {
    pollfd p{m_fd, POLLIN, 0};
    return poll(&p, 1, 0) == 1;
}

bool CancelEvent::Wait(int timeoutMs) const {
    pollfd p{m_fd, POLLIN, 0};
    return poll(&p, 1, timeoutMs) == 1;
}

}  // namespace serial
