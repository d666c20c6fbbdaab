#include "bench/PacedLine.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/resource.h>
#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "sim/ReceiverOutput.h"

namespace bench {

Pty::Pty() {
    master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        std::perror("pseudo-terminal");
        std::exit(1);
    }
    slave = ptsname(master);
}

Pty::~Pty() { close(master); }

void Pty::Write(const std::string& bytes) const {
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = write(master, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            std::perror("pseudo-terminal write");
            std::exit(1);
        }
        done += static_cast<std::size_t>(n);
    }
}

void Pty::Drain() const {
    char buffer[256];
    pollfd p{master, POLLIN, 0};
    while (poll(&p, 1, 0) == 1 && (p.revents & POLLIN) && read(master, buffer, sizeof buffer) > 0) {}
}

double CpuSeconds() {
    rusage use{};
    getrusage(RUSAGE_SELF, &use);
    return use.ru_utime.tv_sec + use.ru_stime.tv_sec + (use.ru_utime.tv_usec + use.ru_stime.tv_usec) / 1e6;
}

std::vector<std::string> SimulatedEpochs(int count, int perSecond, bool route) {
    sim::ReceiverOptions options;
    options.epochsPerSecond = perSecond;
    if (route) options.motion = sim::Motion::Mode::Route;
    sim::ReceiverOutput out(options);
    std::vector<std::string> epochs;
    for (int e = 0; e < count; ++e) epochs.push_back(out.Epoch(e));
    return epochs;
}

namespace {

void WriteAll(int master, const std::string& bytes) {
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = write(master, bytes.data() + done, bytes.size() - done);
        if (n <= 0) return;
        done += static_cast<std::size_t>(n);
    }
}

void NotePause(PacedEpochs& paced, Clock::duration pause) {
    paced.longestPause = std::max(paced.longestPause, pause);
    paced.quietPauses += pause >= kQuietPause;
}

PacedEpochs Pace(int master, const std::vector<std::string>& epochs, uint32_t baudRate, int perSecond) {
    PacedEpochs paced;
    const auto start = Clock::now();
    auto lineFree = start;
    Clock::time_point lastWrite;
    for (std::size_t e = 0; e < epochs.size(); ++e) {
        const std::string& epoch = epochs[e];
        if (baudRate == 0) {
            std::this_thread::sleep_until(start + std::chrono::milliseconds(100 * e));
            WriteAll(master, epoch);
            paced.lastByte.push_back(Clock::now());
            continue;
        }
        const auto period = start + std::chrono::milliseconds(1000 * e / perSecond);
        // Back to back with the epoch before: the line has not been free since.
        const bool busy = e > 0 && lineFree >= period;
        const auto epochStart = std::max(lineFree, period);
        std::this_thread::sleep_until(epochStart);
        const double bytesPerSecond = baudRate / 10.0;
        std::size_t done = 0;
        while (done < epoch.size()) {
            const double elapsed = std::chrono::duration<double>(Clock::now() - epochStart).count();
            const auto due = std::min(epoch.size(), static_cast<std::size_t>(elapsed * bytesPerSecond) + 1);
            if (due > done) {
                const ssize_t n = write(master, epoch.data() + done, due - done);
                if (n > 0) {
                    const auto now = Clock::now();
                    if (done > 0 || busy) NotePause(paced, now - lastWrite);
                    lastWrite = now;
                    done += static_cast<std::size_t>(n);
                }
            }
            if (done < epoch.size()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        paced.lastByte.push_back(Clock::now());
        lineFree = epochStart + std::chrono::microseconds(static_cast<int64_t>(epoch.size() * 1e6 / bytesPerSecond));
    }
    return paced;
}

}  // namespace

PacedEpochs PaceEpochs(int master, const std::vector<std::string>& epochs, uint32_t baudRate, int perSecond) {
    PacedEpochs paced;
    std::thread line([&] {
        sched_param lowest{};
        lowest.sched_priority = sched_get_priority_min(SCHED_FIFO);
        pthread_setschedparam(pthread_self(), SCHED_FIFO, &lowest);  // a refusal leaves it as it was
        paced = Pace(master, epochs, baudRate, perSecond);
    });
    line.join();
    return paced;
}

}  // namespace bench
