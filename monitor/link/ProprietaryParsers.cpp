#include "monitor/link/ProprietaryParsers.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "monitor/link/NmeaFields.h"

namespace {

constexpr int kSlotWidth = 48;
constexpr int kMaxSlots = 64;

// Comma-separated numbers up to '*': -1 when a character other than a digit, '-' or '.'
// appears, else how many numbers (at most `max`; empty ones read 0).
int NumberList(std::string_view text, double* out, int max) {
    const auto star = text.find('*');
    const std::string_view body = text.substr(0, star);
    if (body.find_first_not_of("0123456789-.,") != std::string_view::npos) return -1;
    int count = 0;
    std::size_t at = 0;
    while (count < max) {
        const auto comma = body.find(',', at);
        out[count++] = FieldDouble(body.substr(at, comma == std::string_view::npos ? body.npos : comma - at));
        if (comma == std::string_view::npos) break;
        at = comma + 1;
    }
    return count;
}

// Fields cut at commas up to '*', each kept to 48 characters.
struct Slots {
    char slot[kMaxSlots][kSlotWidth + 1];
    int count = 0;
    std::string_view operator[](int i) const { return slot[i]; }
};

Slots SplitSlots(std::string_view text) {
    Slots s;
    const std::string_view body = text.substr(0, text.find('*'));
    std::size_t at = 0;
    while (s.count < kMaxSlots) {
        const auto comma = body.find(',', at);
        const std::string_view field = body.substr(at, comma == std::string_view::npos ? body.npos : comma - at);
        s.slot[s.count][field.copy(s.slot[s.count], kSlotWidth)] = '\0';
        ++s.count;
        if (comma == std::string_view::npos) break;
        at = comma + 1;
    }
    return s;
}

uint32_t Hex(std::string_view field) {
    char buf[kSlotWidth + 1];
    const std::size_t n = std::min<std::size_t>(field.size(), kSlotWidth);
    std::memcpy(buf, field.data(), n);
    buf[n] = '\0';
    return static_cast<uint32_t>(std::strtoul(buf, nullptr, 16));
}

int16_t BoundedCount(double count, int limit) {
    return static_cast<int16_t>(std::clamp<int32_t>(ClampTo<int32_t>(count), 0, std::min(254, limit)));
}

// $PTVXALM,3,1,1,0*hh: a count, then one value per almanac entry.
bool ParseAlm(std::string_view text, ProprietaryRecords& r) {
    AlmRecord& a = r.alm = {};
    double list[64];
    const int n = NumberList(text, list, 64);
    if (n < 1) return false;
    a.count = BoundedCount(list[0], n - 1);
    for (int i = 0; i < a.count; ++i) a.values[i] = ClampTo<uint8_t>(list[1 + i]);
    return true;
}

// Satellite numbers on the module's own scheme: 201-224 GLONASS, 301-337 BeiDou,
// 401-436 Galileo.
int MapEphemerisPrn(int prn) {
    if (prn >= 201 && prn <= 224) return prn - 136;
    if (prn >= 301 && prn <= 337) return prn - 100;
    if (prn >= 401 && prn <= 436) return prn - 300;
    return prn;
}

// $PTVXEPH,count,prn.x.y,... (56 entries)
bool ParseEph(std::string_view text, ProprietaryRecords& r) {
    EphRecord& e = r.eph = {};
    const Slots s = SplitSlots(text);
    if (s.count != 57) return false;
    e.count = BoundedCount(FieldInt(s[0]), 254);
    for (int i = 1; i < 57; ++i) {
        int parts[3] = {0, 0, 0}, found = 0;
        std::string_view entry = s[i];
        while (found < 3 && !entry.empty()) {
            const auto dot = entry.find('.');
            parts[found++] = FieldInt(entry.substr(0, dot));
            entry = dot == std::string_view::npos ? std::string_view() : entry.substr(dot + 1);
        }
        const int prn = MapEphemerisPrn(std::abs(std::max(parts[0], -100000)));
        if (prn <= 0 || prn > 255) continue;
        if (parts[0] > 0) {
            e.present[prn] = 1;
            e.y[prn] = parts[2];
        } else if (found == 3) {
            e.x[prn] = ClampTo<int32_t>(static_cast<double>(parts[1]) + 2);
            e.y[prn] = parts[2];
        }
    }
    return true;
}

bool ParseDgp(std::string_view text, ProprietaryRecords& r) {
    DgpRecord& d = r.dgp = {};
    double list[33];
    const int n = NumberList(text, list, 33);
    if (n < 1) return false;
    d.count = BoundedCount(list[0], n - 1);
    std::copy(list + 1, list + 1 + d.count, d.values);
    return true;
}

bool ParseChn(std::string_view text, ProprietaryRecords& r) {
    ChnRecord& c = r.chn = {};
    double list[33];
    if (NumberList(text, list, 33) != 32) return false;
    for (int i = 0; i < 32; ++i) {
        const int32_t v = ClampTo<int32_t>(list[i]);
        c.high[i] = v / 1000;
        c.middle[i] = v / 10 % 100;
        c.low[i] = v % 10;
    }
    return true;
}

bool ParseDbg(std::string_view text, ProprietaryRecords& r) {
    DbgRecord& d = r.dbg = {};
    double list[48];
    if (NumberList(text, list, 48) != 47) return false;
    d.word = ClampTo<int32_t>(list[0]);
    for (int i = 0; i < 32; ++i) d.bytes32[i] = ClampTo<uint8_t>(list[1 + i]);
    for (int i = 0; i < 8; ++i) d.bytes8[i] = ClampTo<uint8_t>(list[33 + i]);
    for (int i = 0; i < 6; ++i) d.floats[i] = static_cast<float>(list[41 + i]);
    return true;
}

bool ParseDb2(std::string_view text, ProprietaryRecords& r) {
    Db2Record& d = r.db2 = {};
    const Slots s = SplitSlots(text);
    if (s.count != 16) return false;
    for (int i = 0; i < 8; ++i) d.words[i] = Hex(s[i]);
    for (int i = 0; i < 8; ++i) d.values[i] = FieldDouble(s[8 + i]);
    return true;
}

// $PTVXWBG,type,total,number,...: type 1 carries up to 18 triples a sentence (3
// sentences, 56 entries), type 2 up to 8 sextuples with five values in tenths (2
// sentences, 14 entries). The table starts again at number 1.
bool ParseWbg(std::string_view text, ProprietaryRecords& r) {
    WbgRecord& w = r.wbg;
    FieldSlots f;
    char withName[260] = "$,";  // SplitFields skips a sentence name
    const std::size_t length = text.copy(withName + 2, sizeof withName - 3);
    const int n = SplitFields(std::string_view(withName, length + 2), f);
    if (n < 3 || !IsInteger(f[0]) || !IsInteger(f[1]) || !IsInteger(f[2])) return false;
    const int type = FieldInt(f[0]), total = FieldInt(f[1]), number = FieldInt(f[2]);
    const int width = type == 1 ? 3 : type == 2 ? 6 : 0;
    if (width == 0 || total < 1 || number < 1 || number > total || total > (type == 1 ? 3 : 2))
        return false;
    if (number == 1 || w.type != type) w = {};
    w.type = static_cast<int16_t>(type);
    w.total = static_cast<int16_t>(total);
    w.number = static_cast<int16_t>(number);
    const int maxEntries = type == 1 ? 56 : 14;
    for (int at = 3; at + width <= n && w.count < maxEntries; at += width) {
        for (int k = 0; k < width; ++k) {
            const double v = FieldDouble(f[at + k]);
            w.entries[w.count][k] = (type == 2 && k > 0) ? v * 0.1 : v;
        }
        ++w.count;
    }
    w.complete = number == total;
    return true;
}

bool ParseRtc(std::string_view text, ProprietaryRecords& r) {
    RtcRecord& t = r.rtc = {};
    const Slots s = SplitSlots(text);
    if (s.count != 4) return false;
    t.value = IsInteger(s[1]) ? FieldInt(s[1]) : 0;
    t.decimal = IsDecimal(s[3]) ? FieldDouble(s[3]) : 0;
    return true;
}

bool ParsePmc(std::string_view text, ProprietaryRecords& r) {
    PmcRecord& p = r.pmc = {};
    const Slots s = SplitSlots(text);
    if (s.count != 11) return false;
    for (int i = 0; i < 11; ++i) {
        if (!IsInteger(s[i])) return false;
        p.values[i] = FieldInt(s[i]);
    }
    return true;
}

bool ParseJam(std::string_view text, ProprietaryRecords& r) {
    JamRecord& j = r.jam = {};
    const Slots s = SplitSlots(text);
    if (s.count != 51 && s.count != 50 && s.count != 5) return false;
    j.first = FieldInt(s[0]);
    for (int i = 1; i < s.count; ++i) j.values[j.count++] = FieldInt(s[i]);
    return true;
}

bool ParseLox(std::string_view text, ProprietaryRecords& r) {
    LoxRecord& l = r.lox = {};
    const Slots s = SplitSlots(text);
    if (s.count != 26 && s.count != 2 && s.count != 1) return false;
    l.mode = FieldInt(s[0]);
    if (s.count >= 2) l.value = FieldInt(s[1]);
    if (l.mode == 1)
        for (int i = 2; i < s.count; ++i) l.hex[l.count++] = Hex(s[i]);
    return true;
}

bool ParseTsx1(std::string_view text, ProprietaryRecords& r) {
    Tsx1Record& t = r.tsx1 = {};
    const Slots s = SplitSlots(text);
    if (s.count != 10) return false;
    auto d = [&](int i) { return IsDecimal(s[i]) ? FieldDouble(s[i]) : 0.0; };
    auto i32 = [&](int i) { return IsInteger(s[i]) ? FieldInt(s[i]) : 0; };
    t.int0 = i32(0);
    t.int4 = i32(4);
    t.d1 = d(1);
    t.d3 = d(3);
    t.d5 = d(5);
    t.f2 = static_cast<float>(d(2));
    t.f6 = static_cast<float>(d(6));
    t.f7 = static_cast<float>(d(7));
    t.f8 = static_cast<float>(d(8));
    t.f9 = static_cast<float>(d(9));
    return true;
}

// $GPTXT,01,01,02,ANTSTATUS=OK*3B
bool ParseTxt(std::string_view text, ProprietaryRecords& r) {
    TxtRecord& t = r.txt = {};
    const Slots s = SplitSlots(text);
    if (s.count != 4 || !IsInteger(s[0]) || !IsInteger(s[1]) || !IsInteger(s[2])) return false;
    t.total = ClampTo<int16_t>(FieldInt(s[0]));
    t.number = ClampTo<int16_t>(FieldInt(s[1]));
    t.type = ClampTo<int16_t>(FieldInt(s[2]));
    const std::string_view body = s[3];
    std::memcpy(t.text, body.data(), std::min<std::size_t>(body.size(), 47));
    return true;
}

constexpr ProprietaryParserRow kParsers[] = {
    {sentence::kAlm, "$PTVXALM", ParseAlm},     {sentence::kEph, "$PTVXEPH", ParseEph},
    {sentence::kDgp, "$PTVXDGP", ParseDgp},     {sentence::kChn, "$PTVXCHN", ParseChn},
    {sentence::kDbg, "$PTVXDBG", ParseDbg},     {sentence::kDb2, "$PTVXDB2", ParseDb2},
    {sentence::kTsx1, "$PTVXTSX1", ParseTsx1},  {sentence::kWbg, "$PTVXWBG", ParseWbg},
    {sentence::kRtc, "$PTVXRTC", ParseRtc},     {sentence::kPmc, "$PTVXPMC", ParsePmc},
    {sentence::kJam, "$PTVXJAM", ParseJam},     {sentence::kLox, "$PTVXLOX", ParseLox},
    {sentence::kSfch, "#SFCH", nullptr},        {sentence::kGptxt, "$GPTXT", ParseTxt},
    // An MTK module's acknowledge of a command, read by the reply decoder. With its
    // comma: a longer name that begins the same is another sentence.
    {sentence::kMtkAck, "$PMTK001,", nullptr},
    // Recognised, not parsed.
    {sentence::kRecognised, "$PTVXRTSEPH", nullptr}, {sentence::kRecognised, "$PTVXRQTBEE", nullptr},
    {sentence::kRecognised, "$PTVXDTEPH", nullptr},
};

}  // namespace

std::span<const ProprietaryParserRow> ProprietaryParserRows() { return kParsers; }

SentenceId ClassifyProprietary(std::string_view header) {
    for (const ProprietaryParserRow& row : kParsers)
        if (header.substr(0, row.name.size()) == row.name) return row.id;
    return sentence::kUnknown;
}

ProprietaryParser ProprietaryParserFor(SentenceId id) {
    for (const ProprietaryParserRow& row : kParsers)
        if (row.id == id) return row.parse;
    return nullptr;
}

bool IsIncompleteWbg(const WbgRecord& wbg) {
    return (wbg.type == 1 || wbg.type == 2) && wbg.number != wbg.total;
}
