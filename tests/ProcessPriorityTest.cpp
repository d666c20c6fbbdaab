// The monitor's priority raise reaches the threads that were already running (the
// receive threads start before it) and the restore brings every one of them back.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "platform/process/ProcessPriority.h"

namespace {

// A thread that only waits, telling its id and answering with its nice value.
class Sleeper {
public:
    Sleeper() : m_thread([this] {
        m_tid = gettid();
        while (!m_stop) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }) {
        while (m_tid == 0) std::this_thread::yield();
    }
    ~Sleeper() {
        m_stop = true;
        m_thread.join();
    }
    int Nice() const { return getpriority(PRIO_PROCESS, static_cast<id_t>(m_tid.load())); }

private:
    std::atomic<pid_t> m_tid{0};
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

}  // namespace

TEST(ProcessPriority, RaiseReachesThreadsStartedBeforeItAndRestoreEveryThread) {
    const int before = getpriority(PRIO_PROCESS, 0);
    Sleeper receiver;
    ASSERT_EQ(receiver.Nice(), before);
    if (!platform::RaiseProcessPriority()) GTEST_SKIP() << "this user may not raise the priority";
    EXPECT_LT(getpriority(PRIO_PROCESS, 0), before);
    EXPECT_EQ(receiver.Nice(), getpriority(PRIO_PROCESS, 0));
    Sleeper later;  // started while raised: inherits it
    EXPECT_EQ(later.Nice(), receiver.Nice());
    EXPECT_TRUE(platform::RaiseProcessPriority());  // twice is once
    platform::RestoreProcessPriority();
    EXPECT_EQ(getpriority(PRIO_PROCESS, 0), before);
    EXPECT_EQ(receiver.Nice(), before);
    EXPECT_EQ(later.Nice(), before);
}
