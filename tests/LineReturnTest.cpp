// Where a lost device is looked for: the adapter's stable name, or the same path.
#include <gtest/gtest.h>

#include <filesystem>

#include "monitor/link/LineReturn.h"
#include "tests/support/TestSupport.h"

namespace fs = std::filesystem;

TEST(LineReturn, StableNameFollowsThePulledAdapterToItsNewNumberAndWithoutOneThePathIsKept) {
    testsupport::ScratchDir dir;
    fs::create_directories(dir / "by-id");
    for (const char* tty : {"ttyUSB0", "ttyUSB1"}) testsupport::WriteFile(dir / tty, "");
    const std::string ours = dir / "by-id/usb-Maker_Module_0001-if00-port0";
    fs::create_symlink("../ttyUSB0", ours);  // udev makes relative links
    fs::create_symlink(dir / "ttyUSB1", dir / "by-id/usb-Other_Bridge_77-if00-port0");
    const LineReturn back(dir / "ttyUSB0", dir / "by-id");
    EXPECT_EQ(back.StableName(), ours);
    EXPECT_EQ(back.WhereNow(), dir / "ttyUSB0");
    // Pulled (the link goes with the device), another adapter takes the old number,
    // then ours is back under a new one.
    fs::remove(ours);
    EXPECT_EQ(back.WhereNow(), "");
    testsupport::WriteFile(dir / "ttyUSB2", "");
    fs::create_symlink("../ttyUSB2", ours);
    EXPECT_EQ(back.WhereNow(), dir / "ttyUSB2");

    fs::create_symlink(dir / "ttyUSB9", dir / "ttySIM0");  // no stable name: the same path
    const LineReturn same(dir / "ttySIM0", dir / "missing");
    EXPECT_EQ(same.StableName(), "");
    EXPECT_EQ(same.WhereNow(), "");
    testsupport::WriteFile(dir / "ttyUSB9", "");
    EXPECT_EQ(same.WhereNow(), dir / "ttySIM0");
}
