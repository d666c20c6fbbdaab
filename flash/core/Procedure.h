// One programming run on one port: the boot ROM stage puts the loader into RAM, the
// loader stage writes the image into flash, and every failure becomes one result code.
#pragma once

#include <atomic>
#include <cstdint>
#include <ctime>
#include <memory>
#include <string>

#include "BootRom.h"
#include "FlashPort.h"
#include "Loader.h"

namespace burn {
inline constexpr uint32_t kSuccess = 0, kJobIncomplete = 2, kNoPort = 3, kTimeoutsNotSet = 7,
                          kBaudUnreadable = 11, kBaudNotRestored = 12, kRangeRefused = 13, kWriteFailed = 14,
                          kLoaderInvalid = 0x504, kImageInvalid = 0x505, kNoMemory = 0x20006;
inline constexpr uint32_t kStageFlag = 6;  // ORed into the boot ROM stage codes
inline constexpr uint32_t kLoaderSize = 8728;
}  // namespace burn

// The loader program for the chip's RAM, built in from a data file.
extern const uint8_t LoaderImage[burn::kLoaderSize];

struct FlashImage {
    std::string name;
    uint32_t startAddress = 0;
    uint32_t endAddress = 0;
    std::string path;
    std::time_t modificationTime = 0;
    std::shared_ptr<const uint8_t[]> data;
    uint32_t size = 0;
    uint8_t waitFactor = 0;
    uint32_t packetSize = 1024;
    uint8_t modeByte = 1;

    // A one-byte file is not valid (its end address equals its start); neither is one
    // shorter than the 4 bytes the loader's header carries.
    bool IsValid() const {
        return !path.empty() && data && size >= 4 && endAddress != startAddress && endAddress != 0;
    }
};

struct LoaderRecord {
    std::string name = "BE";
    uint32_t loadAddress = 0;
    std::shared_ptr<const uint8_t[]> data;
    uint32_t size = 0;
    bool IsValid() const { return !name.empty() && data && size; }
};

// What the front end reads: bar 0-30 in the boot ROM stage, 30-100 in the loader stage.
// Written by the worker, read by the GUI thread's timer.
struct BurnCounters {
    std::atomic<uint32_t> bar{0};
    std::atomic<uint32_t> bytesDone{0};
    std::atomic<uint32_t> totalBytes{0};
    std::atomic<uint32_t> secondsUsed{0};
    std::atomic<uint32_t> stageSeconds{0};
    std::atomic<uint32_t> bytesSeenAtTick{0};
    std::atomic<bool> reportValid{false};

    void ResetForRun();
    void Tick();  // once a second while a run is active
};

struct BurnJob;
using JobNotify = void (*)(BurnJob& job);

struct BurnJob {
    int slot = 0;
    ISerialLine* line = nullptr;
    uint32_t readTimeoutMs = FlashPort::kUseDefault;
    uint32_t writeTimeoutMs = FlashPort::kUseDefault;
    const LoaderRecord* loader = nullptr;
    uint32_t attemptLimit = 1000;
    uint32_t passes = 10;
    uint8_t baudCheckRepeats = 0;
    FlashImage image;  // this run's copy: the data is shared, the wait factor is its own
    uint32_t packetSteps = 0;
    LoaderInfo info{};
    bool fourPort = false;  // purge before the boot ROM stage, wait for the loader's close
    WaitFn wait = SleepMs;
    BurnCounters* counters = nullptr;
    JobNotify notify = nullptr;  // after every progress report, in the worker thread
    void* owner = nullptr;
};

// The workers' shared context: the current job of each port slot.
struct TProgram {
    BurnJob* jobs[4] = {};
};

// 0, or 1 empty path, 2 cannot open, 3 no status, 4 empty file, 5 no memory, 6 short read.
int LoadImageFile(const std::string& path, std::shared_ptr<const uint8_t[]>& data, uint32_t& size,
                  std::time_t& modificationTime);

struct BurnBatch {
    std::unique_ptr<FlashImage> image;
    std::unique_ptr<LoaderRecord> loader;
    int loadResult = 0;
};
BurnBatch PrepareImages(const std::string& path);
void ReleaseImages(BurnBatch& batch);

uint32_t BurnImage(BurnJob& job);

// "0 Bps", "%d Bps" up to 1024 bytes a second, "%.2f KBps" above.
std::string ThroughputText(uint32_t bytes, uint32_t seconds);
// "%02d:%02d sec"
std::string UsedTimeText(uint32_t seconds);
// "Burn Flash Img Success !" or "Burn Flash Img Fail ! Error=b0006"
std::string ResultText(uint32_t code);
