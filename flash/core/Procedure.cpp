#include "flash/core/Procedure.h"

#include <cerrno>
#include <cstdio>
#include <iterator>
#include <new>

#include "flash/core/RunRecord.h"
#include "platform/serial/PortList.h"
#include "platform/system/System.h"

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
                const serial::CancelEvent* cancel, bool fourPort, int slot, const std::string& portPath) {
    BurnJob job;
    job.slot = slot;
    job.line = line;
    job.loader = batch.loader.get();
    job.image = *batch.image;
    job.attemptLimit = parameters.attempts;
    job.passes = parameters.passes;
    job.wait = parameters.wait;
    job.fourPort = fourPort;
    job.portPath = portPath;
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

void Log(BurnJob& job, const std::string& text) {
    if (job.log) job.log->Step(text);
}

void RomStart(void* ctx) {
    BurnJob& job = JobOf(ctx);
    uint32_t rate = 0;
    if (job.line && job.line->GetBaudRate(rate)) Log(job, "handshake synchronised at " + std::to_string(rate));
    StageStart(job, 0);
}
void RomProgress(uint8_t p, uint32_t done, uint32_t total, void* ctx) { Report(JobOf(ctx), p * 3u / 10u, done, total); }
void LoaderStart(void* ctx) { StageStart(JobOf(ctx), 30); }
void LoaderProgress(uint8_t p, uint32_t done, uint32_t total, void* ctx) {
    Report(JobOf(ctx), 30 + p * 7u / 10u, done, total);
}

// Notes the failing step of `stage` and what the module sent with it; returns `code`.
uint32_t Fail(BurnJob& job, const LoaderTrace& trace, burn::Stage stage, int step, uint32_t code) {
    job.failedStage = stage;
    job.failedStep = step;
    job.moduleAnswer = trace.answer;
    job.failedPacket = trace.packet;
    job.failure = StepFailureText(stage, step, trace, job.image.size);
    return code;
}

// The boot ROM stage and the checks before it: the stage's meaning is its failure.
uint32_t FailEarly(BurnJob& job, burn::Stage stage, uint32_t code) {
    job.failedStage = stage;
    job.failure = ResultMeaning(code);
    return code;
}

// The baud switch: a refusal is no failure, the image goes at the rate the port had.
uint32_t SwitchRate(BurnJob& job, FlashPort& port, LoaderTrace& trace, uint32_t savedRate) {
    uint8_t index = 1;
    for (uint8_t i = 1; i < std::size(LoaderBaudTable); ++i)
        if (LoaderBaudTable[i] == job.rateAsked) index = i;
    const int step = SwitchBaud(port, index, job.baudCheckRepeats, &trace);
    if (step == 0) {
        job.rateUsed = LoaderBaudTable[index];
    } else {
        if (port.SetBaudRate(savedRate) != 0) return Fail(job, trace, burn::Stage::kBaud, step, burn::kBaudNotRestored);
        job.rateUsed = savedRate;
    }
    job.rateText = RateText(job.rateUsed, LoaderBaudTable[index], step, trace);
    Log(job, step == 0 ? "rate switched to " + std::to_string(job.rateUsed) : job.rateText);
    return burn::kSuccess;
}

uint32_t RunStages(BurnJob& job, FlashPort& port, LoaderTrace& trace) {
    using burn::Stage;
    if (!job.image.IsValid()) return FailEarly(job, Stage::kNone, burn::kImageInvalid);
    if (job.loader) {
        if (!job.loader->IsValid()) return FailEarly(job, Stage::kNone, burn::kLoaderInvalid);
        std::unique_ptr<Rom_ZR7316A> rom(new (std::nothrow) Rom_ZR7316A(job.attemptLimit, job.passes));
        if (!rom) return FailEarly(job, Stage::kBootRom, burn::kNoMemory);
        if (job.fourPort) port.Purge();
        const LoadRequest request{job.loader->data.get(), job.loader->size, RomStart, &job, RomProgress, &job};
        const uint32_t r = rom->Run(port, request);
        if (r != 0) return FailEarly(job, Stage::kBootRom, r | burn::kStageFlag);
        Log(job, "loader loaded into RAM and started");
    }
    if (port.SetTimeouts(job.readTimeoutMs, job.writeTimeoutMs) != 0)
        return FailEarly(job, Stage::kPort, burn::kTimeoutsNotSet);
    if (const int r = WaitLoaderReady(port, job.info, &trace))
        return Fail(job, trace, Stage::kLoaderReady, r, static_cast<uint32_t>(r));
    Log(job, "loader ready");
    uint32_t savedRate = 0;
    if (port.GetBaudRate(savedRate) != 0) return FailEarly(job, Stage::kPort, burn::kBaudUnreadable);
    if (const uint32_t r = SwitchRate(job, port, trace, savedRate)) return r;
    if (const int r = SetFlashRange(port, job.image, &trace))
        return Fail(job, trace, Stage::kRange, r, burn::kRangeRefused);
    Log(job, "range accepted");
    const int written = WriteFlash(port, &job.image, job.packetSteps, LoaderStart, &job, LoaderProgress, &job, &trace);
    job.packetRepeats = trace.repeats;
    if (written != 0) return Fail(job, trace, Stage::kWrite, written, burn::kWriteFailed);
    Log(job, std::to_string(trace.packet) + " packets written, flash confirmed");
    // The closing command must reach the module at the loader's rate, or it stays in its
    // loader and the next run finds no boot ROM: the rate goes back only once the loader
    // has answered it (or its wait is over: the flash is written either way).
    const int closed = FinishLoader(port, job.fourPort, &trace);
    Log(job, closed == 0 ? "closing: the loader closed" : "closing: " + StepFailureText(Stage::kFinish, closed, trace, 0));
    if (port.RestoreBaudRate(savedRate) != 0) return FailEarly(job, Stage::kFinish, burn::kBaudNotRestored);
    return burn::kSuccess;
}

// A failure on a line whose device went away, or that reports the device gone, is the
// adapter pulled out, whatever step met it.
bool AdapterGone(const BurnJob& job, const FlashPort& port) {
    if (AdapterRemovedError(static_cast<int>(port.LastError()))) return true;
    return !job.portPath.empty() && serial::DeviceBehind(job.portPath).empty();
}

void ClearOutputs(BurnJob& job) {
    job.failure.clear();
    job.failedStage = burn::Stage::kNone;
    job.failedStep = 0;
    job.moduleAnswer = -1;
    job.failedPacket = 0;
    job.lineError = 0;
    job.rateUsed = 0;
    job.rateText.clear();
    job.packetRepeats = 0;
}

}  // namespace

uint32_t BurnImage(BurnJob& job) {
    ClearOutputs(job);
    if (!job.line) return FailEarly(job, burn::Stage::kPort, burn::kNoPort);
    if (!job.portPath.empty()) {
        // A terminal left open on the port takes the module's answers: no handshake
        // could be trusted, so the run does not start.
        const std::string holders = serial::PortHoldersText(serial::PortHolders(job.portPath));
        if (!holders.empty()) {
            job.failedStage = burn::Stage::kPort;
            job.failure = holders;
            Log(job, holders);
            return burn::kNoPort;
        }
    }
    job.line->SetCancel(job.cancel);
    FlashPort port(job.line, job.wait, job.cancel);
    LoaderTrace trace;
    trace.log = job.log;
    uint32_t result = RunStages(job, port, trace);
    job.line->SetCancel(nullptr);
    job.packetRepeats = trace.repeats;
    job.lineError = static_cast<int>(port.LastError());
    // A module flashed whole stays a success even when Stop came after its last wait.
    if (port.Cancelled() && result != burn::kSuccess) {
        result = burn::kStopped;
        job.failure = ResultMeaning(burn::kStopped);
    } else if (result != burn::kSuccess && AdapterGone(job, port)) {
        job.failure = kAdapterRemoved;
    }
    Log(job, result == burn::kSuccess ? std::string("done: success") : "failed: " + job.failure);
    return result;
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
