// Where a lost device is looked for: the adapter's stable name, or the same path.
#include <gtest/gtest.h>

#include <filesystem>

#include "LineReturn.h"
#include "TestSupport.h"

namespace fs = std::filesystem;
using testsupport::ScratchDir;

TEST(LineReturn, StableNameFollowsThePulledAdapterToItsNewNumberAndNotToItsOldOne) {
    ScratchDir dir;
    fs::create_directories(dir / "dev");
    fs::create_directories(dir / "by-id");
    testsupport::WriteFile(dir / "dev/ttyUSB0", "");
    testsupport::WriteFile(dir / "dev/ttyUSB1", "");
    const std::string ours = dir / "by-id/usb-Maker_Module_0001-if00-port0";
    fs::create_symlink("../dev/ttyUSB0", ours);  // udev makes relative links
    fs::create_symlink(dir / "dev/ttyUSB1", dir / "by-id/usb-Other_Bridge_77-if00-port0");
    fs::create_symlink(dir / "dev/ttyUSB1", dir / "by-id/not-a-usb-name-but-the-same-device");

    const LineReturn back(dir / "dev/ttyUSB0", dir / "by-id");
    EXPECT_EQ(back.StableName(), ours);
    EXPECT_EQ(back.WhereNow(), dir / "dev/ttyUSB0");
    // Two names for one device: the first in order, every time.
    EXPECT_EQ(LineReturn(dir / "dev/ttyUSB1", dir / "by-id").StableName(), dir / "by-id/not-a-usb-name-but-the-same-device");

    // Pulled: the link goes with the device. Another adapter takes the old number.
    fs::remove(ours);
    fs::remove(dir / "dev/ttyUSB0");
    EXPECT_EQ(back.WhereNow(), "");
    testsupport::WriteFile(dir / "dev/ttyUSB0", "");
    EXPECT_EQ(back.WhereNow(), "");
    // Back under another number.
    testsupport::WriteFile(dir / "dev/ttyUSB2", "");
    fs::create_symlink("../dev/ttyUSB2", ours);
    EXPECT_EQ(back.WhereNow(), dir / "dev/ttyUSB2");
}

TEST(LineReturn, WithoutAStableNameTheSamePathIsOpenedWhileItIsThere) {
    ScratchDir dir;
    testsupport::PtyPair pty;
    fs::create_symlink(pty.SlavePath(), dir / "ttySIM0");  // a device reached through a link
    fs::create_directories(dir / "by-id");
    fs::create_symlink("/dev/null", dir / "by-id/usb-Other_Bridge_77-if00-port0");
    for (const std::string byId : {dir / "by-id", dir / "missing"}) {
        const LineReturn back(dir / "ttySIM0", byId);
        EXPECT_EQ(back.StableName(), "");
        EXPECT_EQ(back.WhereNow(), dir / "ttySIM0");
    }
    const LineReturn back(dir / "ttySIM0", dir / "by-id");
    fs::remove(dir / "ttySIM0");
    EXPECT_EQ(back.WhereNow(), "");
    EXPECT_EQ(LineReturn("/nonexistent/ttyUSB9", dir / "by-id").WhereNow(), "");
}
