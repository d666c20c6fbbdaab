#include "flash/core/RunRecord.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "flash/core/Procedure.h"
#include "platform/programinfo/ProgramInfo.h"
#include "platform/system/System.h"

namespace {

// FIPS 180-4 SHA-256.
class Sha256 {
public:
    void Update(const uint8_t* data, uint64_t size) {
        for (uint64_t i = 0; i < size; ++i) {
            m_block[m_used++] = data[i];
            if (m_used == 64) Compress(), m_used = 0;
        }
        m_bits += size * 8;
    }
    std::string HexDigest() {
        const uint64_t bits = m_bits;
        const uint8_t one = 0x80, zero = 0;
        Update(&one, 1);
        while (m_used != 56) Update(&zero, 1);
        for (int i = 7; i >= 0; --i) {
            const auto b = static_cast<uint8_t>(bits >> (8 * i));
            Update(&b, 1);
        }
        std::string hex;
        char two[3];
        for (uint32_t h : m_h)
            for (int i = 3; i >= 0; --i) std::snprintf(two, sizeof two, "%02x", (h >> (8 * i)) & 0xFF), hex += two;
        return hex;
    }

private:
    static uint32_t Rotr(uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }
    void Compress() {
        static constexpr uint32_t k[64] = {
            0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
            0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
            0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
            0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
            0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
            0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
            0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
            0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};
        uint32_t w[64];
        for (int i = 0; i < 16; ++i)
            w[i] = uint32_t{m_block[4 * i]} << 24 | uint32_t{m_block[4 * i + 1]} << 16 |
                   uint32_t{m_block[4 * i + 2]} << 8 | m_block[4 * i + 3];
        for (int i = 16; i < 64; ++i) {
            const uint32_t s0 = Rotr(w[i - 15], 7) ^ Rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
            const uint32_t s1 = Rotr(w[i - 2], 17) ^ Rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
            w[i] = w[i - 16] + s0 + w[i - 7] + s1;
        }
        uint32_t a = m_h[0], b = m_h[1], c = m_h[2], d = m_h[3], e = m_h[4], f = m_h[5], g = m_h[6], h = m_h[7];
        for (int i = 0; i < 64; ++i) {
            const uint32_t t1 = h + (Rotr(e, 6) ^ Rotr(e, 11) ^ Rotr(e, 25)) + ((e & f) ^ (~e & g)) + k[i] + w[i];
            const uint32_t t2 = (Rotr(a, 2) ^ Rotr(a, 13) ^ Rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
            h = g, g = f, f = e, e = d + t1, d = c, c = b, b = a, a = t1 + t2;
        }
        const uint32_t add[8] = {a, b, c, d, e, f, g, h};
        for (int i = 0; i < 8; ++i) m_h[i] += add[i];
    }

    std::array<uint32_t, 8> m_h{0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    uint8_t m_block[64] = {};
    int m_used = 0;
    uint64_t m_bits = 0;
};

std::string IsoTime(std::time_t t) {
    const std::tm utc = platform::UtcTime(t);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

std::string CodeText(uint32_t code) {
    char text[16];
    std::snprintf(text, sizeof text, "%x", code);
    return text;
}

// A CSV field: quoted when it holds a separator, a quote or a line break.
std::string CsvField(const std::string& s) {
    if (s.find_first_of(",\"\r\n") == std::string::npos) return s;
    std::string quoted = "\"";
    for (char c : s) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

std::string JsonString(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') out += '\\', out += static_cast<char>(c);
        else if (c < 0x20) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", c);
            out += esc;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string Seconds(double s) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", s);
    return text;
}

}  // namespace

std::string Sha256Hex(const uint8_t* data, uint64_t size) {
    Sha256 sha;
    sha.Update(data, size);
    return sha.HexDigest();
}

// The image path as given, made absolute against the working folder.
std::string AbsolutePath(const std::string& path) {
    if (path.empty()) return {};
    std::error_code ec;
    const std::filesystem::path full = std::filesystem::absolute(path, ec);
    return ec ? path : full.lexically_normal().string();
}

RunRecord MakeRunRecord(const std::string& program, int slot, const std::string& port, const BurnBatch& batch,
                        uint32_t code, double seconds, const RunDetails& details) {
    RunRecord r;
    r.when = std::time(nullptr);
    r.program = program;
    r.slot = slot;
    r.port = port;
    if (batch.image) {
        r.imagePath = batch.image->path;
        r.imageSize = batch.image->size;
        r.imageSha256 = batch.imageSha256;
        r.imageFullPath = AbsolutePath(batch.image->path);
    }
    r.code = code;
    r.seconds = seconds;
    if (code == 0 && seconds > 0) r.bytesPerSecond = static_cast<uint64_t>(static_cast<double>(r.imageSize) / seconds);
    if (const BurnJob* job = details.job) {
        r.rateUsed = job->rateUsed;
        r.packetRepeats = job->packetRepeats;
        r.failure = job->failure;
    }
    // One line a record, also for readers that split on line ends before parsing CSV.
    r.portError = details.portError;
    for (std::size_t at; (at = r.portError.find_first_of("\r\n")) != std::string::npos;)
        r.portError.replace(at, r.portError.find_first_not_of("\r\n", at) - at, ": ");
    if (r.failure.empty() && code != 0) r.failure = r.portError.empty() ? ResultMeaning(code) : r.portError;
    r.version = kToolkitVersion;
    r.station = platform::HostName();
    r.operatorName = details.operatorName;
    r.lot = details.lot;
    r.logPath = details.logPath;
    return r;
}

const RecordColumn kRecordColumns[kRecordColumnCount] = {
    {"time", ColumnKind::kText},          {"program", ColumnKind::kText},
    {"slot", ColumnKind::kInteger},       {"port", ColumnKind::kText},
    {"image", ColumnKind::kText},         {"size", ColumnKind::kInteger},
    {"sha256", ColumnKind::kText},        {"result", ColumnKind::kText},
    {"meaning", ColumnKind::kText},       {"seconds", ColumnKind::kReal},
    {"bytes_per_second", ColumnKind::kInteger},
    // Columns added later, after the first ones.
    {"image_full_path", ColumnKind::kText}, {"rate", ColumnKind::kInteger},
    {"packet_repeats", ColumnKind::kInteger}, {"failure", ColumnKind::kText},
    {"port_error", ColumnKind::kText},    {"version", ColumnKind::kText},
    {"station", ColumnKind::kText},       {"operator", ColumnKind::kText},
    {"lot", ColumnKind::kText},           {"log", ColumnKind::kText},
};

std::vector<std::string> RunRecordFields(const RunRecord& r) {
    return {IsoTime(r.when),
            r.program,
            std::to_string(r.slot),
            r.port,
            r.imagePath,
            std::to_string(r.imageSize),
            r.imageSha256,
            CodeText(r.code),
            r.code == 0 ? "success" : ResultMeaning(r.code),
            Seconds(r.seconds),
            std::to_string(r.bytesPerSecond),
            r.imageFullPath,
            std::to_string(r.rateUsed),
            std::to_string(r.packetRepeats),
            r.failure,
            r.portError,
            r.version,
            r.station,
            r.operatorName,
            r.lot,
            r.logPath};
}

std::string RecordsCsvField(const std::string& s) { return CsvField(s); }
std::string RecordIsoTime(std::time_t t) { return IsoTime(t); }

std::string RunRecordHeader() {
    std::string header;
    for (std::size_t i = 0; i < kRecordColumnCount; ++i) header += (i ? "," : "") + std::string(kRecordColumns[i].name);
    return header + "\r\n";
}

std::string RunRecordCsv(const RunRecord& r) {
    const std::vector<std::string> fields = RunRecordFields(r);
    std::string line;
    for (std::size_t i = 0; i < fields.size(); ++i) line += (i ? "," : "") + CsvField(fields[i]);
    return line + "\r\n";
}

std::string RunRecordJson(const RunRecord& r) {
    return "{\"time\":" + JsonString(IsoTime(r.when)) + ",\"program\":" + JsonString(r.program) +
           ",\"slot\":" + std::to_string(r.slot) + ",\"port\":" + JsonString(r.port) +
           ",\"image\":" + JsonString(r.imagePath) + ",\"size\":" + std::to_string(r.imageSize) +
           ",\"sha256\":" + JsonString(r.imageSha256) + ",\"result\":" + JsonString(CodeText(r.code)) +
           ",\"meaning\":" + JsonString(r.code == 0 ? "success" : ResultMeaning(r.code)) +
           ",\"seconds\":" + Seconds(r.seconds) + ",\"bytes_per_second\":" + std::to_string(r.bytesPerSecond) +
           ",\"image_full_path\":" + JsonString(r.imageFullPath) + ",\"rate\":" + std::to_string(r.rateUsed) +
           ",\"packet_repeats\":" + std::to_string(r.packetRepeats) + ",\"failure\":" + JsonString(r.failure) +
           ",\"port_error\":" + JsonString(r.portError) + ",\"version\":" + JsonString(r.version) +
           ",\"station\":" + JsonString(r.station) + ",\"operator\":" + JsonString(r.operatorName) +
           ",\"lot\":" + JsonString(r.lot) + ",\"log\":" + JsonString(r.logPath) + "}";
}

namespace {

// What an existing records file holds at its ends: its first line (the header, or what
// there is of it) and its last line when a full disk cut it short.
struct FileEnds {
    std::string header;
    bool headerWhole = true;  // the first line has its line end
    std::string cutLine;      // after the last line end; empty when the file ends a line
};

FileEnds ReadEnds(const std::string& path) {
    constexpr std::streamoff kLongestRow = 64 * 1024;
    FileEnds ends;
    std::ifstream in(path, std::ios::binary);
    std::getline(in, ends.header);
    ends.headerWhole = !in.eof();
    ends.header += '\n';
    in.clear();
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    const std::streamoff from = std::max<std::streamoff>(0, size - kLongestRow);
    std::string tail(static_cast<std::size_t>(size - from), '\0');
    in.seekg(from);
    in.read(tail.data(), static_cast<std::streamsize>(tail.size()));
    const std::size_t lineEnd = tail.find_last_of('\n');
    ends.cutLine = lineEnd == std::string::npos ? tail : tail.substr(lineEnd + 1);
    return ends;
}

// What ends a line that a full disk cut: a field cut inside its quotes is closed first,
// so that a reader does not take the records after it into the field.
std::string LineEndFor(const std::string& cutLine) {
    if (cutLine.empty()) return {};
    if (cutLine.back() == '\r') return "\n";
    const bool openQuote = std::count(cutLine.begin(), cutLine.end(), '"') % 2 == 1;
    return openQuote ? "\"\r\n" : "\r\n";
}

// Records of an older version keep their own header in `<path>.old` (or `.old.2`, ...):
// rows of two shapes never share one header.
bool SetAsideOldRecords(const std::string& path, std::string& error, std::string& notice) {
    std::string aside = path + ".old";
    for (int n = 2; platform::PathTaken(aside); ++n) aside = path + ".old." + std::to_string(n);
    std::error_code ec;
    std::filesystem::rename(path, aside, ec);
    if (ec) {
        error = "its header is of an older version and it cannot be renamed to " + aside + ": " + ec.message();
        return false;
    }
    notice = path + " had the header of an older version: its records were moved to " + aside +
             " and " + path + " starts anew";
    return true;
}

}  // namespace

bool AppendRunRecord(const std::string& path, const RunRecord& r, std::string& error) {
    std::string notice;
    return AppendRunRecord(path, r, error, notice);
}

bool AppendRunRecord(const std::string& path, const RunRecord& r, std::string& error, std::string& notice) {
    notice.clear();
    platform::File file;
    if (const int failed = file.OpenToAppend(path); failed != 0) {
        error = platform::ErrorText(failed);
        return false;
    }
    // Runs of several ports (or programs) may finish at once: one at a time decides
    // whether the file still needs its header or a line end.
    file.Lock();
    platform::FileInfo info;
    const bool empty = file.Info(info) == 0 && info.size == 0;
    std::string text;
    if (empty) {
        text = RunRecordHeader();
    } else {
        const FileEnds ends = ReadEnds(path);
        const std::string header = RunRecordHeader();
        if (!ends.headerWhole && header.starts_with(ends.cutLine)) {
            text = header.substr(ends.cutLine.size());  // a new file's header, cut: completed
        } else if (ends.header != header) {
            file.Close();  // Windows renames no file that is open
            if (!SetAsideOldRecords(path, error, notice)) return false;
            return AppendRunRecord(path, r, error);
        } else {
            text = LineEndFor(ends.cutLine);
        }
    }
    text += RunRecordCsv(r);
    // One write: lines of parallel runs never interleave.
    std::size_t written = 0;
    if (const int failed = file.WriteAll(text.data(), text.size(), written); failed != 0) {
        error = written == 0 ? platform::ErrorText(failed)
                             : "the disk took only part of the line (" + platform::ErrorText(failed) + ")";
        return false;
    }
    if (const int failed = file.Sync(); failed != 0) {
        error = platform::ErrorText(failed);
        return false;
    }
    return true;
}
