#include "sim/UbxFormat.h"

#include "sim/SkyModel.h"

namespace sim::ubx {

std::pair<uint8_t, uint8_t> Fletcher(const uint8_t* bytes, std::size_t count) {
    uint8_t a = 0, b = 0;
    for (std::size_t i = 0; i < count; ++i) {
        a = static_cast<uint8_t>(a + bytes[i]);
        b = static_cast<uint8_t>(b + a);
    }
    return {a, b};
}

std::string Acknowledge(uint8_t cls, uint8_t id, bool accepted) {
    const uint8_t body[6] = {kClassAck, accepted ? kIdAck : kIdNak, 2, 0, cls, id};
    const auto [a, b] = Fletcher(body, sizeof body);
    std::string out = {static_cast<char>(kSync1), static_cast<char>(kSync2)};
    out.append(reinterpret_cast<const char*>(body), sizeof body);
    out += static_cast<char>(a);
    out += static_cast<char>(b);
    return out;
}

int ConstellationOfGnssId(uint8_t gnssId) {
    struct Row {
        uint8_t gnssId;
        Constellation system;
    };
    static constexpr Row kRows[] = {{0, Constellation::Gps},     {1, Constellation::Sbas},
                                    {2, Constellation::Galileo}, {3, Constellation::BeiDou},
                                    {5, Constellation::Qzss},    {6, Constellation::Glonass}};
    for (const Row& r : kRows)
        if (r.gnssId == gnssId) return static_cast<int>(r.system);
    return -1;
}

}  // namespace sim::ubx
