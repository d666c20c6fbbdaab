// Records of the module's proprietary "$PTVX" sentences and "$GPTXT". No window shows
// them; they are kept so that a later view or a capture analysis can.
#pragma once

#include <cstdint>

struct AlmRecord {  // almanac presence: count, then one byte per entry
    int16_t count;
    uint8_t values[63];
};

struct EphRecord {  // ephemeris state per satellite number (0-255)
    int16_t count;
    uint8_t present[256];
    int32_t x[256];
    int32_t y[256];
};

struct DgpRecord {
    int16_t count;
    double values[32];
};

struct ChnRecord {  // 32 channels, each value split as value/1000, (value/10)%100, value%10
    int32_t high[32];
    int32_t middle[32];
    int32_t low[32];
};

struct DbgRecord {
    int32_t word;
    uint8_t bytes32[32];
    uint8_t bytes8[8];
    float floats[6];
};

struct Db2Record {
    uint32_t words[8];
    double values[8];
};

struct WbgRecord {  // multi-sentence table
    int16_t type, total, number;
    bool complete;
    int16_t count;
    double entries[56][6];
};

struct RtcRecord {
    int32_t value;
    double decimal;
};

struct PmcRecord {
    int32_t values[11];
};

struct JamRecord {
    int32_t first;
    int16_t count;
    int32_t values[50];
};

struct LoxRecord {
    int32_t mode;
    int32_t value;
    int16_t count;
    uint32_t hex[24];
};

struct Tsx1Record {
    int32_t int0, int4;
    double d1, d3, d5;
    float f2, f6, f7, f8, f9;
};

struct TxtRecord {
    int16_t total, number, type;
    char text[48];
};

struct ProprietaryRecords {
    AlmRecord alm;
    EphRecord eph;
    DgpRecord dgp;
    ChnRecord chn;
    DbgRecord dbg;
    Db2Record db2;
    WbgRecord wbg;
    RtcRecord rtc;
    PmcRecord pmc;
    JamRecord jam;
    LoxRecord lox;
    Tsx1Record tsx1;
    TxtRecord txt;
};
