// Finding the rate a module talks at, as gpsd's hunt loop does: each rate in turn until
// sentences with good checksums arrive. Modules ship at 9600 or 115200 and their users
// rarely know which.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace serial {
class CancelEvent;
}

// The monitor's baud list, in its order. Current modules leave the factory at 230400,
// 460800 or 921600, so the list reaches up to them.
inline constexpr int kBaudRateTable[] = {4800,  9600,   14400,  19200,  38400,  56000,  57600,
                                         115200, 128000, 230400, 256000, 460800, 921600};

// The rates a hunt tries, most common first: 115200, 9600, the three fast factory rates,
// then the rest of the list.
std::vector<uint32_t> HuntOrder();

// Counts whole sentences with a good checksum ("$" to "*hh" CR LF) in bytes fed in any
// pieces. A line at the wrong rate gives noise, in which such a sentence is as good as
// impossible.
class GoodSentenceCounter {
public:
    void Feed(const uint8_t* bytes, std::size_t count);
    int Count() const { return m_good; }

private:
    static constexpr std::size_t kLongest = 259;  // "$" through CR, as the framer takes it
    std::string m_line;
    bool m_inSentence = false;
    int m_good = 0;
};

struct HuntSettings {
    std::vector<uint32_t> rates = HuntOrder();
    // How long each rate is listened to: a module sends its epoch once a second, and at
    // 115200 baud the whole epoch can pass in a tenth of it.
    int listenMs = 1500;
    int sentencesWanted = 2;  // one good sentence could be luck; two are the module
};

struct HuntOutcome {
    uint32_t baudRate = 0;  // the rate the module talks at; 0 when none was found
    bool stopped = false;   // cancelled before the end
    std::string error;      // the device would not open or was lost; empty otherwise
};

// "no NMEA at any rate on /dev/ttyUSB0": what a silent line ends the hunt with.
std::string NoNmeaText(const std::string& device);

// Opens `device` (8N1) and listens at each rate of `settings` in turn until enough good
// sentences come; closes it again. `trying` is told each rate before it is tried. The
// cancel event ends the hunt at once (stopped). Blocks: run it off a window's thread.
HuntOutcome HuntBaudRate(const std::string& device, const HuntSettings& settings,
                         const serial::CancelEvent* cancel, const std::function<void(uint32_t)>& trying);
