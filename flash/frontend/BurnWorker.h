// A worker thread that sleeps on its own semaphore and runs one job each time it is
// released, until the exit flag is set.
#pragma once

#include <atomic>
#include <functional>
#include <semaphore>
#include <thread>

class BurnWorker {
public:
    explicit BurnWorker(std::function<void()> run);
    ~BurnWorker();  // sets the exit flag, wakes the thread and waits for it
    BurnWorker(const BurnWorker&) = delete;
    BurnWorker& operator=(const BurnWorker&) = delete;

    void Release() { m_wake.release(); }

private:
    std::function<void()> m_run;
    std::binary_semaphore m_wake{0};
    std::atomic<bool> m_exit{false};
    std::thread m_thread;
};
