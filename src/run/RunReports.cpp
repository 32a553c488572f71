#include "run/RunReports.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include <nlohmann/json.hpp>

#include "engine/LineStatistics.h"
#include "run/RunLines.h"

namespace quorvel {
namespace {

using Json = nlohmann::ordered_json;

std::string Fixed(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", value);
    return text;
}

// A figure as the table and the reports give it: to two decimals.
double TwoDecimals(double value) {
    return std::round(value * 100.0) / 100.0;
}

// The length of the UTF-8 character that starts at `at`; 0 where none does.
std::size_t Utf8Length(const std::string& text, std::size_t at) {
    const auto byte = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    const std::size_t length = lead < 0x80             ? 1
                               : (lead & 0xE0) == 0xC0 ? 2
                               : (lead & 0xF0) == 0xE0 ? 3
                               : (lead & 0xF8) == 0xF0 ? 4
                                                       : 0;
    if (length == 0 || at + length > text.size()) {
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) {
            return 0;
        }
    }
    return length;
}

// `text` as XML character data: the markup characters escaped, and what XML
// cannot hold (control characters, bytes that are not UTF-8) as '?', so the
// report stays XML whatever a file name or a driver's message holds.
std::string XmlText(const std::string& text) {
    std::string escaped;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = Utf8Length(text, at);
        const char c = text[at];
        if (length > 1) {
            escaped.append(text, at, length);
        } else if (length == 0 ||
                   (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r')) {
            escaped += '?';
        } else if (c == '&') {
            escaped += "&amp;";
        } else if (c == '<') {
            escaped += "&lt;";
        } else if (c == '>') {
            escaped += "&gt;";
        } else if (c == '"') {
            escaped += "&quot;";
        } else {
            escaped += c;
        }
        at += std::max<std::size_t>(length, 1);
    }
    return escaped;
}

Json ExpectJson(const RunOptions& options) {
    if (options.expect == Expectation::Own) {
        return "own";
    }
    if (options.expect == Expectation::Pairs) {
        return "pairs";
    }
    Json map = Json::object();
    for (std::size_t i = 0; i + 1 < options.mapped.size(); i += 2) {
        map[PortName(options.mapped[i])] = PortName(options.mapped[i + 1]);
    }
    return map;
}

// Every option in force; an option not given that the records decide port by
// port (rate, pattern) is null here, and each port gives its own.
// --flow as the report gives it: "rtscts", "none", or null for the records' own.
Json FlowJson(const RunLineOptions& lines) {
    if (!lines.flow) {
        return nullptr;
    }
    return *lines.flow == RunLineOptions::Flow::RtsCts ? "rtscts" : "none";
}

// "Framing 0, Parity 1, ...": a port's line figures on one line.
std::string LineFiguresText(const PortLineFigures& lines) {
    const std::vector<std::string> cells = LineFigureCells(lines, "");
    std::string text;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        text += (i == 0 ? "" : ", ") + LineFigureTitles()[i] + " " + cells[i];
    }
    return text + "\n";
}

Json OptionsJson(const RunResult& result, const RunOptions& options) {
    Json ports = Json::array();
    for (const PortResult& port : result.ports) {
        ports.push_back(PortName(port.figures.port));
    }
    Json card = nullptr;
    if (options.card.simulated) {
        Json faults = Json::array();
        for (const CardFault& fault : options.card.faults) {
            faults.push_back(CardFaultText(fault));
        }
        card = {{"simulated", DescribeCard(options.card)}, {"faults", faults}};
    }
    return {
        {"config", options.configFile.empty() ? Json(nullptr) : Json(options.configFile)},
        {"ports", ports},
        {"baud", options.baud ? Json(*options.baud) : Json(nullptr)},
        {"pattern", options.pattern ? Json(*options.pattern) : Json(nullptr)},
        {"seconds", options.bytes ? Json(nullptr) : Json(TwoDecimals(options.seconds))},
        {"bytes", options.bytes ? Json(*options.bytes) : Json(nullptr)},
        {"delayMs", options.delayMs.value_or(kDefaultRunDelayMs)},
        {"expect", ExpectJson(options)},
        {"minRatePercent", TwoDecimals(options.minRatePercent)},
        {"maxErrors", options.maxErrors},
        {"maxLineErrors", options.lines.maxLineErrors},
        {"flow", FlowJson(options.lines)},
        {"holdReceiveSeconds", TwoDecimals(options.lines.holdReceiveSeconds)},
        {"card", card},
    };
}

// The UART's line errors and the changes of the input lines; null for a
// device without modem lines.
Json LinesJson(const PortLineFigures& lines) {
    if (!lines.available) {
        return nullptr;
    }
    const LineCounts& c = lines.counts;
    return {
        {"errors", c.Errors()},
        {"framing", c.framing},
        {"parity", c.parity},
        {"overrun", c.overrun},
        {"bufferOverrun", c.bufferOverrun},
        {"breaks", c.breaks},
        {"ctsChanges", c.ctsChanges},
        {"dsrChanges", c.dsrChanges},
        {"dcdChanges", c.dcdChanges},
        {"riChanges", c.riChanges},
    };
}

// Both sides of the balance, each adding up: expected = verified +
// corrupted + lost + cut, received = verified + corrupted + extra +
// unrecognised; and the bit error rate of what was compared.
Json BalanceJson(const CheckCounts& c) {
    return {
        {"expected", c.expected},
        {"received", c.received},
        {"verified", c.verified},
        {"corrupted", c.corrupted},
        {"corruptedBits", c.corruptedBits},
        {"lost", c.lost},
        {"extra", c.extra},
        {"unrecognised", c.unrecognised},
        {"cut", c.cut},
        {"bitsChecked", c.bitsChecked},
        {"bitErrorRate", c.BitErrorRate()},
    };
}

Json PortJson(const PortResult& port) {
    const PortStatistics& f = port.figures;
    const CheckCounts& c = f.counts;
    Json json = {
        {"port", PortName(f.port)},
        {"com", f.com},
        {"verdict", port.passed ? "PASS" : "FAIL"},
        {"reason", port.reason},
        {"source", f.source},
        {"expectedSource", PortName(port.expectedSource)},
        {"seconds", TwoDecimals(port.seconds)},
        {"sent", f.sent},
        {"received", c.received},
        {"verified", c.verified},
        {"corrupted", c.corrupted},
        {"lost", c.lost},
        {"extra", c.extra},
        {"unrecognised", c.unrecognised},
        {"errors", c.Errors()},
        {"receivedPercent",
         port.receivedPercent ? Json(TwoDecimals(*port.receivedPercent)) : Json(nullptr)},
        {"firstError", UtcTimeText(f.firstErrorMs)},
        {"state", f.state},  // how the port's run ended: "stopped on time", ...
    };
    // The card's own count of its faults, for a run on the simulated card.
    if (port.card) {
        json["card"] = {
            {"corrupted", port.card->corrupted}, {"dropped", port.card->dropped},
            {"overrun", port.card->overrun},     {"framing", port.card->framing},
            {"parity", port.card->parity},       {"breaks", port.card->breaks},
        };
    }
    json["baud"] = port.baud;
    json["pattern"] = port.pattern;
    json["bytesAsked"] = port.bytesAsked ? Json(*port.bytesAsked) : Json(nullptr);
    json["rules"] = port.verdict.Rules();  // the rules it failed: "rate,errors"
    json["reported"] = port.reported;
    // The UART's own count, after the figures older readers know.
    json["lines"] = LinesJson(f.lines);
    json["balance"] = BalanceJson(c);
    json["latencyMs"] = f.latency.samples == 0 ? Json(nullptr)
                                               : Json{{"samples", f.latency.samples},
                                                      {"median", f.latency.medianMs},
                                                      {"p99", f.latency.p99Ms}};
    return json;
}

// A port's figures and every reason it failed, a line each: a failure's text.
std::string FailureDetails(const PortResult& port) {
    const PortStatistics& f = port.figures;
    std::string text = "sent " + std::to_string(f.sent) + ", received " +
                       std::to_string(f.counts.received) + ", verified " +
                       std::to_string(f.counts.verified) + ", errors " +
                       std::to_string(f.counts.Errors()) + "\nsource " + f.source + ", expected " +
                       PortName(port.expectedSource) + "\nrate " +
                       (port.receivedPercent ? Fixed(*port.receivedPercent) + "%" : "-") + " of " +
                       std::to_string(port.baud) + " bit/s\nline errors " +
                       LineErrorsText(f.lines) + "\nbalance " + BalanceText(f.counts) + "\n";
    for (const VerdictFailure& failure : port.verdict.failures) {
        text += std::string(RuleName(failure.rule)) + ": " + failure.reason + "\n";
    }
    return text;
}

std::string Lines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += line + "\n";
    }
    return text;
}

std::string TestCase(const std::string& name, double seconds, const std::string& inside) {
    std::string xml = "  <testcase classname=\"quorvel-run\" name=\"" + XmlText(name) +
                      "\" time=\"" + Fixed(seconds) + "\"";
    return xml + (inside.empty() ? "/>\n" : ">\n" + inside + "  </testcase>\n");
}

// <failure> or <error>, with its type, message and details.
std::string Fault(const char* element, const std::string& type, const std::string& message,
                  const std::string& details) {
    return std::string("    <") + element + " type=\"" + XmlText(type) + "\" message=\"" +
           XmlText(message) + "\">" + XmlText(details) + "</" + element + ">\n";
}

// "2026-12-07T10:04:12": the start in UTC, as the JUnit schema has its
// timestamp (no zone).
std::string JUnitTimestamp(const std::string& started) {
    return started.empty() || started.back() != 'Z' ? started
                                                    : started.substr(0, started.size() - 1);
}

}  // namespace

std::string ResultJson(const RunResult& result, const RunOptions& options) {
    Json json = {
        {"program", "quorvel-run"},
        {"version", options.programVersion},
        {"started", result.started},
        {"durationSeconds", TwoDecimals(result.seconds)},
        {"host", result.host},
        {"verdict", result.Verdict()},
        {"interrupted", result.interrupted},
        {"reported", result.reported},
        {"notes", result.notes},
        {"minRatePercent", TwoDecimals(options.minRatePercent)},
        {"maxErrors", options.maxErrors},
        {"maxLineErrors", options.lines.maxLineErrors},
        {"options", OptionsJson(result, options)},
        {"ports", Json::array()},
    };
    for (const PortResult& port : result.ports) {
        json["ports"].push_back(PortJson(port));
    }
    // A text that is not UTF-8 (a file name, a driver's message) keeps its
    // place with U+FFFD where its bad bytes were, and the report stays JSON.
    return json.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

std::string ResultJUnit(const RunResult& result, const RunOptions& options) {
    std::string cases;
    int tests = 0;
    int failures = 0;
    int errors = 0;
    for (const PortResult& port : result.ports) {
        ++tests;
        std::string inside;
        if (!port.passed) {
            ++failures;
            inside = Fault("failure", port.verdict.Rules(), port.reason, FailureDetails(port));
        }
        // The balance and the UART's counts as the test case's output, which
        // CI systems show beside it (their schema has no other place for a
        // case's figures).
        std::string output = "balance " + BalanceText(port.figures.counts) + "\n";
        if (port.figures.lines.available) {
            output += LineFiguresText(port.figures.lines);
        }
        inside += "    <system-out>" + XmlText(output) + "</system-out>\n";
        cases += TestCase(port.label, port.seconds, inside);
    }
    // Failures no port's verdict holds are a test case of their own, there
    // only when there were some; so is an interruption.
    if (!result.reportedByNoPort.empty()) {
        ++tests;
        ++failures;
        const std::string message = result.reportedByNoPort.front() +
                                    (result.reportedByNoPort.size() > 1 ? " (and more)" : "");
        cases += TestCase("reported failures", result.seconds,
                          Fault("failure", "reported", message, Lines(result.reportedByNoPort)));
    }
    if (result.interrupted) {
        ++tests;
        ++errors;
        const std::string message = "interrupted after " + Fixed(result.seconds) +
                                    " s: judged on what had arrived, never a pass";
        cases += TestCase("interrupted", result.seconds,
                          Fault("error", "interrupted", message, message + "\n"));
    }
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    xml += "<testsuite name=\"quorvel-run\" tests=\"" + std::to_string(tests) + "\" failures=\"" +
           std::to_string(failures) + "\" errors=\"" + std::to_string(errors) +
           "\" skipped=\"0\" time=\"" + Fixed(result.seconds) + "\" timestamp=\"" +
           XmlText(JUnitTimestamp(result.started)) + "\" hostname=\"" +
           XmlText(result.host.empty() ? "localhost" : result.host) + "\">\n";
    xml += "  <properties>\n";
    for (const auto& [name, value] :
         {std::pair<std::string, std::string>{"version", options.programVersion},
          {"verdict", result.Verdict()}}) {
        xml += "    <property name=\"" + name + "\" value=\"" + XmlText(value) + "\"/>\n";
    }
    xml += "  </properties>\n" + cases;
    xml += "  <system-out>" + XmlText(result.log) + "</system-out>\n";
    return xml + "</testsuite>\n";
}

}  // namespace quorvel
