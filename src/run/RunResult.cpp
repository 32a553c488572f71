#include "run/RunResult.h"

#include <cmath>
#include <cstdio>

#include <nlohmann/json.hpp>

#include "run/RunLines.h"

namespace quorvel {
namespace {

std::string Count(std::uint64_t count, const char* kind) {
    return std::to_string(count) + (count == 1 ? " byte " : " bytes ") + kind;
}

// "37 bytes lost, 2 bytes corrupted".
std::string ErrorsText(const CheckCounts& counts) {
    std::string text;
    const auto add = [&](std::uint64_t count, const char* kind) {
        if (count > 0) {
            text += (text.empty() ? "" : ", ") + Count(count, kind);
        }
    };
    add(counts.lost, "lost");
    add(counts.corrupted, "corrupted");
    add(counts.extra, "extra");
    add(counts.unrecognised, "unrecognised");
    return text;
}

std::string Percent(double value) {
    char text[16];
    std::snprintf(text, sizeof text, "%.0f%%", value);
    return text;
}

std::string Fixed(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", value);
    return text;
}

std::string XmlText(const std::string& text) {
    std::string escaped;
    for (const char c : text) {
        switch (c) {
            case '&':
                escaped += "&amp;";
                break;
            case '<':
                escaped += "&lt;";
                break;
            case '>':
                escaped += "&gt;";
                break;
            case '"':
                escaped += "&quot;";
                break;
            default:
                escaped += c;
        }
    }
    return escaped;
}

// A figure as the table and the reports give it: to two decimals.
double TwoDecimals(double value) {
    return std::round(value * 100.0) / 100.0;
}

// The UART's line errors and the changes of the input lines; null for a
// device without modem lines.
nlohmann::ordered_json LinesJson(const PortLineFigures& lines) {
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

nlohmann::ordered_json PortJson(const PortResult& port) {
    const PortStatistics& f = port.figures;
    const CheckCounts& c = f.counts;
    nlohmann::ordered_json json = {
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
        {"receivedPercent", TwoDecimals(port.receivedPercent)},
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
    // The UART's own count, after the figures older readers know.
    json["lines"] = LinesJson(f.lines);
    return json;
}

}  // namespace

std::string PortName(int port) {
    return "Port" + std::to_string(port + 1);
}

bool RunResult::Passed() const {
    if (!reported.empty()) {
        return false;
    }
    for (const PortResult& port : ports) {
        if (!port.passed) {
            return false;
        }
    }
    return !ports.empty();
}

void Judge(PortResult& port, const RunOptions& options) {
    std::vector<std::string> reasons;
    const PortStatistics& f = port.figures;
    const std::uint8_t expected = static_cast<std::uint8_t>(1u << port.expectedSource);
    if (!port.opened) {
        reasons.push_back("the port did not open");
    } else if (f.counts.received == 0) {
        reasons.push_back("nothing received");
    } else if (f.source == "unrecognised") {
        reasons.push_back("received nothing any port sent, expected " +
                          PortName(port.expectedSource));
    } else if ((f.sources & expected) == 0) {
        reasons.push_back("received from " + SourceNames(f.sources) + ", expected " +
                          PortName(port.expectedSource));
    }
    if (port.opened && f.counts.Errors() > options.maxErrors) {
        reasons.push_back(ErrorsText(f.counts));
    }
    JudgeLines(port, options.lines, reasons);
    if (port.opened) {
        if (port.receivedPercent < options.minRatePercent) {
            reasons.push_back("rate " + Percent(port.receivedPercent) + " < " +
                              Percent(options.minRatePercent));
        }
    }
    port.passed = reasons.empty();
    port.reason.clear();
    for (const std::string& reason : reasons) {
        port.reason += (port.reason.empty() ? "" : "; ") + reason;
    }
}

std::string ResultTable(const RunResult& result) {
    std::string table =
        "Port   COM    Sent       Received   Verified   Errors   Rate% Source / Verdict\n";
    for (const PortResult& port : result.ports) {
        const PortStatistics& f = port.figures;
        char line[256];
        std::snprintf(line, sizeof line, "%-6s COM%-3d %-10llu %-10llu %-10llu %-8llu %5.0f ",
                      PortName(f.port).c_str(), f.com, static_cast<unsigned long long>(f.sent),
                      static_cast<unsigned long long>(f.counts.received),
                      static_cast<unsigned long long>(f.counts.verified),
                      static_cast<unsigned long long>(f.counts.Errors()), port.receivedPercent);
        table += line;
        table += f.source + ": ";
        table += port.passed ? "PASS" : "FAIL: " + port.reason;
        table += "\n";
    }
    for (const std::string& failure : result.reported) {
        table += "Reported: " + failure + "\n";
    }
    table += result.Passed() ? "PASS" : "FAIL";
    table += result.interrupted ? " (interrupted)\n" : "\n";
    return table;
}

std::string ResultJson(const RunResult& result, const RunOptions& options) {
    nlohmann::ordered_json json = {
        {"verdict", result.Passed() ? "PASS" : "FAIL"},
        {"interrupted", result.interrupted},
        {"reported", result.reported},
        {"minRatePercent", TwoDecimals(options.minRatePercent)},
        {"maxErrors", options.maxErrors},
        {"maxLineErrors", options.lines.maxLineErrors},
        {"ports", nlohmann::ordered_json::array()},
    };
    for (const PortResult& port : result.ports) {
        json["ports"].push_back(PortJson(port));
    }
    // A text that is not UTF-8 (a file name, a driver's message) keeps its
    // place with U+FFFD where its bad bytes were, and the report stays JSON.
    return json.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

std::string ResultJUnit(const RunResult& result) {
    int failures = 0;
    double seconds = 0.0;
    for (const PortResult& port : result.ports) {
        failures += port.passed ? 0 : 1;
        seconds = std::max(seconds, port.seconds);
    }
    // Failures reported while the run went on belong to no port: they are a
    // test case of their own, there only when there were some.
    const bool reported = !result.reported.empty();
    failures += reported ? 1 : 0;
    std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuite name=\"quorvel-run\" "
        "tests=\"" +
        std::to_string(result.ports.size() + (reported ? 1 : 0)) + "\" failures=\"" +
        std::to_string(failures) + "\" errors=\"0\" time=\"" + Fixed(seconds) + "\">\n";
    if (reported) {
        std::string text;
        for (const std::string& failure : result.reported) {
            text += (text.empty() ? "" : "; ") + failure;
        }
        xml +=
            "  <testcase classname=\"quorvel-run\" name=\"reported failures\">\n"
            "    <failure message=\"" +
            XmlText(text) + "\"/>\n  </testcase>\n";
    }
    for (const PortResult& port : result.ports) {
        const std::string name =
            PortName(port.figures.port) + " (COM" + std::to_string(port.figures.com) + ")";
        xml += "  <testcase classname=\"quorvel-run\" name=\"" + XmlText(name) + "\" time=\"" +
               Fixed(port.seconds) + "\"";
        // The line figures as the test case's properties.
        const std::string properties = LinePropertiesXml(port.figures.lines);
        if (port.passed && properties.empty()) {
            xml += "/>\n";
        } else {
            xml += ">\n" + properties;
            if (!port.passed) {
                xml += "    <failure message=\"" + XmlText(port.reason) + "\"/>\n";
            }
            xml += "  </testcase>\n";
        }
    }
    return xml + "</testsuite>\n";
}

}  // namespace quorvel
