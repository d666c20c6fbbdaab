// The command-line flasher as a production script runs it.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <memory>

#include "SimulatedChip.h"

namespace {

struct Outcome {
    int status;
    std::string output;  // standard output and error together
};

Outcome Cli(const std::string& arguments) {
    const std::string command = std::string(BURNKIT_CLI) + " " + arguments + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    Outcome o{-1, {}};
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) o.output.append(buf, n);
    const int raw = pclose(pipe);
    o.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return o;
}

}  // namespace

TEST(BurnkitCli, FlashesEveryPortAndSaysSo) {
    testsupport::SimulatedChip a, b;
    const std::string image = testsupport::RandomBytes(3000, 21);
    testsupport::WriteFile(a.Dir() / "image.bin", image);
    const Outcome o = Cli("--port " + a.Path() + " --port " + b.Path() + " --image " + (a.Dir() / "image.bin"));
    EXPECT_EQ(o.status, 0) << o.output;
    EXPECT_NE(o.output.find(a.Path() + ": Burn Flash Img Success !"), std::string::npos) << o.output;
    EXPECT_NE(o.output.find(b.Path() + ": Burn Flash Img Success !"), std::string::npos) << o.output;
    EXPECT_TRUE(a.Flash().compare(0, image.size(), image) == 0);
    EXPECT_TRUE(b.Flash().compare(0, image.size(), image) == 0);
}

TEST(BurnkitCli, BadInputsGiveClearMessagesAndNonZeroStatus) {
    testsupport::ScratchDir dir;
    testsupport::WriteFile(dir / "tiny.bin", "abc");
    testsupport::WriteFile(dir / "image.bin", std::string(100, 'x'));
    Outcome o = Cli("--image " + (dir / "image.bin"));
    EXPECT_EQ(o.status, 2);
    EXPECT_NE(o.output.find("no --port given"), std::string::npos);
    o = Cli("--port /dev/null --image " + (dir / "missing.bin"));
    EXPECT_EQ(o.status, 2);
    EXPECT_NE(o.output.find("missing.bin: cannot open it"), std::string::npos) << o.output;
    o = Cli("--port /dev/null --image " + (dir / "tiny.bin"));
    EXPECT_EQ(o.status, 2);
    EXPECT_NE(o.output.find("is 3 bytes; an image needs at least 4"), std::string::npos) << o.output;
    o = Cli("--port /dev/ttyNoSuchPort --image " + (dir / "image.bin"));
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.output.find("Open/dev/ttyNoSuchPort Failed!"), std::string::npos) << o.output;
    o = Cli("--port /dev/ttyNoSuchPort --baud 12345 --image " + (dir / "image.bin"));
    EXPECT_EQ(o.status, 2);
    EXPECT_NE(o.output.find("--baud"), std::string::npos);
}
