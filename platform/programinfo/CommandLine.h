// One parser for every program's command line. Each option is declared once with what it
// takes; every mistake is told in words of one shape, naming the option and the value:
//   --baud wants a value
//   --epochs wants a whole number from 1 to 1000000, not "abc"
//   unknown option "--bad"
// Numbers are taken only when the whole argument is one in range, so a typo never runs
// with a surprise value.
//
// Failures across the toolkit take this shape: `bool` (or `std::optional` of the value)
// and a `std::string& error` that says in words what was wrong.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cli {

// Whole numbers and decimal numbers with the whole argument taken; nullopt otherwise.
std::optional<int64_t> WholeNumber(std::string_view text);
std::optional<double> DecimalNumber(std::string_view text);
std::string Quoted(std::string_view text);

class CommandLine {
public:
    // Takes a value and says what was wrong with it, or nothing when it was taken.
    using Take = std::function<std::optional<std::string>(std::string_view value)>;

    CommandLine& Flag(std::string_view name, bool& on);
    CommandLine& Flag(std::string_view name, std::function<void()> on);
    CommandLine& Text(std::string_view name, std::string& value);
    // Every use adds one (--port A --port B).
    CommandLine& Texts(std::string_view name, std::vector<std::string>& values);
    // A whole number from `low` to `high`, written into any integer type.
    template <typename Integer>
    CommandLine& Whole(std::string_view name, int64_t low, int64_t high, Integer& value) {
        return WholeInto(name, low, high, [&value](int64_t v) { value = static_cast<Integer>(v); });
    }
    // A number above `above` and at most `atMost`.
    CommandLine& Number(std::string_view name, double above, double atMost, double& value);
    // A number from `low` to `high`, both taken.
    CommandLine& NumberFrom(std::string_view name, double low, double high, double& value);
    CommandLine& Custom(std::string_view name, Take take);
    // Arguments that are no option ("-" included); without this, each is a mistake.
    CommandLine& Operands(std::vector<std::string>& operands);

    bool Parse(int argc, char** argv, std::string& error) const;

private:
    struct Option {
        std::string name;
        bool takesValue;
        Take take;
    };
    CommandLine& WholeInto(std::string_view name, int64_t low, int64_t high, std::function<void(int64_t)> set);
    CommandLine& NumberIn(std::string_view name, double low, bool lowTaken, double high, double& value);
    const Option* Find(std::string_view name) const;

    std::vector<Option> m_options;
    std::vector<std::string>* m_operands = nullptr;
};

}  // namespace cli
