// The module on its line: what it sends (generated NMEA epochs or a replayed capture),
// paced at the host's baud rate, and what it receives from the host.
#pragma once

#include <atomic>
#include <cstdint>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

#include "sim/ChipModel.h"
#include "sim/ModuleCommands.h"
#include "sim/PtyLine.h"
#include "sim/ReceiverOutput.h"

namespace sim {

struct SimulatorOptions {
    ReceiverOptions receiver;
    bool paced = true;         // bytes at the host's baud rate; false: as fast as taken
    bool flood = false;        // epochs back to back instead of on the epoch clock
    std::string replayFile;    // send this file's bytes instead of generating
    bool loopReplay = false;
    int64_t maxEpochs = -1;    // stop generating after this many (-1: no limit)
    bool chip = true;          // answer the boot-entry sentence as the chip does
    ChipFaults faults;
    RestartDelays restartDelays;  // time to first fix after cold, warm and hot restarts
    GpdFaults gpdFaults;
    std::string gpdOutFile;       // a completed GPD upload is written here; empty: nowhere
    std::string flashFile;     // the chip's flash; empty: written nowhere
    uint32_t flashSize = 4u << 20;
    // A USB serial bridge holds what it received for its latency timer before the host
    // sees it: the module's answers reach the host this much later (0: at once).
    int adapterLatencyMs = 0;
    bool startRemoved = false;  // the fixture starts empty
    // The rate the module's firmware talks at; 0: whatever rate the host set. A host at
    // another rate gets garbage, as a UART sampling at the wrong rate does, and is not
    // heard.
    uint32_t moduleBaud = 0;
    // The adapter is pulled this many seconds after the start (negative: never) and
    // plugged in again after unplugForS.
    double unplugAfterS = -1;
    double unplugForS = 2;
};

class Simulator {
public:
    using Bytes = std::function<void(const uint8_t*, std::size_t)>;

    Simulator(PtyLine& line, SimulatorOptions options);

    // Runs until Stop(); returns false when the replay file cannot be read.
    bool Run(std::string& error);
    void Stop() { m_stop.store(true, std::memory_order_release); }
    // The fixture: a module taken out says and hears nothing; one put in starts from
    // power-on, in its firmware. Any thread (a signal handler too).
    void SetInserted(bool inserted) { m_inserted.store(inserted, std::memory_order_release); }
    bool Inserted() const { return m_inserted.load(std::memory_order_acquire); }
    // The USB serial adapter: pulled, the device and its link go away; plugged in again,
    // a new device appears behind the same link and the module starts from power-on.
    // Any thread (a signal handler too).
    void SetPlugged(bool plugged) { m_plugged.store(plugged, std::memory_order_release); }
    bool Plugged() const { return m_plugged.load(std::memory_order_acquire); }
    // Called in the simulator's thread after the adapter was pulled (empty path) or
    // plugged in again (the new device's path).
    void OnPlug(std::function<void(const std::string& devicePath)> told) { m_onPlug = std::move(told); }

    // Called in the simulator's thread, before Run().
    void OnSent(Bytes tee) { m_onSent = std::move(tee); }          // bytes put on the line
    void OnReceived(Bytes handler) { m_onReceived = std::move(handler); }  // host's bytes
    // Queues bytes (a reply to the host) to go out after the piece now on the line, ahead
    // of further generated output. Call from the simulator's thread (OnReceived).
    void Send(std::string bytes) { m_replies += std::move(bytes); }

    // Readable from any thread.
    bool SourceDone() const { return m_sourceDone.load(std::memory_order_acquire); }
    uint64_t BytesSent() const { return m_sent.load(std::memory_order_acquire); }
    uint64_t BytesDropped() const { return m_dropped.load(std::memory_order_acquire); }
    // What the last GPD upload delivered so far.
    GpdUpload Upload() const { return m_commands.Upload(); }
    // RTCM 3 frames the module took; read after Run() has returned.
    const rtcm::FramerCounts& Corrections() const { return m_commands.Corrections(); }

private:
    bool Refill(std::chrono::steady_clock::time_point now);
    void SendSome();
    void ReceiveSome();
    void AddReplies(const std::string& replies);
    void TakeOutOrPutIn(bool inserted, std::chrono::steady_clock::time_point now);
    // Whether the module sends NMEA output now: not while the chip's boot ROM or loader
    // owns the line, nor while a GPD upload holds it in binary mode.
    bool Talking() const;
    // Unplugs or plugs when asked or when the planned time has come; false when the
    // line cannot be made again.
    bool FollowPlug(std::chrono::steady_clock::time_point now, std::string& error);
    // The rate bytes leave the module at, and whether the host hears them as sent.
    uint32_t LineBaud(uint32_t hostBaud) const;
    bool HostInStep(uint32_t hostBaud) const;

    PtyLine& m_line;
    SimulatorOptions m_options;
    ReceiverOutput m_receiver;
    std::unique_ptr<ChipModel> m_chip;
    ModuleCommands m_commands;
    std::atomic<bool> m_firmware{true};
    std::ifstream m_replay;
    std::string m_replies;
    std::atomic<bool> m_inserted{true};
    bool m_wasInserted = true;  // the simulator thread's view, to notice a change
    std::chrono::steady_clock::time_point m_repliesDue{};  // with an adapter latency
    std::string m_pending;
    std::size_t m_pendingPos = 0;
    int64_t m_epoch = 0;
    std::chrono::steady_clock::time_point m_nextEpoch;
    LinePacer m_txPacer;
    LinePacer m_rxPacer;
    Bytes m_onSent;
    Bytes m_onReceived;
    std::atomic<bool> m_plugged{true};
    bool m_wasPlugged = true;
    std::chrono::steady_clock::time_point m_unplugAt = std::chrono::steady_clock::time_point::max();
    std::chrono::steady_clock::time_point m_plugAt = std::chrono::steady_clock::time_point::max();
    std::function<void(const std::string&)> m_onPlug;
    uint32_t m_noise = 0x2545F491u;  // garbage for a host at the wrong rate
    std::string m_garbled;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_sourceDone{false};
    std::atomic<uint64_t> m_sent{0};
    std::atomic<uint64_t> m_dropped{0};
};

}  // namespace sim
