// The NTRIP protocol's text, without a socket: requests, the caster's answer head, the
// chunked transfer coding of version 2 and the source table.
//
//   version 1:  "GET /SIM1 HTTP/1.0"  ->  "ICY 200 OK", then the RTCM stream
//   version 2:  "GET /SIM1 HTTP/1.1" + "Ntrip-Version: Ntrip/2.0"
//               ->  "HTTP/1.1 200 OK" + "Transfer-Encoding: chunked", then chunks
//   table:      "GET /"  ->  "SOURCETABLE 200 OK" (v1) or HTTP 200 with
//               "Content-Type: gnss/sourcetable" (v2), STR lines, "ENDSOURCETABLE"
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct GgaRecord;

namespace ntrip {

struct Request {
    std::string host;
    uint16_t port = 2101;
    std::string mount;     // empty: the source table
    std::string user;      // "user:password"; empty: no authentication
    int version = 2;       // 1 or 2
};

std::string Base64(std::string_view bytes);
// The request's bytes, up to and with the blank line that ends it.
std::string BuildRequest(const Request& request);

enum class ReplyKind : uint8_t { Stream, SourceTable, Unauthorized, NotFound, Refused };

// What the caster's head says. `headBytes` is how many bytes the head took; the body
// starts after them.
struct ReplyHead {
    ReplyKind kind = ReplyKind::Refused;
    bool chunked = false;
    std::size_t headBytes = 0;
    std::string statusLine;
};

// False while the head is not yet complete in `received`. A version 1 stream's head is
// the "ICY 200 OK" line alone (casters differ on a blank line after it; one is taken).
bool ParseReplyHead(std::string_view received, ReplyHead& out);

// The chunked transfer coding (RFC 9112, 7.1): "1A\r\n" + 26 bytes + "\r\n" ... "0\r\n".
class ChunkedDecoder {
public:
    // Appends the data in `bytes` to `out`; false once the coding is broken.
    bool Feed(std::string_view bytes, std::string& out);
    bool Ended() const { return m_state == State::Ended; }

private:
    enum class State : uint8_t { Size, SizeLineEnd, Data, DataEnd, Ended, Broken };
    State m_state = State::Size;
    std::size_t m_left = 0;
    int m_digits = 0;
};

// One STR line of the source table:
//   STR;SIM1;Tokyo;RTCM 3.3;1005(10),1074(1);2;GPS;SIM;JPN;35.68;139.77;1;0;zrsim;none;B;N;9600;
// field 1 the mountpoint, 3 the format, 11 whether the caster wants the rover's NMEA GGA.
struct MountPoint {
    std::string name;
    std::string format;
    bool wantsNmea = false;
};

std::vector<MountPoint> ParseSourceTable(std::string_view table);
// Whether the table's text is whole ("ENDSOURCETABLE" seen).
bool SourceTableEnded(std::string_view table);

// A GGA sentence with CR LF for the caster from the module's last fix, e.g.
// "$GPGGA,143015.00,3540.87,N,13946.03,E,1,12,0.9,40.0,M,39.4,M,,*hh".
std::string GgaForCaster(const GgaRecord& gga);

}  // namespace ntrip
