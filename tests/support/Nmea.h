// Builds test sentences with a correct checksum.
#pragma once

#include <cstdio>
#include <string>

namespace testsupport {

// "GPGGA,..." gives "$GPGGA,...*hh\r\n".
inline std::string Sentence(const std::string& body) {
    unsigned sum = 0;
    for (const char c : body) sum ^= static_cast<unsigned char>(c);
    char tail[8];
    std::snprintf(tail, sizeof tail, "*%02X\r\n", sum);
    return "$" + body + tail;
}

}  // namespace testsupport
