#include "Procedure.h"

#include <cerrno>
#include <cstdio>
#include <new>

#include "RunRecord.h"
#include "System.h"

void BurnCounters::ResetForRun() {
    bar = 0;
    bytesDone = 0;
    totalBytes = 0;
    secondsUsed = 0;
    reportValid = false;
}

void BurnCounters::Tick() { ++secondsUsed; }

namespace {

// Opens an image and checks what its size and kind allow, before any byte is read.
// Without blocking: a FIFO or a device would otherwise hold the open until a writer
// comes. Only a regular file is an image.
int OpenImage(const std::string& path, platform::File& file, platform::FileInfo& info) {
    if (path.empty()) return image::kNoPath;
    if (const int error = file.OpenToRead(path); error != 0)
        return error == EISDIR ? image::kNotRegular : image::kCannotOpen;
    if (file.Info(info) != 0) return image::kNoStatus;
    if (!info.regular) return image::kNotRegular;
    if (info.size == 0) return image::kEmpty;
    if (info.size > burn::kFlashRangeBytes) return image::kTooLarge;
    return image::kLoaded;
}

}  // namespace

int LoadImageFile(const std::string& path, std::shared_ptr<const uint8_t[]>& data, uint32_t& size,
                  std::time_t& modificationTime) {
    platform::File file;
    platform::FileInfo info;
    if (const int code = OpenImage(path, file, info); code != image::kLoaded) return code;
    const auto length = static_cast<uint32_t>(info.size);
    std::shared_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[length]);
    if (!buffer) return image::kNoMemory;
    uint32_t got = 0;
    int error = 0;
    while (got < length) {
        const long n = file.Read(buffer.get() + got, length - got, error);
        if (n <= 0) break;
        got += static_cast<uint32_t>(n);
    }
    if (got != length) return image::kShortRead;
    data = std::move(buffer);
    size = length;
    modificationTime = info.modified;
    return image::kLoaded;
}

int CheckImageFile(const std::string& path) {
    platform::File file;
    platform::FileInfo info;
    if (const int code = OpenImage(path, file, info); code != image::kLoaded) return code;
    return info.size < burn::kMinImageBytes ? image::kTooShort : image::kLoaded;
}

std::string ImageLoadText(int code) {
    switch (code) {
        case image::kLoaded: return {};
        case image::kNoPath: return "no path";
        case image::kCannotOpen: return "cannot open it";
        case image::kNoStatus: return "cannot read its status";
        case image::kEmpty: return "it is empty";
        case image::kNoMemory: return "not enough memory";
        case image::kShortRead: return "it could not be read whole";
        case image::kNotRegular: return "not a regular file";
        case image::kTooLarge: return "larger than the flash range (128 MiB)";
        case image::kTooShort: return "shorter than 4 bytes: too short to flash";
        default: return "cannot be read";
    }
}

BurnBatch PrepareImages(const std::string& path) {
    BurnBatch batch;
    batch.image = std::make_unique<FlashImage>();
    batch.image->modeByte = 0;
    batch.loader = std::make_unique<LoaderRecord>();
    std::shared_ptr<uint8_t[]> copy(new uint8_t[burn::kLoaderSize]);
    std::copy(LoaderImage, LoaderImage + burn::kLoaderSize, copy.get());
    batch.loader->data = std::move(copy);
    batch.loader->size = burn::kLoaderSize;
    if (!path.empty()) {
        FlashImage& image = *batch.image;
        batch.loadResult = LoadImageFile(path, image.data, image.size, image.modificationTime);
        if (batch.loadResult == 0) {
            image.path = path;
            image.endAddress = image.startAddress + image.size - 1;
            batch.imageSha256 = Sha256Hex(image.data.get(), image.size);
        }
    }
    batch.image->modeByte = 1;
    batch.image->packetSize = 1024;
    return batch;
}

BurnJob MakeJob(const BurnBatch& batch, ISerialLine* line, const RunParameters& parameters, BurnCounters* counters,
                const serial::CancelEvent* cancel, bool fourPort, int slot) {
    BurnJob job;
    job.slot = slot;
    job.line = line;
    job.loader = batch.loader.get();
    job.image = *batch.image;
    job.attemptLimit = parameters.attempts;
    job.passes = parameters.passes;
    job.wait = parameters.wait;
    job.fourPort = fourPort;
    job.counters = counters;
    job.cancel = cancel;
    return job;
}

void ReleaseImages(BurnBatch& batch) {
    batch.image.reset();
    batch.loader.reset();
}

namespace {

BurnJob& JobOf(void* context) { return *static_cast<BurnJob*>(context); }

void Report(BurnJob& job, uint32_t bar, uint32_t done, uint32_t total) {
    if (BurnCounters* c = job.counters) {
        c->bar = bar;
        c->bytesDone = done;
        c->totalBytes = total;
        c->reportValid = true;
    }
    if (job.notify) job.notify(job);
}

void StageStart(BurnJob& job, uint32_t bar) {
    if (BurnCounters* c = job.counters) {
        // Bytes of the new stage count from 0: the counter drops before the stage number
        // moves on, so a reader never pairs the new stage with the old bytes.
        c->bytesDone = 0;
        c->stageStartMs = SteadyMs();
        ++c->stage;
    }
    Report(job, bar, 0, 0);
}

void RomStart(void* ctx) { StageStart(JobOf(ctx), 0); }
void RomProgress(uint8_t p, uint32_t done, uint32_t total, void* ctx) { Report(JobOf(ctx), p * 3u / 10u, done, total); }
void LoaderStart(void* ctx) { StageStart(JobOf(ctx), 30); }
void LoaderProgress(uint8_t p, uint32_t done, uint32_t total, void* ctx) {
    Report(JobOf(ctx), 30 + p * 7u / 10u, done, total);
}

}  // namespace

namespace {

uint32_t RunStages(BurnJob& job, FlashPort& port) {
    if (!job.image.IsValid()) return burn::kImageInvalid;
    if (job.loader) {
        if (!job.loader->IsValid()) return burn::kLoaderInvalid;
        std::unique_ptr<Rom_ZR7316A> rom(new (std::nothrow) Rom_ZR7316A(job.attemptLimit, job.passes));
        if (!rom) return burn::kNoMemory;
        if (job.fourPort) port.Purge();
        const LoadRequest request{job.loader->data.get(), job.loader->size, RomStart, &job, RomProgress, &job};
        const uint32_t r = rom->Run(port, request);
        if (r != 0) return r | burn::kStageFlag;
    }
    if (port.SetTimeouts(job.readTimeoutMs, job.writeTimeoutMs) != 0) return burn::kTimeoutsNotSet;
    if (const int r = WaitLoaderReady(port, job.info)) return static_cast<uint32_t>(r);
    uint32_t savedRate = 0;
    if (port.GetBaudRate(savedRate) != 0) return burn::kBaudUnreadable;
    if (SwitchBaud(port, 1, job.baudCheckRepeats) != 0 && port.SetBaudRate(savedRate) != 0)
        return burn::kBaudNotRestored;
    if (SetFlashRange(port, job.image) != 0) return burn::kRangeRefused;
    if (WriteFlash(port, &job.image, job.packetSteps, LoaderStart, &job, LoaderProgress, &job) != 0)
        return burn::kWriteFailed;
    // The closing command must reach the module at the loader's rate, or it stays in its
    // loader and the next run finds no boot ROM: the rate goes back only once the loader
    // has answered it (or its wait is over: the flash is written either way).
    FinishLoader(port, job.fourPort);
    if (port.RestoreBaudRate(savedRate) != 0) return burn::kBaudNotRestored;
    return burn::kSuccess;
}

}  // namespace

uint32_t BurnImage(BurnJob& job) {
    if (!job.line) return burn::kNoPort;
    job.line->SetCancel(job.cancel);
    FlashPort port(job.line, job.wait, job.cancel);
    const uint32_t result = RunStages(job, port);
    job.line->SetCancel(nullptr);
    // A module flashed whole stays a success even when Stop came after its last wait.
    return port.Cancelled() && result != burn::kSuccess ? burn::kStopped : result;
}

std::string ThroughputText(uint32_t bytes, uint32_t seconds) {
    if (seconds == 0) return "0 Bps";
    const uint32_t rate = bytes / seconds;
    char text[32];
    if (rate < 1025) {
        std::snprintf(text, sizeof text, "%u Bps", rate);
    } else {
        // Whole numbers only: "%.2f" would follow the locale the GUI sets ("1,00").
        const uint64_t hundredths = (uint64_t{rate} * 100 + 512) / 1024;
        std::snprintf(text, sizeof text, "%u.%02u KBps", static_cast<unsigned>(hundredths / 100),
                      static_cast<unsigned>(hundredths % 100));
    }
    return text;
}

std::string UsedTimeText(uint32_t seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%02u:%02u sec", seconds / 60, seconds % 60);
    return text;
}
