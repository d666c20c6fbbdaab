#include "platform/programinfo/CommandLine.h"

#include <charconv>
#include <cmath>

namespace cli {

std::optional<int64_t> WholeNumber(std::string_view text) {
    int64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
    return value;
}

std::optional<double> DecimalNumber(std::string_view text) {
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

namespace {

// "1e9" reads better than "1000000000.000000" in a message; whole numbers as they are.
std::string Figure(double v) {
    const int exponent = static_cast<int>(std::lround(std::log10(std::fabs(v) + 1)));
    if (std::fabs(v) >= 1e6 && std::pow(10.0, exponent) == std::fabs(v))
        return (v < 0 ? "-1e" : "1e") + std::to_string(exponent);
    char text[32];
    const auto r = std::to_chars(text, text + sizeof text, v);
    return std::string(text, r.ptr);
}

}  // namespace

CommandLine& CommandLine::Flag(std::string_view name, bool& on) {
    return Flag(name, [&on] { on = true; });
}

CommandLine& CommandLine::Flag(std::string_view name, std::function<void()> on) {
    m_options.push_back({std::string(name), false, [on = std::move(on)](std::string_view) {
                             on();
                             return std::optional<std::string>();
                         }});
    return *this;
}

CommandLine& CommandLine::Text(std::string_view name, std::string& value) {
    return Custom(name, [&value](std::string_view v) {
        value = v;
        return std::optional<std::string>();
    });
}

CommandLine& CommandLine::Texts(std::string_view name, std::vector<std::string>& values) {
    return Custom(name, [&values](std::string_view v) {
        values.emplace_back(v);
        return std::optional<std::string>();
    });
}

CommandLine& CommandLine::WholeInto(std::string_view name, int64_t low, int64_t high,
                                    std::function<void(int64_t)> set) {
    return Custom(name, [low, high, set = std::move(set), name = std::string(name)](std::string_view v) {
        const auto n = WholeNumber(v);
        if (!n || *n < low || *n > high)
            return std::optional<std::string>(name + " wants a whole number from " + std::to_string(low) + " to " +
                                              std::to_string(high) + ", not " + Quoted(v));
        set(*n);
        return std::optional<std::string>();
    });
}

CommandLine& CommandLine::Number(std::string_view name, double above, double atMost, double& value) {
    return NumberIn(name, above, false, atMost, value);
}

CommandLine& CommandLine::NumberFrom(std::string_view name, double low, double high, double& value) {
    return NumberIn(name, low, true, high, value);
}

CommandLine& CommandLine::NumberIn(std::string_view name, double low, bool lowTaken, double high, double& value) {
    const std::string range = lowTaken ? "from " + Figure(low) + " to " + Figure(high)
                                       : "above " + Figure(low) + " and at most " + Figure(high);
    return Custom(name, [=, &value, name = std::string(name)](std::string_view v) {
        const auto n = DecimalNumber(v);
        if (!n || *n < low || (!lowTaken && *n == low) || *n > high)
            return std::optional<std::string>(name + " wants a number " + range + ", not " + Quoted(v));
        value = *n;
        return std::optional<std::string>();
    });
}

CommandLine& CommandLine::Custom(std::string_view name, Take take) {
    m_options.push_back({std::string(name), true, std::move(take)});
    return *this;
}

CommandLine& CommandLine::Operands(std::vector<std::string>& operands) {
    m_operands = &operands;
    return *this;
}

const CommandLine::Option* CommandLine::Find(std::string_view name) const {
    for (const Option& o : m_options)
        if (o.name == name) return &o;
    return nullptr;
}

bool CommandLine::Parse(int argc, char** argv, std::string& error) const {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "-" || !arg.starts_with('-')) {
            if (!m_operands) return error = "unexpected argument " + Quoted(arg), false;
            m_operands->emplace_back(arg);
            continue;
        }
        const Option* option = Find(arg);
        if (!option) return error = "unknown option " + Quoted(arg), false;
        if (option->takesValue && i + 1 >= argc) return error = std::string(arg) + " wants a value", false;
        const std::string_view value = option->takesValue ? std::string_view(argv[++i]) : std::string_view();
        if (auto refused = option->take(value)) return error = std::move(*refused), false;
    }
    return true;
}

}  // namespace cli
