// The link: one connection's serial port, receive stream and link thread. The link
// thread drains the sentence queue, dispatches each sentence and posts the window
// messages to the sink.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "monitor/link/CommPort.h"
#include "monitor/link/ConsoleFeed.h"
#include "monitor/link/LinkStatistics.h"
#include "monitor/link/NmeaDispatcher.h"
#include "monitor/link/RxStream.h"

class CaptureLog;

class CNmeaThread {
public:
    // Forms the capture log's name for this connection. `log` null: no capture; without
    // `decoders` replies are announced undecoded.
    CNmeaThread(std::string deviceName, uint32_t baudRate, ILinkSink* sink, CaptureLog* log,
                ReplyDecoders decoders = {});
    ~CNmeaThread();
    CNmeaThread(const CNmeaThread&) = delete;
    CNmeaThread& operator=(const CNmeaThread&) = delete;

    void Start();  // the link thread
    // Opens the port with the monitor's line settings; on false OpenErrorText() says why
    // (the caller shows it in a message box titled "Error").
    bool Connect();
    void Disconnect();
    // After a lost line: the same link (its receiver state and its windows go on) on the
    // device as it is found now, at the same rate, capturing to a new log.
    bool Reconnect(const std::string& device);
    const std::string& DeviceName() const { return m_deviceName; }
    uint32_t BaudRate() const { return m_baudRate; }
    // Stops the link thread after the port; the capture log is closed as it ends. Only
    // the first call does anything: by a later one (the destructor's) a newer connection
    // may be writing the shared capture log.
    void Shutdown();
    // Bytes for the module; false when refused: the line is held by someone else (or
    // by `hold` when it is not the holder's), so nothing went out.
    bool SendBytes(const uint8_t* bytes, std::size_t length, unsigned hold = 0);
    // While the module takes binary packets (a GPD upload) one sender has the line: a
    // restart or a typed command in between would be read as a damaged packet, and its
    // reply would be lost. HoldLine gives the holder's key, 0 when the line is held
    // already; ReleaseLine with that key lets everyone send again.
    unsigned HoldLine();
    void ReleaseLine(unsigned hold);
    bool LineHeld() const;
    // Before a disconnect that must not cut off what was just sent.
    bool WaitUntilSent(int timeoutMs) { return m_port.WaitUntilSent(timeoutMs); }

    void FeedRxByte(uint8_t b) { m_stream.FeedRxByte(b); }
    // Bytes that are not live (a capture file): fed no faster than the link thread takes
    // them, so that nothing is dropped. The link thread must be running.
    void FeedWithoutDrops(const uint8_t* bytes, std::size_t count);
    // A whole capture file ("-": standard input) the same way, then drained; false with
    // `error` ("cannot read NAME: reason") when it cannot be opened or read to its end.
    bool FeedFile(const std::string& path, std::string& error);
    // Drains the queue in the calling thread; returns how many sentences it took. The
    // link thread does this each time it wakes; tools feeding bytes themselves may too.
    int ProcessPending();
    // Waits until every sentence completed so far has been dispatched or dropped.
    void Drain();
    // The input has ended (a file read to its end): once everything fed is dispatched,
    // what its last epoch has not posted yet goes out. Nothing may be fed meanwhile.
    void EndOfInput();

    bool IsConnected() const { return m_connected.load(std::memory_order_acquire); }
    const std::string& OpenErrorText() const { return m_port.OpenErrorText(); }
    // Whether the connected line was lost; callable from any thread. A lost line closed
    // to wait for its device stays told as lost until it is open again.
    LineLoss LineLost() const;
    // Bytes the port delivered over every connection of this link, and those fed
    // without drops (a replay); any thread.
    uint64_t BytesReceived() const { return m_bytesReceived.load(std::memory_order_acquire); }
    // The counts so far, over every connection of this link; any thread.
    LinkStatistics Statistics() const;
    // Before Start: everything received and sent goes to the console window as well, in
    // batches the link thread hands over a few times a second, with what happens to the
    // line (opened, lost, closed) between them.
    void EnableConsole() { m_consoleOn = true; }
    RxStream& Stream() { return m_stream; }
    NmeaDispatcher& Dispatcher() { return m_dispatcher; }

private:
    void Run();
    void HandOverConsole(bool force);
    void ConsoleNote(const std::string& text) {
        if (m_consoleOn) m_console.Note(text, ConsoleNowMs());
    }

    std::string m_deviceName;
    uint32_t m_baudRate;
    CaptureLog* m_log;
    RxStream m_stream;
    NmeaDispatcher m_dispatcher;
    CCommPort m_port;
    std::atomic<bool> m_connected{false};
    mutable std::mutex m_lossMutex;
    LineLoss m_closedLoss;  // a lost line's loss, kept from its close until the next open
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_shutDown{false};
    std::atomic<uint64_t> m_taken{0};
    mutable std::mutex m_holdMutex;  // a hold and a send are never interleaved
    unsigned m_holder = 0;
    unsigned m_lastHold = 0;
    std::atomic<uint64_t> m_bytesReceived{0};  // written by the receive worker, or the feeder, alone
    bool m_consoleOn = false;  // set before the link thread starts
    std::string m_lastOpenFailure;  // told in the console already
    ConsoleFeed m_console;
    std::thread m_thread;
    char m_text[kMaxSentenceText + 1];  // the sentence being dispatched
};
