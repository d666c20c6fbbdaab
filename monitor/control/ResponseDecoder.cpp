#include "monitor/control/ResponseDecoder.h"

#include <cmath>
#include <cstdio>
#include <cctype>
#include <cstdlib>
#include <limits>
#include <span>

namespace {

constexpr int kMaxFields = 48;
constexpr std::size_t kMaxTextField = 127;

struct Fields {
    double number[kMaxFields] = {};
    std::string_view text[kMaxFields] = {};
    int textCount = 0;
};

// A named value list: names[0..count), then the fallback for anything else. atof also
// reads "nan", "inf" and 1e300, which no integer holds: the range is checked on the
// double, and only a value inside it is converted.
struct NameList {
    std::span<const char* const> names;
    const char* fallback = "Undefined";
    const char* operator()(double value) const {
        const double v = std::trunc(value);
        return v >= 0 && v < static_cast<double>(names.size()) ? names[static_cast<std::size_t>(v)] : fallback;
    }
};

constexpr const char* kStatus[] = {"Invalid Packet", "Unsupported packet", "Valid packet, action failed",
                                   "Valid packet, action succeeded"};
constexpr const char* kDgpsSource[] = {"No DGPS source", "RTCM", "WAAS", "GSM", "WCDMA", "CDMA2K"};
constexpr const char* kDynamicModel[] = {
    "Fixed base station, TT, etc", "Stationary but unknown", "Walking / Handset / Indoors",
    "Slow Ground Vehicle (tractor, boat etc)", "Fast Ground Vehicle (car, train etc)",
    "Airbourne low dynamics (<1g)", "Airbourne Medium dynamics (<2g)", "Airbourne High dynamics  (<4g)",
    "Airbourne Very High dynamics (<8g)", "Missiles Low dynamics (<16g)", "Missiles Medium dynamics (<32g)",
    "Missiles High dynamics (<64g)", "Missiles Very High dynamics (<128g)"};
constexpr const char* kExecutionState[] = {"INVALID_EXE_STATE", "DSP_STOPPED", "WAIT_DSP_START", "STARTUP",
                                           "WAIT_DSP_RUN", "RUNNING", "SLEEP", "WAIT_DSP_RESTART", "RESTART",
                                           "ABOUT_TO_SHUTDOWN", "SHUTDOWN"};
constexpr const char* kFixType[] = {"NO_FIX", "INT_AID", "EXT_AID", "SV_1D", "SV_2D", "SV_3D"};
constexpr const char* kYesNo[] = {"NO", "YES"};
constexpr const char* kMeasSource[] = {"NO_MEAS", "EXT_MEAS", "INT_MEAS"};
constexpr const char* kInPort[] = {"InType: NONE", "InType: RTCM", "InType: Net Assist", "InType: TVX NMEA"};
constexpr const char* kOutPort[] = {"OutType: NONE", "OutType: Debug Screen", "OutType: ILD Messages",
                                    "OutType: TVX NMEA"};
constexpr const char* kEnabled[] = {"Disabled", "Enabled"};
constexpr const char* kOnOffAuto[] = {"Mode: OFF", "Mode: ON", "Mode: AUTO"};
constexpr const char* kDatum[] = {"Datum: WGS84", "Datum: TOKYO-M", "Datum: TOKYO-A", "Datum: USER_SETTING"};
constexpr const char* kPermission[] = {"NO. Current navigation solution must not be used.",
                                       "OK. Current navigation solution is used."};

const NameList Status{kStatus, "Undefined packet"}, DgpsSource{kDgpsSource}, DynamicModel{kDynamicModel},
    ExecutionState{kExecutionState}, FixType{kFixType}, YesNo{kYesNo}, MeasSource{kMeasSource},
    InPort{kInPort, "InType: UNKNOW"}, OutPort{kOutPort, "OutType: UNKNOW"}, Enabled{kEnabled},
    OnOffAuto{kOnOffAuto, "Mode: UNKNOWN"}, Datum{kDatum, "Datum: UNKNOWN"}, Permission{kPermission};

// A line: label, then field `field` as an integer (times `scale`) or as a named value,
// then the unit. A label with no field (-1) is the whole line.
struct Line {
    const char* label;
    int field = -1;
    const char* unit = "";
    const NameList* names = nullptr;
    int scale = 1;
};

struct Response {
    int number;
    std::span<const Line> lines;
    void (*custom)(const Fields&, std::string& out) = nullptr;
    bool textFields = false;
};

long long Whole(double v) {
    if (!(v == v)) return 0;
    return static_cast<long long>(std::fmax(-9e15, std::fmin(9e15, std::trunc(v))));
}

void Emit(const Line& line, const Fields& f, std::string& out) {
    std::string text = line.label;
    if (line.field >= 0) {
        const double v = f.number[line.field];
        text += line.names ? (*line.names)(v) : std::to_string(Whole(v) * line.scale);
    }
    text += line.unit;
    AppendResponseLine(out, text);
}

#define LINES(name, ...) constexpr Line name[] = {__VA_ARGS__}
LINES(k202, {"FixInterval: ", 0, " msec"}, {"Duration: ", 1, " msec"}, {"RunInterval: ", 2, " msec"},
      {"HAcc: ", 3, " m"}, {"VAcc: ", 4, " m"});
LINES(k205, {"Mode: ", 0, "", &DgpsSource});
LINES(k208, {"Mode: ", 0, "", &DynamicModel});
LINES(k217, {"MAX: ", 0}, {"MIN: ", 1});
LINES(k220, {"MIN: ", 0, " dB-Hz"});
LINES(k226, {"Limit: ", 0, " Seconds"});
LINES(k229, {"Min Code Lock: ", 0, " msec", nullptr, 10}, {"Min Freq Lock: ", 1, " msec", nullptr, 10},
      {"Min Carr Lock: ", 2, " msec", nullptr, 10});
LINES(k232, {"Mode: ", 0, "", &Enabled});
LINES(k235, {"Mask: ", 0, " degrees"});
LINES(k244, {"GLL:Output once every ", 0, " fixes"}, {"RMC:Output once every ", 1, " fixes"},
      {"VTG:Output once every ", 2, " fixes"}, {"GGA:Output once every ", 3, " fixes"},
      {"GSA:Output once every ", 4, " fixes"}, {"GSV:Output once every ", 5, " fixes"});
LINES(k262, {"", 0, "", &OnOffAuto});
LINES(k271, {"", 0, "", &Datum});
LINES(k280, {"Year: ", 0}, {"Month: ", 1}, {"Day: ", 2}, {"Hour: ", 3}, {"Min: ", 4}, {"Sec: ", 5});
LINES(k407, {"State: ", 0, "", &ExecutionState});
LINES(k409, {"TTick: ", 0});
LINES(k417, {"WN: ", 0}, {"TOW: ", 1, " sec"}, {"AccTime: ", 2, " sec"}, {"TTick: ", 3});
LINES(k419, {"ClkB: ", 0, " sec"}, {"ClkD: ", 1, " sec/sec"}, {"AccB: ", 2, " ns"}, {"AccT: ", 3, " ns"},
      {"AccD: ", 4, " ns/s"});
LINES(k421, {"UTC_Cor: ", 0, " sec"});
LINES(k423, {"X: ", 0, " m"}, {"Y: ", 1, " m"}, {"Z: ", 2, " m"}, {"Acc: ", 3, " m"});
LINES(k425, {"Lat: ", 0, " rad"}, {"Lon: ", 1, " rad"}, {"ElliH: ", 2, " m"}, {"MsIH: ", 3, " m"},
      {"AccN: ", 4, " m"}, {"AccE: ", 5, " m"}, {"AccH: ", 6, " m"}, {"AccV: ", 7, " m"});
LINES(k427, {"Lat: ", 0, " rad"}, {"Lon: ", 1, " rad"}, {"ElliH: ", 2, " m"}, {"MsIH: ", 3, " m"},
      {"AccMaj: ", 4, " m"}, {"AccMin: ", 5, " m"}, {"MajBrg: ", 6, " degrees"}, {"AccV: ", 7, " m"});
LINES(k429, {"VX: ", 0, " m/s"}, {"VY: ", 1, " m/s"}, {"VZ: ", 2, " m/s"}, {"Acc: ", 3, " m/s"});
LINES(k431, {"VN: ", 0, " m/s"}, {"VE: ", 1, " m/s"}, {"VD: ", 2, " m/s"}, {"Acc: ", 3, " m/s"});
LINES(k433, {"GSpeed: ", 0, " m/s"}, {"Track: ", 1, " degrees"}, {"VV: ", 2, " m/s"},
      {"AccSpeed: ", 3, " m/s"}, {"AccCourse: ", 4, " degrees"});
LINES(k435, {"Permission: ", 0, "", &Permission});
LINES(k437, {"Pos_FixType: ", 0, "", &FixType}, {"Vel_FixType: ", 1, "", &FixType}, {"KF_Soln: ", 2, "", &YesNo},
      {"DiffSoln: ", 3, "", &YesNo}, {"num_SV: ", 4}, {"num_PR: ", 5}, {"num_DO: ", 6}, {"num_DR: ", 7},
      {"num_DODR: ", 8}, {"JNo: ", 9, " dBHz"}, {"TSync: ", 10, "", &MeasSource}, {"ClkB: ", 11, "", &MeasSource},
      {"ClkD: ", 12, "", &MeasSource}, {"HPos: ", 13, "", &MeasSource}, {"VPos: ", 14, "", &MeasSource},
      {"VVel: ", 15, "", &MeasSource}, {"Dist: ", 16, "", &MeasSource}, {"Speed: ", 17, "", &MeasSource},
      {"Track: ", 18, "", &MeasSource}, {"DTrack: ", 19, "", &MeasSource});
LINES(k439, {"N: ", 0}, {"E: ", 1}, {"H: ", 2}, {"V: ", 3}, {"P: ", 4}, {"T: ", 5});
LINES(k457, {"", 0, "", &InPort}, {"", 1, "", &OutPort}, {"Baudrate:", 2});
#undef LINES

void Status1(const Fields& f, std::string& out) {
    char head[32];
    std::snprintf(head, sizeof head, "[Respond] %03lld", Whole(f.number[0]));
    AppendResponseLine(out, head);
    AppendResponseLine(out, std::string("Status: ") + Status(f.number[1]));
}

// The count says how many SVIDs follow; only 47 fields can follow it.
void InhibitedSvs(const Fields& f, std::string& out) {
    const long long count = Whole(f.number[0]);
    AppendResponseLine(out, "Number of inhibited SV: " + std::to_string(count));
    for (long long i = 1; i - 1 < count && i < kMaxFields; ++i)
        AppendResponseLine(out, "SVID: " + std::to_string(Whole(f.number[i])));
}

void Enabled241(const Fields& f, std::string& out) { AppendResponseLine(out, f.number[0] != 0 ? "Mode: Enabled" : "Mode: Disabled"); }

void SbasMode259(const Fields& f, std::string& out) {
    switch (Whole(f.number[0]) & 0xFF) {
        case 0: return AppendResponseLine(out, "Test Mode: Use testing SBAS");
        case 1: return AppendResponseLine(out, "Integrity Mode: Don't use testing SBAS ");
        default: return AppendResponseLine(out, "Mode:UNKNOWN");
    }
}

void OnOff268(const Fields& f, std::string& out) { AppendResponseLine(out, (Whole(f.number[0]) & 0xFF) ? "Mode: ON" : "Mode: OFF"); }

// Register peeks: the address and the value as the module sent them.
void AddrValue(const Fields& f, std::string& out) {
    AppendResponseLine(out, "Addr:" + std::string(f.text[0]));
    AppendResponseLine(out, "Value:" + std::string(f.text[1]));
}

void Version461(const Fields& f, std::string& out) { AppendResponseLine(out, "Version:" + std::string(f.text[0])); }
void Release463(const Fields& f, std::string& out) { AppendResponseLine(out, "Release:" + std::string(f.text[0])); }

// A field the reply did not send is an empty view without characters (a null pointer),
// which string_view::copy takes and memcpy does not.
unsigned long HexOf(std::string_view text) {
    char buf[kMaxTextField + 1];
    buf[text.copy(buf, kMaxTextField)] = '\0';
    return std::strtoul(buf, nullptr, 16);
}

std::string HexUpper(std::string_view text) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%lX", HexOf(text));
    return buf;
}

std::string Joined(const Fields& f, int first, int last) {
    std::string out;
    for (int i = first; i <= last; ++i) (out += f.text[i]) += ' ';
    return out;
}

void Ephemeris473(const Fields& f, std::string& out) {
    AppendResponseLine(out, "PRN Number:" + HexUpper(f.text[0]));
    AppendResponseLine(out, "IODE:" + std::to_string(HexOf(f.text[9]) >> 16 & 0xFF));
    AppendResponseLine(out, "SF1: " + Joined(f, 1, 8));
    AppendResponseLine(out, "SF2: " + Joined(f, 9, 16));
    AppendResponseLine(out, "SF3: " + Joined(f, 17, 24));
}

void Almanac475(const Fields& f, std::string& out) {
    AppendResponseLine(out, "PRN Number:" + HexUpper(f.text[0]));
    AppendResponseLine(out, "Week Number:" + HexUpper(f.text[1]));
    AppendResponseLine(out, Joined(f, 2, 9));
}

constexpr Response kResponses[] = {
    {0, {}},           {1, {}, Status1},       {202, k202},          {205, k205},
    {208, k208},       {214, {}, InhibitedSvs}, {217, k217},         {220, k220},
    {223, k220},       {226, k226},            {229, k229},          {232, k232},
    {235, k235},       {241, {}, Enabled241},  {244, k244},          {259, {}, SbasMode259},
    {262, k262},       {268, {}, OnOff268},    {271, k271},          {280, k280},
    {305, {}, AddrValue, true}, {308, {}, AddrValue, true},          {407, k407},
    {409, k409},       {411, k409},            {417, k417},          {419, k419},
    {421, k421},       {423, k423},            {425, k425},          {427, k427},
    {429, k429},       {431, k431},            {433, k433},          {435, k435},
    {437, k437},       {439, k439},            {457, k457},          {461, {}, Version461, true},
    {463, {}, Release463, true}, {473, {}, Ephemeris473, true},     {475, {}, Almanac475, true},
};

const Response* Find(int n) {
    for (const Response& r : kResponses)
        if (r.number == n) return &r;
    return nullptr;
}

bool IsReplyNumber(const char* s) {
    for (int i = 5; i < 8; ++i) {
        const char c = s[i];
        if (!(c >= '0' && c <= '9') && !(c == '-' && i == 5)) return false;
    }
    return true;
}

std::string_view WithoutLineEnd(std::string_view s) {
    while (!s.empty() && (s.back() == '\r' || s.back() == '\n')) s.remove_suffix(1);
    return s;
}

// A field's number as atof reads it, the same on every host: some C runtimes read "nan"
// and "inf" as 0, where the others give NaN and infinity (which name no value).
double ReadNumber(std::string_view field) {
    std::size_t at = field.find_first_not_of(" \t");
    if (at == std::string_view::npos) return 0;
    const bool negative = field[at] == '-';
    if (field[at] == '-' || field[at] == '+') ++at;
    const auto startsWith = [&](const char* word) {
        for (std::size_t i = 0; word[i]; ++i)
            if (at + i >= field.size() || std::tolower(static_cast<unsigned char>(field[at + i])) != word[i]) return false;
        return true;
    };
    if (startsWith("nan")) return std::numeric_limits<double>::quiet_NaN();
    if (startsWith("inf")) return negative ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::infinity();
    return std::atof(std::string(field).c_str());
}

// Fields after the comma at position 8: a comma ends a field, '*' ends the field and
// the list. Text fields keep what a '*' or comma ended (up to 127 characters).
void Split(const char* s, bool asText, Fields& f) {
    if (s[8] != ',') return;
    const char* p = s + 9;
    int index = 0;
    while (index < kMaxFields && *p) {
        const char* end = p;
        while (*end && *end != ',' && *end != '*') ++end;
        if (!*end && asText) break;  // not ended by a separator: dropped
        const std::string_view field(p, static_cast<std::size_t>(end - p));
        if (asText) f.text[f.textCount++] = field.substr(0, kMaxTextField);
        else f.number[index] = ReadNumber(field.substr(0, 64));
        ++index;
        if (*end != ',') break;
        p = end + 1;
    }
}

}  // namespace

void AppendResponseLine(std::string& out, std::string_view text) { (out += text) += "\r\n"; }

void DecodeResponse(char* sentence, std::string& out) {
    const std::string_view whole(sentence);
    if (whole.size() < 8 || !IsReplyNumber(sentence)) {
        AppendResponseLine(out, "Invalid Packet: " + std::string(WithoutLineEnd(whole)));
        AppendResponseLine(out, "");
        return;
    }
    const int n = std::atoi(std::string(whole.substr(5, 3)).c_str());
    const Response* response = Find(n);
    if (!response) return;
    Fields f;
    Split(sentence, response->textFields, f);
    char head[32];
    std::snprintf(head, sizeof head, "[Receive] %03d", n);
    AppendResponseLine(out, head);
    for (const Line& line : response->lines) Emit(line, f, out);
    if (response->custom) response->custom(f, out);
    AppendResponseLine(out, "");
}
