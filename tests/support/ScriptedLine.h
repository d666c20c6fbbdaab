// A serial line for protocol tests: records every write (and each write's size), and
// answers reads from what a responder queued, or from a script of read results.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "flash/core/FlashPort.h"

namespace testsupport {

class ScriptedLine : public ISerialLine {
public:
    std::string written;
    std::vector<std::size_t> writeSizes;
    std::string input;                 // bytes waiting to be read
    std::deque<std::string> readScript;  // when not empty: each read takes the next entry ("" = empty read)
    std::function<void(ScriptedLine&, const std::string&)> responder;  // sees each write
    uint32_t baud = 115200;
    std::vector<uint32_t> baudChanges;
    std::vector<serial::Timeouts> timeouts;
    bool failGetBaud = false, failSetBaud = false, failSetTimeouts = false;
    int purges = 0;
    std::vector<std::size_t> purgedAfter;  // bytes written before each purge of both directions
    int inputPurges = 0;

    long Read(uint8_t* buffer, std::size_t size) override {
        if (!readScript.empty()) {
            std::string next = readScript.front();
            readScript.pop_front();
            const std::size_t n = std::min(size, next.size());
            std::copy(next.begin(), next.begin() + static_cast<long>(n), buffer);
            if (n < next.size()) readScript.push_front(next.substr(n));
            return static_cast<long>(n);
        }
        const std::size_t n = std::min(size, input.size());
        std::copy(input.begin(), input.begin() + static_cast<long>(n), buffer);
        input.erase(0, n);
        return static_cast<long>(n);
    }
    long Write(const uint8_t* buffer, std::size_t size) override {
        const std::string bytes(reinterpret_cast<const char*>(buffer), size);
        written += bytes;
        writeSizes.push_back(size);
        if (responder) responder(*this, bytes);
        return static_cast<long>(size);
    }
    bool SetTimeouts(const serial::Timeouts& t) override {
        timeouts.push_back(t);
        return !failSetTimeouts;
    }
    bool GetBaudRate(uint32_t& b) override { return b = baud, !failGetBaud; }
    bool SetBaudRate(uint32_t b) override {
        if (failSetBaud) return false;
        baud = b;
        baudChanges.push_back(b);
        return true;
    }
    bool Purge() override { return ++purges, purgedAfter.push_back(written.size()), input.clear(), true; }
    bool PurgeInput() override { return ++inputPurges, input.clear(), true; }
    long BytesWaiting() override { return static_cast<long>(input.size()); }
    bool Flush() override { return true; }
    int LastErrorCode() override { return 5; }
};

inline std::string Bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values) s += static_cast<char>(v);
    return s;
}

inline void NoWait(uint32_t) {}

}  // namespace testsupport
