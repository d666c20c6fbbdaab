#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "platform/programinfo/CommandLine.h"

namespace {

// Runs `line` on the words as a program's arguments; the words of the mistake, or "" when
// all was taken.
std::string Words(const cli::CommandLine& line, std::initializer_list<const char*> words) {
    std::vector<std::string> texts{"program"};
    texts.insert(texts.end(), words.begin(), words.end());
    std::vector<char*> argv;
    for (std::string& t : texts) argv.push_back(t.data());
    std::string error;
    return line.Parse(static_cast<int>(argv.size()), argv.data(), error) ? "" : error;
}

}  // namespace

TEST(CommandLine, TakesEachKindOfOptionAndTheOperands) {
    bool json = false;
    std::string port;
    std::vector<std::string> ports, operands;
    uint16_t count = 0;
    double seconds = 0;
    const auto line = cli::CommandLine()
                          .Flag("--json", json)
                          .Text("--port", port)
                          .Texts("--slot", ports)
                          .Whole("--count", 1, 1000, count)
                          .Number("--seconds", 0, 1e9, seconds)
                          .Operands(operands);
    EXPECT_EQ(Words(line, {"a", "--json", "--port", "-", "--slot", "x", "--slot", "y", "--count", "1000", "--seconds",
                         "0.5", "-", "b"}),
              "");
    EXPECT_TRUE(json);
    EXPECT_EQ(port, "-") << "a value may look like an operand";
    EXPECT_EQ(ports, (std::vector<std::string>{"x", "y"}));
    EXPECT_EQ(count, 1000);
    EXPECT_EQ(seconds, 0.5);
    EXPECT_EQ(operands, (std::vector<std::string>{"a", "-", "b"}));
}

TEST(CommandLine, EveryMistakeIsToldInWordsOfOneShape) {
    uint16_t count = 7;
    double seconds = 0, delay = 0;
    std::string name;
    const auto line = cli::CommandLine()
                          .Whole("--count", 1, 1000, count)
                          .Number("--seconds", 0, 1e9, seconds)
                          .NumberFrom("--delay", 0, 60, delay)
                          .Custom("--name", [&](std::string_view v) -> std::optional<std::string> {
                              if (v.empty()) return "--name wants a name";
                              name = v;
                              return std::nullopt;
                          });
    EXPECT_EQ(Words(line, {"--count"}), "--count wants a value");
    EXPECT_EQ(Words(line, {"--count", "0"}), "--count wants a whole number from 1 to 1000, not \"0\"");
    EXPECT_EQ(Words(line, {"--count", "12x"}), "--count wants a whole number from 1 to 1000, not \"12x\"");
    EXPECT_EQ(Words(line, {"--count", ""}), "--count wants a whole number from 1 to 1000, not \"\"");
    EXPECT_EQ(Words(line, {"--count", "99999999999999999999"}),
              "--count wants a whole number from 1 to 1000, not \"99999999999999999999\"");
    EXPECT_EQ(count, 7) << "a refused value leaves the default";
    EXPECT_EQ(Words(line, {"--seconds", "0"}), "--seconds wants a number above 0 and at most 1e9, not \"0\"");
    EXPECT_EQ(Words(line, {"--seconds", "nan"}), "--seconds wants a number above 0 and at most 1e9, not \"nan\"");
    EXPECT_EQ(Words(line, {"--seconds", "inf"}), "--seconds wants a number above 0 and at most 1e9, not \"inf\"");
    EXPECT_EQ(Words(line, {"--delay", "0"}), "");
    EXPECT_EQ(Words(line, {"--delay", "60.5"}), "--delay wants a number from 0 to 60, not \"60.5\"");
    EXPECT_EQ(Words(line, {"--name", ""}), "--name wants a name");
    EXPECT_EQ(Words(line, {"--bogus"}), "unknown option \"--bogus\"");
    EXPECT_EQ(Words(line, {"file"}), "unexpected argument \"file\"") << "no operands were declared";
}
