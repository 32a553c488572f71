#include "run/RunOptions.h"

#include <cmath>
#include <cstdlib>
#include <sstream>

#include "config/PortOpenSettings.h"

namespace quorvel {
namespace {

// A finite number in `text`, whole and nothing else; nothing otherwise.
std::optional<double> NumberOf(const std::string& text) {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

// The largest count an option takes: far beyond any run, and exact as a double.
constexpr double kMostCount = 1e15;

// 921600, 1e+15.
std::string FormatNumber(double value) {
    std::ostringstream text;
    text << value;
    return text.str();
}

std::optional<std::array<int, 8>> ParseSourceMap(const std::string& text) {
    std::array<int, 8> map{};
    for (int port = 0; port < 8; ++port) {
        map[static_cast<std::size_t>(port)] = port;
    }
    std::istringstream entries(text);
    std::string entry;
    bool any = false;
    while (std::getline(entries, entry, ',')) {
        const auto equals = entry.find('=');
        const auto receiver = NumberOf(entry.substr(0, equals));
        const auto source =
            equals == std::string::npos ? std::nullopt : NumberOf(entry.substr(equals + 1));
        if (!receiver || !source || *receiver < 1 || *receiver > 8 || *source < 1 || *source > 8 ||
            *receiver != static_cast<int>(*receiver) || *source != static_cast<int>(*source)) {
            return std::nullopt;
        }
        map[static_cast<std::size_t>(*receiver - 1)] = static_cast<int>(*source) - 1;
        any = true;
    }
    return any ? std::optional(map) : std::nullopt;
}

}  // namespace

std::optional<std::vector<int>> ParsePortList(const std::string& text) {
    std::vector<int> ports;
    std::istringstream items(text);
    std::string item;
    while (std::getline(items, item, ',')) {
        const auto dash = item.find('-');
        const auto first = NumberOf(item.substr(0, dash));
        const auto last = dash == std::string::npos ? first : NumberOf(item.substr(dash + 1));
        if (!first || !last || *first < 1 || *last > 8 || *first > *last ||
            *first != static_cast<int>(*first) || *last != static_cast<int>(*last)) {
            return std::nullopt;
        }
        for (int port = static_cast<int>(*first); port <= static_cast<int>(*last); ++port) {
            ports.push_back(port - 1);
        }
    }
    if (ports.empty()) {
        return std::nullopt;
    }
    return ports;
}

ParsedRunOptions ParseRunOptions(const std::vector<std::string>& args) {
    ParsedRunOptions parsed;
    RunOptions& options = parsed.options;
    const ParsedCardOptions card = ParseCardOptions(args, false);
    options.card = card.options;
    options.help = card.options.help;
    options.version = card.options.version;
    std::string& error = parsed.error;
    error = card.error;
    const std::vector<std::string>& rest = card.unknown;
    for (std::size_t i = 0; i < rest.size() && error.empty(); ++i) {
        const std::string& arg = rest[i];
        std::string text;
        // "--name=value" or "--name value".
        auto value = [&](const std::string& name) {
            const OptionRead read = ReadOptionValue(rest, i, name, text);
            if (read == OptionRead::Missing) {
                error = name + " needs a value";
            }
            return read != OptionRead::NotThis;
        };
        // A number from 0 to `most`; 0 with the error set otherwise.
        auto number = [&](const char* what, double most) {
            if (!error.empty()) {
                return 0.0;  // the option had no value
            }
            const auto n = NumberOf(text);
            if (!n || *n < 0 || *n > most) {
                error = std::string(what) + " takes a number from 0 to " + FormatNumber(most) +
                        ", not \"" + text + "\"";
                return 0.0;
            }
            return *n;
        };
        if (value("--config")) {
            options.configFile = text;
        } else if (value("--ports")) {
            options.ports = ParsePortList(text);
            if (!options.ports) {
                error = "--ports takes ports 1 to 8 such as 1-8 or 1,3,5, not \"" + text + "\"";
            }
        } else if (value("--baud")) {
            const double rate = number("--baud", 921600);
            if (error.empty() && !BaudIndexOf(static_cast<std::uint32_t>(rate))) {
                error = "--baud takes a rate of the settings' list (110 to 921600), not \"" + text +
                        "\"";
            }
            options.baud = static_cast<std::uint32_t>(rate);
        } else if (value("--pattern")) {
            if (text != "alphabets" && text != "quickbrown" && !text.starts_with("user:") &&
                !text.starts_with("file:")) {
                error = "--pattern takes alphabets, quickbrown, user:TEXT or file:PATH, not \"" +
                        text + "\"";
            }
            options.pattern = text;
        } else if (value("--delay")) {
            options.delayMs = static_cast<int>(number("--delay", 9999));
        } else if (value("--seconds")) {
            options.seconds = number("--seconds", kMostCount);
            if (error.empty() && options.seconds <= 0) {
                error = "--seconds takes a time above 0";
            }
        } else if (value("--bytes")) {
            options.bytes = static_cast<std::uint64_t>(number("--bytes", kMostCount));
            if (error.empty() && *options.bytes == 0) {
                error = "--bytes takes a count above 0";
            }
        } else if (value("--expect")) {
            if (text == "own") {
                options.expect = Expectation::Own;
            } else if (text == "pairs") {
                options.expect = Expectation::Pairs;
            } else if (const auto map = ParseSourceMap(text)) {
                options.expect = Expectation::Map;
                options.expectedSource = *map;
            } else {
                error = "--expect takes own, pairs or a map such as 1=2,2=1, not \"" + text + "\"";
            }
        } else if (value("--min-rate")) {
            options.minRatePercent = number("--min-rate", 100);
        } else if (value("--max-errors")) {
            options.maxErrors = static_cast<std::uint64_t>(number("--max-errors", kMostCount));
        } else if (value("--json")) {
            options.jsonFile = text;
        } else if (value("--junit")) {
            options.junitFile = text;
        } else {
            error = "unknown option " + arg;
        }
    }
    for (int port = 0; port < 8; ++port) {
        if (options.expect == Expectation::Own) {
            options.expectedSource[static_cast<std::size_t>(port)] = port;
        } else if (options.expect == Expectation::Pairs) {
            options.expectedSource[static_cast<std::size_t>(port)] = port ^ 1;
        }
    }
    return parsed;
}

std::string RunHelp() {
    return "Usage: quorvel-run [options]\n"
           "Runs a data test on the card's ports without a display and says, port by port,\n"
           "whether it passed.\n\n"
           "What to test (the records as the GUI left them, or a configuration file):\n"
           "  --config FILE              the port records from a Config > Save file\n"
           "  --ports LIST               the ports to test, such as 1-8 or 1,3,5\n"
           "  --baud RATE                every port's line rate (110 ... 921600)\n"
           "  --pattern KIND             alphabets, quickbrown, user:TEXT or file:PATH\n"
           "  --delay MS                 the pause after each packet (0 ... 9999)\n"
           "  --seconds N                how long every port sends (10 by default)\n"
           "  --bytes N                  how much every port sends instead\n\n"
           "What passes:\n"
           "  --expect own|pairs|MAP     what each port receives from: itself, its pair\n"
           "                             partner, or a map such as 1=2,2=1 (own by default)\n"
           "  --min-rate PCT             the least share of the line rate received\n"
           "                             (95 by default)\n"
           "  --max-errors N             the most errors a port may have (0 by default)\n\n"
           "Reports:\n"
           "  --json FILE                the results as JSON\n"
           "  --junit FILE               the results as JUnit XML, a test case a port\n\n"
           "The card (see quorvel --help):\n"
           "  --simulated-card[=COM<n>], --wiring=plug|pairs|open, --fault PORT:KIND[=VALUE]\n"
           "                             with KIND stall, bit-errors=RATE, drop-every=N or\n"
           "                             unplug-after=SECONDS\n\n"
           "  --help, --version\n\n"
           "Exit status: 0 every port passed, 1 a port failed, 2 the run could not happen.\n";
}

}  // namespace quorvel
