// A manual-reset event that a blocked serial read or write also waits on, so that
// another thread can end the wait at once: an eventfd on Linux, an event object on Windows.
#pragma once

namespace serial {

class CancelEvent {
public:
    CancelEvent();
    ~CancelEvent();
    CancelEvent(const CancelEvent&) = delete;
    CancelEvent& operator=(const CancelEvent&) = delete;

    void Set();        // stays set until Reset
    void Reset();
    bool IsSet() const;
    // Waits until the event is set (true) or `timeoutMs` ran out (false); -1 waits on.
    bool Wait(int timeoutMs) const;
#ifdef _WIN32
    void* Handle() const { return m_handle; }  // signalled while set

private:
    void* m_handle = nullptr;
#else
    int Fd() const { return m_fd; }  // readable while set

private:
    int m_fd = -1;
#endif
};

}  // namespace serial
