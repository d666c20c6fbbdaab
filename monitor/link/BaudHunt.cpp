#include "monitor/link/BaudHunt.h"

#include <algorithm>
#include <chrono>

#include "monitor/link/CommPort.h"
#include "monitor/link/Framing.h"
#include "platform/serial/CancelEvent.h"
#include "platform/serial/SerialPort.h"

namespace {
// Older modules ship at the first two, current ones at the next three; then the rates
// users set them to most often. The rest of the list follows in its order.
constexpr uint32_t kFirstTried[] = {115200, 9600, 230400, 460800, 921600, 57600, 38400, 19200, 4800};
constexpr uint32_t kReadMs = 100;         // each read returns this often to look at the clock
}  // namespace

std::vector<uint32_t> HuntOrder() {
    std::vector<uint32_t> rates(std::begin(kFirstTried), std::end(kFirstTried));
    for (const int rate : kBaudRateTable)
        if (std::find(rates.begin(), rates.end(), static_cast<uint32_t>(rate)) == rates.end())
            rates.push_back(static_cast<uint32_t>(rate));
    return rates;
}

void GoodSentenceCounter::Feed(const uint8_t* bytes, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        const char c = static_cast<char>(bytes[i]);
        if (c == '$') {
            m_line.assign(1, c);
            m_inSentence = true;
        } else if (!m_inSentence) {
            continue;
        } else if (c == '\n') {
            // "$GPGGA,...*47\r": checked from "$" to the last checksum digit.
            const std::size_t star = m_line.size() >= 4 ? m_line.size() - 4 : std::string::npos;
            if (m_line.back() == '\r' && star != std::string::npos && m_line[star] == '*' &&
                VerifyNmeaChecksum(std::string_view(m_line).substr(0, m_line.size() - 1)))
                ++m_good;
            m_inSentence = false;
        } else if (m_line.size() >= kLongest) {
            m_inSentence = false;
        } else {
            m_line += c;
        }
    }
}

std::string NoNmeaText(const std::string& device) { return "no NMEA at any rate on " + device; }

HuntOutcome HuntBaudRate(const std::string& device, const HuntSettings& settings,
                         const serial::CancelEvent* cancel, const std::function<void(uint32_t)>& trying) {
    using Clock = std::chrono::steady_clock;
    HuntOutcome outcome;
    serial::SerialPort port;
    if (!port.Open(device)) {
        outcome.error = OpenErrorTextFor(device, port.LastError().code);
        return outcome;
    }
    port.SetTimeouts({kReadIntervalMs, 0, kReadMs, 0, 0});
    uint8_t buffer[4096];
    for (const uint32_t rate : settings.rates) {
        if (trying) trying(rate);
        if (!port.SetLine({rate})) {
            outcome.error = port.LastError().text;
            return outcome;
        }
        port.Purge(serial::kPurgeRx);  // bytes that came at the last rate
        GoodSentenceCounter counter;
        const auto end = Clock::now() + std::chrono::milliseconds(settings.listenMs);
        while (Clock::now() < end) {
            if (cancel && cancel->IsSet()) {
                outcome.stopped = true;
                return outcome;
            }
            const long n = port.Read(buffer, sizeof buffer, cancel);
            if (n < 0) {
                outcome.error = port.LastError().text;
                return outcome;
            }
            counter.Feed(buffer, static_cast<std::size_t>(n));
            if (counter.Count() >= settings.sentencesWanted) {
                outcome.baudRate = rate;
                return outcome;
            }
        }
    }
    return outcome;
}
