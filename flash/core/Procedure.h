// One programming run on one port: the boot ROM stage puts the loader into RAM, the
// loader stage writes the image into flash, and every failure becomes one result code.
#pragma once

#include <atomic>
#include <cstdint>
#include <ctime>
#include <memory>
#include <string>

#include "flash/core/BootRom.h"
#include "flash/core/Diagnosis.h"
#include "flash/core/FlashImage.h"
#include "flash/core/FlashPort.h"
#include "flash/core/Loader.h"
#include "flash/core/ResultCodes.h"
#include "flash/core/RunLog.h"
#include "flash/core/Throughput.h"

namespace burn {
inline constexpr uint32_t kLoaderSize = 8728;
}  // namespace burn

// The loader program for the chip's RAM, built in from a data file.
extern const uint8_t LoaderImage[burn::kLoaderSize];

// What the front end reads: bar 0-30 in the boot ROM stage, 30-100 in the loader stage.
// Written by the worker, read by the GUI thread's timer.
struct BurnCounters {
    std::atomic<uint32_t> bar{0};
    std::atomic<uint32_t> bytesDone{0};
    std::atomic<uint32_t> totalBytes{0};
    std::atomic<uint32_t> secondsUsed{0};
    std::atomic<uint32_t> stage{0};  // counts the stages started, for the speed's window
    std::atomic<int64_t> stageStartMs{0};  // steady clock
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
    bool fourPort = false;  // purge before the boot ROM stage, wait longer for the loader's close
    WaitFn wait = SleepMs;
    // Set by the front end to stop the run: every wait ends at once and the run returns
    // burn::kStopped.
    const serial::CancelEvent* cancel = nullptr;
    BurnCounters* counters = nullptr;
    JobNotify notify = nullptr;  // after every progress report, in the worker thread
    void* owner = nullptr;
    // The device the line was opened on: other programs holding it refuse the run before
    // the handshake, and a device gone after a failure means the adapter was pulled.
    // Empty: neither is looked at.
    std::string portPath;
    IRunLog* log = nullptr;  // the run's steps on the line; null keeps none
    uint32_t rateAsked = LoaderBaudTable[1];  // the loader's rate for the write

    // Filled by BurnImage. For a failure, the failing step in words ("the module's loader
    // aborted the stream (cause 0x05) at packet 255") and where it was; empty on success.
    std::string failure;
    burn::Stage failedStage = burn::Stage::kNone;
    int failedStep = 0;       // the step's number within its stage (Loader.h, BootRom.h)
    int moduleAnswer = -1;    // the byte the module sent with the failing step; -1 none
    uint32_t failedPacket = 0;
    int lineError = 0;        // the line's error code (errno) at the failure; 0 none
    uint32_t rateUsed = 0;    // the rate the image was written at; 0 when it was not reached
    std::string rateText;     // "written at 115200 baud: the module refused 921600"
    uint32_t packetRepeats = 0;
};

// The handshake's patience and the protocol's waits: the dialogs use the real ones;
// tests pass shorter ones.
struct RunParameters {
    uint32_t attempts = 1000;
    uint32_t passes = 10;
    WaitFn wait = SleepMs;
};


// The workers' shared context: the current job of each port slot.
struct TProgram {
    BurnJob* jobs[4] = {};
};

namespace image {
inline constexpr int kLoaded = 0, kNoPath = 1, kCannotOpen = 2, kNoStatus = 3, kEmpty = 4, kNoMemory = 5,
                     kShortRead = 6, kNotRegular = 7, kTooLarge = 8, kTooShort = 9;
}  // namespace image

// One of the image codes above. Only a regular file of at most the flash range is read.
int LoadImageFile(const std::string& path, std::shared_ptr<const uint8_t[]>& data, uint32_t& size,
                  std::time_t& modificationTime);

struct BurnBatch {
    std::unique_ptr<FlashImage> image;
    std::unique_ptr<LoaderRecord> loader;
    int loadResult = 0;
    std::string imageSha256;  // of the image read, for the run records
};
// Whether `path` can be flashed, without reading it: kLoaded, or why not.
int CheckImageFile(const std::string& path);

// The reason for an image code, as the programs show it ("not a regular file").
std::string ImageLoadText(int code);

BurnBatch PrepareImages(const std::string& path);
void ReleaseImages(BurnBatch& batch);

// The job of one port's run as every front end sets it up. The batch, line, counters and
// cancel event must outlive it.
BurnJob MakeJob(const BurnBatch& batch, ISerialLine* line, const RunParameters& parameters, BurnCounters* counters,
                const serial::CancelEvent* cancel, bool fourPort, int slot, const std::string& portPath = {});

// Runs the job; the result code, with the job's failure words and counts filled.
uint32_t BurnImage(BurnJob& job);

// "0 Bps", "%d Bps" up to 1024 bytes a second, "%.2f KBps" above, with a point whatever
// the user's locale.
std::string ThroughputText(uint32_t bytes, uint32_t seconds);
// "%02d:%02d sec"
std::string UsedTimeText(uint32_t seconds);

