#include "run/RunOptions.h"

#include <sstream>

#include "config/PortOpenSettings.h"
#include "core/CommandLine.h"
#include "core/DecimalText.h"

namespace quorvel {
namespace {

// The largest count an option takes: far beyond any run, and exact as a double.
constexpr double kMostCount = 1e15;

// 921600, 1e+15.
std::string FormatNumber(double value) {
    std::ostringstream text;
    text << value;
    return text.str();
}

// "1" ... "8", operator numbering: 0-7 out; nothing for anything else.
std::optional<int> PortNumberOf(const std::string& text) {
    const auto number = FiniteNumberOf(text);
    if (!number || *number < 1 || *number > 8 || *number != static_cast<int>(*number)) {
        return std::nullopt;
    }
    return static_cast<int>(*number) - 1;
}

// "1=2,2=1" into `options`: each receiver's source, and the ports named.
// Says why not, for a text that is no such map or names a receiver twice.
std::string ReadSourceMap(const std::string& text, RunOptions& options) {
    const std::string refused =
        "--expect takes own, pairs or a map such as 1=2,2=1, not \"" + text + "\"";
    PerPort<bool> given{};
    for (int port = 0; port < kPortCount; ++port) {
        options.expectedSource[port] = port;  // not named: itself
    }
    std::istringstream entries(text);
    std::string entry;
    options.mapped.clear();
    while (std::getline(entries, entry, ',')) {
        const auto equals = entry.find('=');
        const auto receiver = PortNumberOf(entry.substr(0, equals));
        const auto source =
            equals == std::string::npos ? std::nullopt : PortNumberOf(entry.substr(equals + 1));
        if (!receiver || !source) {
            return refused;
        }
        if (given[*receiver]) {
            return "--expect names Port" + std::to_string(*receiver + 1) + " twice, in \"" + text +
                   "\"";
        }
        given[*receiver] = true;
        options.expectedSource[*receiver] = *source;
        options.mapped.push_back(*receiver);
        options.mapped.push_back(*source);
    }
    if (options.mapped.empty()) {
        return refused;
    }
    options.expect = Expectation::Map;
    return {};
}

// Reads `text`, the value of option `name`, as a number from 0 to `most`
// into `value`; says why not otherwise.
std::string ReadNumber(const std::string& name, const std::string& text, double most,
                       double& value) {
    const auto number = FiniteNumberOf(text);
    if (!number || *number < 0 || *number > most) {
        return name + " takes a number from 0 to " + FormatNumber(most) + ", not \"" + text + "\"";
    }
    value = *number;
    return {};
}

// The records to start from, the ports, their rate, pattern and pace, and
// how long they send.
void AddWhatToTest(CommandLine& line, RunOptions& options) {
    line.StartGroup("What to test (the records as the GUI left them, or a configuration file)");
    line.AddValue("--config", "FILE",
                  "the port records from a Config > Save file, which\n"
                  "holds no choice of ports: give --ports with it",
                  [&options](const std::string& text) -> std::string {
                      options.configFile = text;
                      return {};
                  });
    line.AddValue("--ports", "LIST", "the ports to test, such as 1-8 or 1,3,5",
                  [&options](const std::string& text) -> std::string {
                      options.ports = ParsePortList(text);
                      return options.ports ? ""
                                           : "--ports takes ports 1 to 8 such as 1-8 or 1,3,5, "
                                             "not \"" +
                                                 text + "\"";
                  });
    line.AddValue("--baud", "RATE", "every port's line rate (110 ... 921600)",
                  [&options](const std::string& text) -> std::string {
                      double rate = 0;
                      if (std::string why = ReadNumber("--baud", text, 921600, rate);
                          !why.empty()) {
                          return why;
                      }
                      options.baud = static_cast<std::uint32_t>(rate);
                      return BaudIndexOf(*options.baud)
                                 ? ""
                                 : "--baud takes a rate of the settings' list (110 to 921600), "
                                   "not \"" +
                                       text + "\"";
                  });
    line.AddValue("--pattern", "KIND", "alphabets, quickbrown, user:TEXT or file:PATH",
                  [&options](const std::string& text) -> std::string {
                      options.pattern = text;
                      if (text == "user:" || text == "file:") {
                          return "--pattern " + text + " needs " +
                                 (text == "user:" ? "a text" : "a file") + " after the colon";
                      }
                      return text == "alphabets" || text == "quickbrown" ||
                                     text.starts_with("user:") || text.starts_with("file:")
                                 ? ""
                                 : "--pattern takes alphabets, quickbrown, user:TEXT or "
                                   "file:PATH, not \"" +
                                       text + "\"";
                  });
    line.AddValue("--delay", "MS",
                  "the pause after each packet (0 ... 9999; 0 by default,\n"
                  "where the GUI starts at 10: see below)",
                  [&options](const std::string& text) -> std::string {
                      double delay = 0;
                      std::string why = ReadNumber("--delay", text, 9999, delay);
                      options.delayMs = static_cast<int>(delay);
                      return why;
                  });
    line.AddValue(
        "--seconds", "N", "how long every port sends on its line (10 by default)",
        [&options](const std::string& text) -> std::string {
            if (std::string why = ReadNumber("--seconds", text, kMostCount, options.seconds);
                !why.empty()) {
                return why;
            }
            options.secondsGiven = true;
            return options.seconds > 0 ? "" : "--seconds takes a time above 0";
        });
    line.AddValue("--bytes", "N",
                  "how many bytes every port sends, instead of a time\n"
                  "(its last packet cut to fit)",
                  [&options](const std::string& text) -> std::string {
                      double bytes = 0;
                      if (std::string why = ReadNumber("--bytes", text, kMostCount, bytes);
                          !why.empty()) {
                          return why;
                      }
                      options.bytes = static_cast<std::uint64_t>(bytes);
                      return *options.bytes > 0 ? "" : "--bytes takes a count above 0";
                  });
}

// What each port is to receive from, and the least it must achieve.
void AddWhatPasses(CommandLine& line, RunOptions& options) {
    line.StartGroup("What passes");
    line.AddValue("--expect", "own|pairs|MAP",
                  "what each port receives from: itself, its pair\n"
                  "partner, or a map such as 1=2,2=1 (own by default)",
                  [&options](const std::string& text) -> std::string {
                      if (text == "own" || text == "pairs") {
                          options.expect = text == "own" ? Expectation::Own : Expectation::Pairs;
                          options.mapped.clear();
                          return {};
                      }
                      return ReadSourceMap(text, options);
                  });
    line.AddValue("--min-rate", "PCT", "the least share of the line rate received\n(95 by default)",
                  [&options](const std::string& text) {
                      return ReadNumber("--min-rate", text, 100, options.minRatePercent);
                  });
    line.AddValue("--max-errors", "N", "the most errors a port may have (0 by default)",
                  [&options](const std::string& text) {
                      double errors = 0;
                      std::string why = ReadNumber("--max-errors", text, kMostCount, errors);
                      options.maxErrors = static_cast<std::uint64_t>(errors);
                      return why;
                  });
}

void AddReports(CommandLine& line, RunOptions& options) {
    line.StartGroup("Reports");
    line.AddValue("--json", "FILE", "the results as JSON",
                  [&options](const std::string& text) -> std::string {
                      options.jsonFile = text;
                      return {};
                  });
    line.AddValue("--junit", "FILE", "the results as JUnit XML, a test case a port",
                  [&options](const std::string& text) -> std::string {
                      options.junitFile = text;
                      return {};
                  });
}

const char* const kRunFooter =
    "Each port sends its packets back to back (--delay 0): the run measures the line,\n"
    "and a pause after every packet would leave it idle (after each 39-byte packet,\n"
    "10 ms keeps a line below 4 KB/s, a third of 115200). The port's 4 KB queue\n"
    "paces it, so a port is never more than that ahead of its line.\n"
    "\n"
    "Exit status:\n"
    "  0    every port passed\n"
    "  1    a port failed, or a failure was reported while the run went on\n"
    "  2    the run could not happen (a bad option, a file that cannot be read or\n"
    "       written, no port opened)\n"
    "  130  the run was interrupted (Ctrl+C or SIGTERM): ended within a second,\n"
    "       its reports written and marked, never a pass\n";

// quorvel-run's command line, reading into `options`.
void AddRunOptions(CommandLine& line, RunOptions& options) {
    AddWhatToTest(line, options);
    AddWhatPasses(line, options);
    AddLineOptions(line, options.lines);
    AddReports(line, options);
    line.StartGroup("The card");
    AddCardOptions(line, options.card, false);
    line.StartGroup("About the program");
    line.AddHelpAndVersion();
    line.SetFooter(kRunFooter);
}

const char* const kRunDescription =
    "Runs a data test on the card's ports without a display and says, port by port,\n"
    "whether it passed.\n";

}  // namespace

std::optional<std::vector<int>> ParsePortList(const std::string& text) {
    std::vector<int> ports;
    std::istringstream items(text);
    std::string item;
    while (std::getline(items, item, ',')) {
        const auto dash = item.find('-');
        const auto first = PortNumberOf(item.substr(0, dash));
        const auto last = dash == std::string::npos ? first : PortNumberOf(item.substr(dash + 1));
        if (!first || !last || *first > *last) {
            return std::nullopt;
        }
        for (int port = *first; port <= *last; ++port) {
            ports.push_back(port);
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
    CommandLine line("quorvel-run", kRunDescription);
    AddRunOptions(line, options);
    const CommandLineReading reading = line.Read(args);
    options.help = options.card.help = reading.help;
    options.version = options.card.version = reading.version;
    parsed.error = reading.error;
    if (parsed.error.empty() && !reading.rest.empty()) {
        parsed.error = "unknown option " + reading.rest.front();
    }
    if (parsed.error.empty()) {
        parsed.error = CheckCardOptions(options.card, false);
    }
    if (parsed.error.empty() && options.bytes && options.secondsGiven) {
        parsed.error =
            "--bytes and --seconds cannot go together: a port sends for a time or a "
            "count of bytes";
    }
    if (parsed.error.empty()) {
        parsed.error = CheckLineOptions(options);
    }
    for (int port = 0; port < kPortCount; ++port) {
        if (options.expect == Expectation::Own) {
            options.expectedSource[port] = port;
        } else if (options.expect == Expectation::Pairs) {
            options.expectedSource[port] = port ^ 1;
        }
    }
    return parsed;
}

std::string RunHelp() {
    RunOptions unused;
    CommandLine line("quorvel-run", kRunDescription);
    AddRunOptions(line, unused);
    return line.Help();
}

}  // namespace quorvel
