#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "monitor/control/AckDecoder.h"
#include "monitor/control/ResponseDecoder.h"
#include "tests/support/Nmea.h"

namespace {

using Lines = std::vector<std::string>;

// The lines of a decoder's text, without the CR LF after each.
Lines LinesOf(const std::string& text) {
    Lines lines;
    std::size_t at = 0;
    while (at < text.size()) {
        const auto end = text.find("\r\n", at);
        if (end == std::string::npos) {
            ADD_FAILURE() << "line not ended by CR LF: " << text.substr(at);
            break;
        }
        lines.push_back(text.substr(at, end - at));
        at = end + 2;
    }
    return lines;
}

// A body is completed to "$body*hh\r" as the link hands sentences over; one starting
// with '$' is handed over exactly as written.
std::string AsHandedOver(const std::string& body) {
    if (!body.empty() && body[0] == '$') return body;
    std::string sentence = testsupport::Sentence(body);
    sentence.pop_back();  // the link hands over "$" through CR
    return sentence;
}

// The lines a reply adds.
Lines Decode(const std::string& body) {
    std::string sentence = AsHandedOver(body);
    std::string text;
    DecodeResponse(sentence.data(), text);
    return LinesOf(text);
}

struct Reply {
    const char* legend;
    const char* body;
    Lines expected;
};

void PrintTo(const Reply& r, std::ostream* os) { *os << r.legend << ": " << r.body; }

const Reply kReplies[] = {
    {"000 acknowledgement", "PZRC000", {"[Receive] 000", ""}},

    {"001 action succeeded", "PZRC001,030,3", {"[Receive] 001", "[Respond] 030", "Status: Valid packet, action succeeded", ""}},
    {"001 invalid packet", "PZRC001,7,0", {"[Receive] 001", "[Respond] 007", "Status: Invalid Packet", ""}},
    {"001 unsupported", "PZRC001,115,1", {"[Receive] 001", "[Respond] 115", "Status: Unsupported packet", ""}},
    {"001 action failed", "PZRC001,244,2", {"[Receive] 001", "[Respond] 244", "Status: Valid packet, action failed", ""}},
    {"001 status 4 falls back", "PZRC001,203,4", {"[Receive] 001", "[Respond] 203", "Status: Undefined packet", ""}},
    {"001 negative status and four digit command", "PZRC001,1203,-1",
     {"[Receive] 001", "[Respond] 1203", "Status: Undefined packet", ""}},

    {"202 fix schedule", "PZRC202,1000,300000,60000,50.5,75.9",
     {"[Receive] 202", "FixInterval: 1000 msec", "Duration: 300000 msec", "RunInterval: 60000 msec", "HAcc: 50 m",
      "VAcc: 75 m", ""}},
    {"202 truncates toward zero and absent fields read zero", "PZRC202,1000,2000.9,-3.7",
     {"[Receive] 202", "FixInterval: 1000 msec", "Duration: 2000 msec", "RunInterval: -3 msec", "HAcc: 0 m",
      "VAcc: 0 m", ""}},

    {"205 no source", "PZRC205,0", {"[Receive] 205", "Mode: No DGPS source", ""}},
    {"205 RTCM", "PZRC205,1", {"[Receive] 205", "Mode: RTCM", ""}},
    {"205 WAAS", "PZRC205,2", {"[Receive] 205", "Mode: WAAS", ""}},
    {"205 GSM", "PZRC205,3", {"[Receive] 205", "Mode: GSM", ""}},
    {"205 WCDMA", "PZRC205,4", {"[Receive] 205", "Mode: WCDMA", ""}},
    {"205 CDMA2K", "PZRC205,5", {"[Receive] 205", "Mode: CDMA2K", ""}},
    {"205 source 6 falls back", "PZRC205,6", {"[Receive] 205", "Mode: Undefined", ""}},

    {"208 fixed base", "PZRC208,0", {"[Receive] 208", "Mode: Fixed base station, TT, etc", ""}},
    {"208 stationary", "PZRC208,1", {"[Receive] 208", "Mode: Stationary but unknown", ""}},
    {"208 walking", "PZRC208,2", {"[Receive] 208", "Mode: Walking / Handset / Indoors", ""}},
    {"208 slow vehicle", "PZRC208,3", {"[Receive] 208", "Mode: Slow Ground Vehicle (tractor, boat etc)", ""}},
    {"208 fast vehicle", "PZRC208,4", {"[Receive] 208", "Mode: Fast Ground Vehicle (car, train etc)", ""}},
    {"208 airborne low", "PZRC208,5", {"[Receive] 208", "Mode: Airbourne low dynamics (<1g)", ""}},
    {"208 airborne medium", "PZRC208,6", {"[Receive] 208", "Mode: Airbourne Medium dynamics (<2g)", ""}},
    {"208 airborne high has two blanks", "PZRC208,7", {"[Receive] 208", "Mode: Airbourne High dynamics  (<4g)", ""}},
    {"208 airborne very high", "PZRC208,8", {"[Receive] 208", "Mode: Airbourne Very High dynamics (<8g)", ""}},
    {"208 missiles low", "PZRC208,9", {"[Receive] 208", "Mode: Missiles Low dynamics (<16g)", ""}},
    {"208 missiles medium", "PZRC208,10", {"[Receive] 208", "Mode: Missiles Medium dynamics (<32g)", ""}},
    {"208 missiles high", "PZRC208,11", {"[Receive] 208", "Mode: Missiles High dynamics (<64g)", ""}},
    {"208 missiles very high", "PZRC208,12", {"[Receive] 208", "Mode: Missiles Very High dynamics (<128g)", ""}},
    {"208 model 13 falls back", "PZRC208,13", {"[Receive] 208", "Mode: Undefined", ""}},
    {"208 negative model falls back", "PZRC208,-1", {"[Receive] 208", "Mode: Undefined", ""}},

    {"214 three inhibited", "PZRC214,3,5,12,29",
     {"[Receive] 214", "Number of inhibited SV: 3", "SVID: 5", "SVID: 12", "SVID: 29", ""}},
    {"214 none inhibited", "PZRC214,0", {"[Receive] 214", "Number of inhibited SV: 0", ""}},
    {"214 count beyond the list reads zeros", "PZRC214,2.9,7",
     {"[Receive] 214", "Number of inhibited SV: 2", "SVID: 7", "SVID: 0", ""}},
    {"214 negative count lists nothing", "PZRC214,-1,4", {"[Receive] 214", "Number of inhibited SV: -1", ""}},

    {"217 bounds", "PZRC217,50,28", {"[Receive] 217", "MAX: 50", "MIN: 28", ""}},
    {"220 signal floor", "PZRC220,28", {"[Receive] 220", "MIN: 28 dB-Hz", ""}},
    {"223 signal floor", "PZRC223,32.7", {"[Receive] 223", "MIN: 32 dB-Hz", ""}},
    {"226 limit", "PZRC226,30", {"[Receive] 226", "Limit: 30 Seconds", ""}},

    {"229 lock times in tens of msec", "PZRC229,5,10,20",
     {"[Receive] 229", "Min Code Lock: 50 msec", "Min Freq Lock: 100 msec", "Min Carr Lock: 200 msec", ""}},
    {"229 integer part before scaling", "PZRC229,2.9,1.5,-0.9",
     {"[Receive] 229", "Min Code Lock: 20 msec", "Min Freq Lock: 10 msec", "Min Carr Lock: 0 msec", ""}},

    {"232 disabled", "PZRC232,0", {"[Receive] 232", "Mode: Disabled", ""}},
    {"232 enabled", "PZRC232,1", {"[Receive] 232", "Mode: Enabled", ""}},
    {"232 mode 2 falls back", "PZRC232,2", {"[Receive] 232", "Mode: Undefined", ""}},

    {"235 elevation mask", "PZRC235,5", {"[Receive] 235", "Mask: 5 degrees", ""}},
    {"235 negative mask", "PZRC235,-2.5", {"[Receive] 235", "Mask: -2 degrees", ""}},

    {"241 enabled", "PZRC241,1", {"[Receive] 241", "Mode: Enabled", ""}},
    {"241 disabled", "PZRC241,0", {"[Receive] 241", "Mode: Disabled", ""}},
    {"241 any nonzero value enables", "PZRC241,0.5", {"[Receive] 241", "Mode: Enabled", ""}},

    {"244 output rates", "PZRC244,1,1,0,1,2,5",
     {"[Receive] 244", "GLL:Output once every 1 fixes", "RMC:Output once every 1 fixes",
      "VTG:Output once every 0 fixes", "GGA:Output once every 1 fixes", "GSA:Output once every 2 fixes",
      "GSV:Output once every 5 fixes", ""}},

    {"259 test mode", "PZRC259,0", {"[Receive] 259", "Test Mode: Use testing SBAS", ""}},
    {"259 integrity mode keeps its trailing blank", "PZRC259,1",
     {"[Receive] 259", "Integrity Mode: Don't use testing SBAS ", ""}},
    {"259 reads the low byte for integrity", "PZRC259,257",
     {"[Receive] 259", "Integrity Mode: Don't use testing SBAS ", ""}},
    {"259 reads the low byte for test", "PZRC259,256", {"[Receive] 259", "Test Mode: Use testing SBAS", ""}},
    {"259 mode 2 falls back", "PZRC259,2", {"[Receive] 259", "Mode:UNKNOWN", ""}},

    {"262 off", "PZRC262,0", {"[Receive] 262", "Mode: OFF", ""}},
    {"262 on", "PZRC262,1", {"[Receive] 262", "Mode: ON", ""}},
    {"262 auto", "PZRC262,2", {"[Receive] 262", "Mode: AUTO", ""}},
    {"262 mode 3 falls back", "PZRC262,3", {"[Receive] 262", "Mode: UNKNOWN", ""}},

    {"268 on", "PZRC268,1", {"[Receive] 268", "Mode: ON", ""}},
    {"268 off", "PZRC268,0", {"[Receive] 268", "Mode: OFF", ""}},
    {"268 low byte zero is off", "PZRC268,256", {"[Receive] 268", "Mode: OFF", ""}},
    {"268 low byte set is on", "PZRC268,258", {"[Receive] 268", "Mode: ON", ""}},

    {"271 WGS84", "PZRC271,0", {"[Receive] 271", "Datum: WGS84", ""}},
    {"271 Tokyo mean", "PZRC271,1", {"[Receive] 271", "Datum: TOKYO-M", ""}},
    {"271 Tokyo Japan", "PZRC271,2", {"[Receive] 271", "Datum: TOKYO-A", ""}},
    {"271 user datum", "PZRC271,3", {"[Receive] 271", "Datum: USER_SETTING", ""}},
    {"271 datum 4 falls back", "PZRC271,4", {"[Receive] 271", "Datum: UNKNOWN", ""}},

    {"280 date and time", "PZRC280,2024,3,15,8,30,45.5",
     {"[Receive] 280", "Year: 2024", "Month: 3", "Day: 15", "Hour: 8", "Min: 30", "Sec: 45", ""}},

    {"305 register read", "PZRC305,00001000,DEADBEEF", {"[Receive] 305", "Addr:00001000", "Value:DEADBEEF", ""}},
    {"308 register write", "PZRC308,2000A004,0000FFFF", {"[Receive] 308", "Addr:2000A004", "Value:0000FFFF", ""}},
    {"305 text after the last comma without a star is dropped", "$PZRC305,00001000,DEADBEEF\r",
     {"[Receive] 305", "Addr:00001000", "Value:", ""}},

    {"407 invalid state", "PZRC407,0", {"[Receive] 407", "State: INVALID_EXE_STATE", ""}},
    {"407 DSP stopped", "PZRC407,1", {"[Receive] 407", "State: DSP_STOPPED", ""}},
    {"407 waiting for DSP start", "PZRC407,2", {"[Receive] 407", "State: WAIT_DSP_START", ""}},
    {"407 startup", "PZRC407,3", {"[Receive] 407", "State: STARTUP", ""}},
    {"407 waiting for DSP run", "PZRC407,4", {"[Receive] 407", "State: WAIT_DSP_RUN", ""}},
    {"407 running", "PZRC407,5", {"[Receive] 407", "State: RUNNING", ""}},
    {"407 sleep", "PZRC407,6", {"[Receive] 407", "State: SLEEP", ""}},
    {"407 waiting for DSP restart", "PZRC407,7", {"[Receive] 407", "State: WAIT_DSP_RESTART", ""}},
    {"407 restart", "PZRC407,8", {"[Receive] 407", "State: RESTART", ""}},
    {"407 about to shut down", "PZRC407,9", {"[Receive] 407", "State: ABOUT_TO_SHUTDOWN", ""}},
    {"407 shutdown", "PZRC407,10", {"[Receive] 407", "State: SHUTDOWN", ""}},
    {"407 state 11 falls back", "PZRC407,11", {"[Receive] 407", "State: Undefined", ""}},

    {"409 tick", "PZRC409,123456", {"[Receive] 409", "TTick: 123456", ""}},
    {"411 tick", "PZRC411,987654321", {"[Receive] 411", "TTick: 987654321", ""}},
    {"417 GPS time", "PZRC417,2301,345600.250,0.5,123456789",
     {"[Receive] 417", "WN: 2301", "TOW: 345600 sec", "AccTime: 0 sec", "TTick: 123456789", ""}},
    {"419 clock", "PZRC419,-12.6,0.000001,35.9,40,2.5",
     {"[Receive] 419", "ClkB: -12 sec", "ClkD: 0 sec/sec", "AccB: 35 ns", "AccT: 40 ns", "AccD: 2 ns/s", ""}},
    {"421 leap seconds", "PZRC421,18", {"[Receive] 421", "UTC_Cor: 18 sec", ""}},
    {"423 ECEF position", "PZRC423,-2694892.4,-4293083.7,3857869.2,12.3",
     {"[Receive] 423", "X: -2694892 m", "Y: -4293083 m", "Z: 3857869 m", "Acc: 12 m", ""}},
    {"425 geodetic position", "PZRC425,0.6573,-2.1366,105.8,72.1,3.2,2.9,4.3,6.8",
     {"[Receive] 425", "Lat: 0 rad", "Lon: -2 rad", "ElliH: 105 m", "MsIH: 72 m", "AccN: 3 m", "AccE: 2 m",
      "AccH: 4 m", "AccV: 6 m", ""}},
    {"427 position with error ellipse", "PZRC427,0.6573,-2.1366,105.8,72.1,5.4,2.2,135.7,6.8",
     {"[Receive] 427", "Lat: 0 rad", "Lon: -2 rad", "ElliH: 105 m", "MsIH: 72 m", "AccMaj: 5 m", "AccMin: 2 m",
      "MajBrg: 135 degrees", "AccV: 6 m", ""}},
    {"429 ECEF velocity", "PZRC429,12.5,-3.2,0.4,0.1",
     {"[Receive] 429", "VX: 12 m/s", "VY: -3 m/s", "VZ: 0 m/s", "Acc: 0 m/s", ""}},
    {"431 NED velocity", "PZRC431,-8.7,21.3,-1.2,2",
     {"[Receive] 431", "VN: -8 m/s", "VE: 21 m/s", "VD: -1 m/s", "Acc: 2 m/s", ""}},
    {"433 ground speed and track", "PZRC433,23.6,275.4,-1.5,0.8,3.9",
     {"[Receive] 433", "GSpeed: 23 m/s", "Track: 275 degrees", "VV: -1 m/s", "AccSpeed: 0 m/s",
      "AccCourse: 3 degrees", ""}},

    {"435 not permitted", "PZRC435,0",
     {"[Receive] 435", "Permission: NO. Current navigation solution must not be used.", ""}},
    {"435 permitted", "PZRC435,1", {"[Receive] 435", "Permission: OK. Current navigation solution is used.", ""}},
    {"435 permission 2 falls back", "PZRC435,2", {"[Receive] 435", "Permission: Undefined", ""}},

    {"437 3D fix from satellites", "PZRC437,5,4,1,0,8,9,0,0,0,42,2,1,0,2,2,2,2,2,2,3",
     {"[Receive] 437", "Pos_FixType: SV_3D", "Vel_FixType: SV_2D", "KF_Soln: YES", "DiffSoln: NO", "num_SV: 8",
      "num_PR: 9", "num_DO: 0", "num_DR: 0", "num_DODR: 0", "JNo: 42 dBHz", "TSync: INT_MEAS", "ClkB: EXT_MEAS",
      "ClkD: NO_MEAS", "HPos: INT_MEAS", "VPos: INT_MEAS", "VVel: INT_MEAS", "Dist: INT_MEAS", "Speed: INT_MEAS",
      "Track: INT_MEAS", "DTrack: Undefined", ""}},
    {"437 no fix and aiding", "PZRC437,0,1,2,-1,0,0,0,0,0,30.8,0,0,0,0,0,0,0,1,1,-1",
     {"[Receive] 437", "Pos_FixType: NO_FIX", "Vel_FixType: INT_AID", "KF_Soln: Undefined", "DiffSoln: Undefined",
      "num_SV: 0", "num_PR: 0", "num_DO: 0", "num_DR: 0", "num_DODR: 0", "JNo: 30 dBHz", "TSync: NO_MEAS",
      "ClkB: NO_MEAS", "ClkD: NO_MEAS", "HPos: NO_MEAS", "VPos: NO_MEAS", "VVel: NO_MEAS", "Dist: NO_MEAS",
      "Speed: EXT_MEAS", "Track: EXT_MEAS", "DTrack: Undefined", ""}},
    {"437 external aiding and 1D", "PZRC437,2,3,0,1,12,11,10,9,8,38,2,2,2,2,2,2,2,2,2,2",
     {"[Receive] 437", "Pos_FixType: EXT_AID", "Vel_FixType: SV_1D", "KF_Soln: NO", "DiffSoln: YES", "num_SV: 12",
      "num_PR: 11", "num_DO: 10", "num_DR: 9", "num_DODR: 8", "JNo: 38 dBHz", "TSync: INT_MEAS", "ClkB: INT_MEAS",
      "ClkD: INT_MEAS", "HPos: INT_MEAS", "VPos: INT_MEAS", "VVel: INT_MEAS", "Dist: INT_MEAS", "Speed: INT_MEAS",
      "Track: INT_MEAS", "DTrack: INT_MEAS", ""}},
    {"437 fix types 6 and 7 fall back and absent fields read zero", "PZRC437,6,7",
     {"[Receive] 437", "Pos_FixType: Undefined", "Vel_FixType: Undefined", "KF_Soln: NO", "DiffSoln: NO",
      "num_SV: 0", "num_PR: 0", "num_DO: 0", "num_DR: 0", "num_DODR: 0", "JNo: 0 dBHz", "TSync: NO_MEAS",
      "ClkB: NO_MEAS", "ClkD: NO_MEAS", "HPos: NO_MEAS", "VPos: NO_MEAS", "VVel: NO_MEAS", "Dist: NO_MEAS",
      "Speed: NO_MEAS", "Track: NO_MEAS", "DTrack: NO_MEAS", ""}},

    {"439 six counters", "PZRC439,1,1,2,2,1,3", {"[Receive] 439", "N: 1", "E: 1", "H: 2", "V: 2", "P: 1", "T: 3", ""}},

    {"457 no ports", "PZRC457,0,0,4800", {"[Receive] 457", "InType: NONE", "OutType: NONE", "Baudrate:4800", ""}},
    {"457 RTCM in debug out", "PZRC457,1,1,9600",
     {"[Receive] 457", "InType: RTCM", "OutType: Debug Screen", "Baudrate:9600", ""}},
    {"457 assistance in messages out", "PZRC457,2,2,38400",
     {"[Receive] 457", "InType: Net Assist", "OutType: ILD Messages", "Baudrate:38400", ""}},
    {"457 NMEA both ways", "PZRC457,3,3,115200",
     {"[Receive] 457", "InType: TVX NMEA", "OutType: TVX NMEA", "Baudrate:115200", ""}},
    {"457 types 4 fall back", "PZRC457,4,4,57600",
     {"[Receive] 457", "InType: UNKNOW", "OutType: UNKNOW", "Baudrate:57600", ""}},

    {"461 version", "PZRC461,V1.2", {"[Receive] 461", "Version:V1.2", ""}},
    {"463 release", "PZRC463,2026-05-07", {"[Receive] 463", "Release:2026-05-07", ""}},

    {"473 ephemeris",
     "PZRC473,0c,22C1A5B0,1C5F3D00,00000000,00000000,00000000,0000A1B2,00471234,05FE2C00,005A7F31,3C21D4A0,"
     "B7E1902F,0A1C2B3D,41E5F6A7,08B9CADB,E1F2A3B4,7C5D6E00,FF5A1C2D,00003E4F,A55A0F0F,3C3C1234,90817263,"
     "0055AA00,FFE1D2C3,5A7F3100",
     {"[Receive] 473", "PRN Number:C", "IODE:90",
      "SF1: 22C1A5B0 1C5F3D00 00000000 00000000 00000000 0000A1B2 00471234 05FE2C00 ",
      "SF2: 005A7F31 3C21D4A0 B7E1902F 0A1C2B3D 41E5F6A7 08B9CADB E1F2A3B4 7C5D6E00 ",
      "SF3: FF5A1C2D 00003E4F A55A0F0F 3C3C1234 90817263 0055AA00 FFE1D2C3 5A7F3100 ", ""}},
    {"473 IODE is bits 16 to 23 only and missing words stay blank", "PZRC473,20,1,2,3,4,5,6,7,8,FFAB1234",
     {"[Receive] 473", "PRN Number:20", "IODE:171", "SF1: 1 2 3 4 5 6 7 8 ",
      "SF2: FFAB1234        ",  // seven missing words, a blank each
      "SF3:         ", ""}},     // "SF3: " and eight blanks

    {"475 almanac", "PZRC475,0b,8f5,4B2E0D91,0C1A7F00,FD3C0012,A10C4E55,3F2B1100,00AF91C2,7E0015D3,C0F10A00",
     {"[Receive] 475", "PRN Number:B", "Week Number:8F5",
      "4B2E0D91 0C1A7F00 FD3C0012 A10C4E55 3F2B1100 00AF91C2 7E0015D3 C0F10A00 ", ""}},

    // What atof makes of text no integer holds: NaN and infinities name no value and
    // print as 0 or saturated, a missing text field reads as empty.
    {"001 status not a number falls back", "PZRC001,030,nan",
     {"[Receive] 001", "[Respond] 030", "Status: Undefined packet", ""}},
    {"205 source not a number falls back", "$PZRC205,nan*00\r", {"[Receive] 205", "Mode: Undefined", ""}},
    {"208 infinite model falls back", "PZRC208,-inf", {"[Receive] 208", "Mode: Undefined", ""}},
    {"407 state beyond any integer falls back", "PZRC407,1e300", {"[Receive] 407", "State: Undefined", ""}},
    {"229 NaN reads zero and infinity saturates before scaling", "PZRC229,nan,inf,-1e30",
     {"[Receive] 229", "Min Code Lock: 0 msec", "Min Freq Lock: 90000000000000000 msec",
      "Min Carr Lock: -90000000000000000 msec", ""}},
    {"473 with its number alone", "PZRC473,1",
     {"[Receive] 473", "PRN Number:1", "IODE:0", "SF1:         ", "SF2:         ", "SF3:         ", ""}},
    {"473 without a star keeps no field", "$PZRC473,1\r",
     {"[Receive] 473", "PRN Number:0", "IODE:0", "SF1:         ", "SF2:         ", "SF3:         ", ""}},
    {"475 with no fields", "$PZRC475*00\r", {"[Receive] 475", "PRN Number:0", "Week Number:0", "        ", ""}},

    {"reply number with a letter", "$PZRCX1,5*00\r", {"Invalid Packet: $PZRCX1,5*00", ""}},
    {"reply number of one digit", "$PZRC1*31\r", {"Invalid Packet: $PZRC1*31", ""}},
    {"sentence too short for a reply number", "$PZRC01", {"Invalid Packet: $PZRC01", ""}},
    {"number the table does not list", "PZRC999,1,2", {}},
    {"number between listed ones", "PZRC203,1", {}},
};

// A case's legend in CamelCase, for its test's name.
template <typename Case>
std::string ParamName(const ::testing::TestParamInfo<Case>& info) {
    std::string name;
    bool upper = true;
    for (const char* p = info.param.legend; *p; ++p) {
        if (std::isalnum(static_cast<unsigned char>(*p))) {
            name += upper ? static_cast<char>(std::toupper(static_cast<unsigned char>(*p))) : *p;
            upper = false;
        } else {
            upper = true;
        }
    }
    return name;
}

class ResponseDecoderReplies : public ::testing::TestWithParam<Reply> {};

}  // namespace

TEST_P(ResponseDecoderReplies, AddExactlyTheLinesTheReceiveBoxShows) {
    EXPECT_EQ(Decode(GetParam().body), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Table, ResponseDecoderReplies, ::testing::ValuesIn(kReplies), ParamName<Reply>);

TEST(ResponseDecoder, CountAbove47IsBoundedByTheFieldsThereAre) {
    std::string body = "PZRC214,1000";
    for (int i = 0; i < 60; ++i) body += "," + std::to_string(i);
    const Lines lines = Decode(body);
    EXPECT_EQ(lines.size(), 1u + 1u + 47u + 1u);
    EXPECT_EQ(lines[2], "SVID: 0");
    EXPECT_EQ(lines[48], "SVID: 46");
}

TEST(ResponseDecoder, TextFieldsAreCutAt127Characters) {
    const std::string longText(200, 'v');
    EXPECT_EQ(Decode("PZRC461," + longText)[1], "Version:" + std::string(127, 'v'));
}

namespace {

const Reply kMtkAcks[] = {
    {"hot start succeeded", "PMTK001,101,3", {"MTK ACK for PMTK101 (hot start): succeeded", ""}},
    {"warm start succeeded", "PMTK001,102,3", {"MTK ACK for PMTK102 (warm start): succeeded", ""}},
    {"cold start succeeded", "PMTK001,103,3", {"MTK ACK for PMTK103 (cold start): succeeded", ""}},
    {"full cold start unsupported", "PMTK001,104,1", {"MTK ACK for PMTK104 (full cold start): unsupported", ""}},
    {"constellation choice failed", "PMTK001,353,2",
     {"MTK ACK for PMTK353 (constellation choice): valid but failed", ""}},
    {"invalid command", "PMTK001,220,0", {"MTK ACK for PMTK220 (fix interval): invalid command", ""}},
    {"command without a name", "PMTK001,605,3", {"MTK ACK for PMTK605: succeeded", ""}},
    {"flag 4 is undefined", "PMTK001,101,4", {"MTK ACK for PMTK101 (hot start): undefined flag 4", ""}},
    {"a field after the flag is not shown", "PMTK001,869,3,1", {"MTK ACK for PMTK869: succeeded", ""}},
    {"no flag", "PMTK001,101", {"Invalid Packet: $PMTK001,101*2F", ""}},
    {"letters for the command", "$PMTK001,abc,3*00\r", {"Invalid Packet: $PMTK001,abc,3*00", ""}},
    {"line without CR", "$PMTK001,102,3*33", {"MTK ACK for PMTK102 (warm start): succeeded", ""}},
};

class MtkAckReplies : public ::testing::TestWithParam<Reply> {};

struct UbxAck {
    const char* legend;
    std::string frame;
    Lines expected;
};

void PrintTo(const UbxAck& a, std::ostream* os) { *os << a.legend; }

const UbxAck kUbxAcks[] = {
    {"restart accepted", std::string("\xB5\x62\x05\x01\x02\x00\x06\x04\x12\x3B", 10),
     {"UBX ACK-ACK for CFG-RST (06 04)", ""}},
    {"constellation choice refused", std::string("\xB5\x62\x05\x00\x02\x00\x06\x3E\x4B\x70", 10),
     {"UBX ACK-NAK for CFG-GNSS (06 3E): refused", ""}},
    {"NMEA version accepted", std::string("\xB5\x62\x05\x01\x02\x00\x06\x17\x25\x4E", 10),
     {"UBX ACK-ACK for CFG-NMEA (06 17)", ""}},
    {"message without a name", std::string("\xB5\x62\x05\x00\x02\x00\x0A\x04\x15\x3E", 10),
     {"UBX ACK-NAK for 0A 04: refused", ""}},
    {"no acknowledge", std::string("\xB5\x62\x01\x07", 4), {"Invalid Packet: B5 62 01 07", ""}},
};

class UbxAckReplies : public ::testing::TestWithParam<UbxAck> {};

}  // namespace

TEST_P(MtkAckReplies, NameTheCommandAndSayTheFlagInWords) {
    std::string text;
    DecodeMtkAck(AsHandedOver(GetParam().body), text);
    EXPECT_EQ(LinesOf(text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Table, MtkAckReplies, ::testing::ValuesIn(kMtkAcks), ParamName<Reply>);

TEST_P(UbxAckReplies, NameTheMessageAndSayWhetherItWasRefused) {
    std::string text;
    const std::string& f = GetParam().frame;
    DecodeUbxAck(std::span(reinterpret_cast<const uint8_t*>(f.data()), f.size()), text);
    EXPECT_EQ(LinesOf(text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Table, UbxAckReplies, ::testing::ValuesIn(kUbxAcks), ParamName<UbxAck>);
