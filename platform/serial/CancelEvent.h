// A manual-reset event that a blocked serial read or write also waits on, so that
// another thread can end the wait at once (the stand-in for aborting overlapped I/O).
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
    int Fd() const { return m_fd; }  // readable while set

private:
    int m_fd = -1;
};

}  // namespace serial
