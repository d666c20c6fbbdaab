#include "Procedure.h"

#include <sys/stat.h>

#include <cstdio>
#include <new>

void BurnCounters::ResetForRun() {
    bar = 0;
    bytesDone = 0;
    totalBytes = 0;
    secondsUsed = 0;
    stageSeconds = 0;
    bytesSeenAtTick = 0;
    reportValid = false;
}

void BurnCounters::Tick() {
    ++secondsUsed;
    ++stageSeconds;
}

int LoadImageFile(const std::string& path, std::shared_ptr<const uint8_t[]>& data, uint32_t& size,
                  std::time_t& modificationTime) {
    if (path.empty()) return 1;
    // The path is UTF-8 as the file system takes it: no locale switch is needed.
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return 2;
    struct stat st {};
    if (fstat(fileno(f), &st) != 0) return std::fclose(f), 3;
    if (st.st_size <= 0) return std::fclose(f), 4;
    if (st.st_size > 0xFFFFFFFFLL) return std::fclose(f), 5;
    const auto length = static_cast<uint32_t>(st.st_size);
    std::shared_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[length]);
    if (!buffer) return std::fclose(f), 5;
    const std::size_t got = std::fread(buffer.get(), 1, length, f);
    std::fclose(f);
    if (got != length) return 6;
    data = std::move(buffer);
    size = length;
    modificationTime = st.st_mtime;
    return 0;
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
        }
    }
    batch.image->modeByte = 1;
    batch.image->packetSize = 1024;
    return batch;
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
        c->stageSeconds = 0;
        c->bytesSeenAtTick = 0;
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

uint32_t BurnImage(BurnJob& job) {
    if (!job.line) return burn::kNoPort;
    FlashPort port(job.line, job.wait);
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
    FinishLoader(port, job.fourPort);
    if (port.SetBaudRate(savedRate) != 0) return burn::kBaudNotRestored;
    return burn::kSuccess;
}

std::string ThroughputText(uint32_t bytes, uint32_t seconds) {
    if (seconds == 0) return "0 Bps";
    const uint32_t rate = bytes / seconds;
    char text[32];
    if (rate < 1025) std::snprintf(text, sizeof text, "%u Bps", rate);
    else std::snprintf(text, sizeof text, "%.2f KBps", rate / 1024.0);
    return text;
}

std::string UsedTimeText(uint32_t seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%02u:%02u sec", seconds / 60, seconds % 60);
    return text;
}

std::string ResultText(uint32_t code) {
    if (code == 0) return "Burn Flash Img Success !";
    char text[64];
    std::snprintf(text, sizeof text, "Burn Flash Img Fail ! Error=%x", code);
    return text;
}
