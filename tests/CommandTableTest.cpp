// The bytes each command of the panel puts on the line, per module family.
#include <gtest/gtest.h>

#include <string>

#include "monitor/control/CommandTable.h"
#include "monitor/control/Ttff.h"
#include "monitor/link/Framing.h"

namespace {

std::string Text(const CommandBytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

CommandBytes Hex(std::initializer_list<int> bytes) {
    CommandBytes out;
    for (int b : bytes) out.push_back(static_cast<uint8_t>(b));
    return out;
}

}  // namespace

TEST(Commands, RestartsOfEachFamily) {
    EXPECT_EQ(Text(RestartCommand(ModuleFamily::Zr, Restart::Cold)), "$PZRC030,3,1*2A\r\n");
    EXPECT_EQ(Text(RestartCommand(ModuleFamily::Mtk, Restart::Hot)), "$PMTK101*32\r\n");
    EXPECT_EQ(RestartCommand(ModuleFamily::Ubx, Restart::Warm),
              Hex({0xB5, 0x62, 0x06, 0x04, 0x04, 0x00, 0x01, 0x00, 0x02, 0x00, 0x11, 0x6C}));
}

TEST(Commands, ConstellationChoicesAndRefusals) {
    EXPECT_EQ(Text(ConstellationCommand(ModuleFamily::Zr, {true, false, true}).bytes), "$PZRC115,1,0,1,0*2E\r\n");
    EXPECT_EQ(Text(ConstellationCommand(ModuleFamily::Mtk, {true, true, false}).bytes), "$PMTK353,1,1,0,0,0*2B\r\n");
    EXPECT_EQ(ConstellationCommand(ModuleFamily::Zr, {true, true, true}).refusal,
              "BeiDou and Glonass cannot be selected at the sametime!");
    EXPECT_EQ(ConstellationCommand(ModuleFamily::Mtk, {}).refusal, "Select GNSS mode before set!");
    EXPECT_EQ(ConstellationCommand(ModuleFamily::Ubx, {true, true, true}).refusal,
              "GPS, BeiDou and Glonass cannot be selected at the sametime!");
    EXPECT_TRUE(ConstellationCommand(ModuleFamily::Ubx, {true, true, true}).bytes.empty());

    // BeiDou and Glonass: CFG-GNSS (checksum FD 05), then CFG-NMEA.
    const CommandBytes ubx = ConstellationCommand(ModuleFamily::Ubx, {false, true, true}).bytes;
    ASSERT_EQ(ubx.size(), 52u + 28u);
    EXPECT_EQ(ubx[50], 0xFD);
    EXPECT_EQ(ubx[51], 0x05);
    EXPECT_EQ(ubx[52 + 3], 0x17);
    // GPS and BeiDou goes out with SBAS off, the message its checksum FD 25 belongs to.
    const CommandBytes gpsBeiDou = ConstellationCommand(ModuleFamily::Ubx, {true, false, true}).bytes;
    EXPECT_EQ(gpsBeiDou[10 + 8 + 4], 0x00);  // the SBAS block's enable byte
    EXPECT_EQ(gpsBeiDou[50], 0xFD);
    EXPECT_EQ(gpsBeiDou[51], 0x25);
}

// Galileo goes in the MTK command's third field and in a CFG-GNSS block of its own, whose
// message (six blocks) carries the checksum made for it; the ZR command has no field.
TEST(Commands, GalileoChoiceForTheFamiliesThatCarryIt) {
    ConstellationChoice gpsGalileo{true, false, false, true};
    EXPECT_EQ(Text(ConstellationCommand(ModuleFamily::Mtk, gpsGalileo).bytes), "$PMTK353,1,0,1,0,0*2B\r\n");
    EXPECT_FALSE(ConstellationCommand(ModuleFamily::Zr, gpsGalileo).refusal.empty());
    EXPECT_TRUE(ConstellationCommand(ModuleFamily::Zr, gpsGalileo).bytes.empty());
    const CommandBytes ubx = ConstellationCommand(ModuleFamily::Ubx, {false, false, false, true}).bytes;
    ASSERT_EQ(ubx.size(), 6u + 4 + 6 * 8 + 2 + 28);  // CFG-GNSS, then CFG-NMEA
    EXPECT_EQ(ubx[4], 4 + 6 * 8);
    EXPECT_EQ(ubx[9], 6);
    const std::size_t galileo = 10 + 2 * 8;
    EXPECT_EQ(ubx[galileo], 0x02);
    EXPECT_EQ(ubx[galileo + 4], 0x01);
    for (std::size_t block = 0; block < 6; ++block)
        if (block != 2) EXPECT_EQ(ubx[10 + block * 8 + 4], 0x00) << block;
    uint8_t a, b;
    UbxChecksum(ubx.data() + 2, 4 + 52, a, b);
    EXPECT_EQ(ubx[58], a);
    EXPECT_EQ(ubx[59], b);
    EXPECT_EQ(ubx[60 + 3], 0x17);
    // Without Galileo the stored rows go out as before.
    EXPECT_EQ(ConstellationCommand(ModuleFamily::Ubx, {false, true, true, false}).bytes.size(), 52u + 28u);
}

TEST(Commands, EveryStoredUbxMessageHasItsOwnChecksum) {
    for (const CommandBytes& m : StoredUbxMessages()) {
        ASSERT_GE(m.size(), 8u);
        const std::size_t length = m[4] | m[5] << 8;
        ASSERT_EQ(m.size(), 6 + length + 2);
        uint8_t a, b;
        UbxChecksum(m.data() + 2, 4 + length, a, b);
        EXPECT_EQ(a, m[m.size() - 2]) << "class " << int(m[2]) << " id " << int(m[3]);
        EXPECT_EQ(b, m[m.size() - 1]) << "class " << int(m[2]) << " id " << int(m[3]);
    }
}

TEST(Commands, FreeCommandIsFramedWithAFreshChecksum) {
    EXPECT_EQ(Text(FreeCommand("PMTK220,1000*1F").bytes), "$PMTK220,1000*1F\r\n");
    EXPECT_EQ(Text(FreeCommand("PMTK220,1000*00").bytes), "$PMTK220,1000*1F\r\n");
    EXPECT_TRUE(FreeCommand("PZRC").bytes.empty());
    EXPECT_TRUE(FreeCommand("PZRC").refusal.empty());
    EXPECT_TRUE(FreeCommand("").bytes.empty());
    EXPECT_EQ(FreeCommand(std::string(251, 'A')).refusal, "Input chars much than 250");
    EXPECT_EQ(FreeCommand(std::string(250, 'A')).bytes.size(), 1 + 249 + 5u);
}

// Copied whole from a capture: the "$" is not doubled, a right checksum passes without a
// word, a wrong one is replaced and said.
TEST(Commands, FreeCommandTakesALeadingDollarAndTellsAWrongTypedChecksum) {
    const std::pair<std::string, std::string> same[] = {
        {"$PZRC999", "$PZRC999*22\r\n"}, {"$PZRC999*22", "$PZRC999*22\r\n"}, {"PZRC999*22", "$PZRC999*22\r\n"},
        {"$PMTK220,1000*1F", "$PMTK220,1000*1F\r\n"}};
    for (const auto& [typed, sent] : same) {
        const CommandOrRefusal c = FreeCommand(typed);
        EXPECT_EQ(Text(c.bytes), sent) << typed;
        EXPECT_EQ(c.note, "") << typed;
    }
    const CommandOrRefusal wrong = FreeCommand("$PZRC999*06");
    EXPECT_EQ(Text(wrong.bytes), "$PZRC999*22\r\n");
    EXPECT_EQ(wrong.note, "typed checksum *06 is wrong: sent with *22");
    EXPECT_EQ(FreeCommand("PZRC999*").note, "typed checksum * is wrong: sent with *22");
    EXPECT_EQ(FreeCommand("PMTK220,1000*1f").note, "");  // the digits in either case
    EXPECT_EQ(FreeCommand("PMTK220,1000*1F0").note, "typed checksum *1F0 is wrong: sent with *1F");
    for (const char* nothing : {"$", "$PZRC", "$PMTK*", "*12"}) {
        EXPECT_TRUE(FreeCommand(nothing).bytes.empty()) << nothing;
        EXPECT_TRUE(FreeCommand(nothing).refusal.empty()) << nothing;
    }
    EXPECT_EQ(FreeCommand("$" + std::string(250, 'A')).bytes.size(), 1 + 249 + 5u);
}

TEST(Ttff, CountsFromTheFirstNoFixAfterARestartToTheFirstTickAfter3D) {
    TtffMeasurement t;
    EXPECT_FALSE(t.OnFixReport('1'));  // before any restart nothing is measured
    t.Rearm();
    EXPECT_TRUE(t.OnFixReport('1'));
    EXPECT_FALSE(t.OnFixReport('1'));
    EXPECT_EQ(t.OnTick(true).text, "0.1 s");
    EXPECT_FALSE(t.OnFixReport('2'));
    EXPECT_EQ(t.OnTick(true).text, "0.2 s");
    t.OnFixReport('3');
    const TtffMeasurement::Tick last = t.OnTick(true);
    EXPECT_EQ(last.text, "0.3 s");
    EXPECT_TRUE(last.stop);

    t.Rearm();
    EXPECT_FALSE(t.OnFixReport('3'));  // no no-fix report yet: the clock never starts
    EXPECT_EQ(t.CurrentState(), TtffMeasurement::kWaitingForNoFix);
    ASSERT_TRUE(t.OnFixReport('1'));
    const TtffMeasurement::Tick lost = t.OnTick(false);  // the link went away
    EXPECT_EQ(lost.text, "");
    EXPECT_TRUE(lost.stop);
}
