#include "run/RunResult.h"

#include <cstdio>

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

std::string JsonText(const std::string& text) {
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            quoted += escape;
        } else {
            quoted += c;
        }
    }
    return quoted + "\"";
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

// ["a", "b"]: each text as a JSON string.
std::string JsonList(const std::vector<std::string>& texts) {
    std::string list = "[";
    for (std::size_t i = 0; i < texts.size(); ++i) {
        list += (i == 0 ? "" : ", ") + JsonText(texts[i]);
    }
    return list + "]";
}

// The card's own count of its faults, for a run on the simulated card.
std::string CardJson(const std::optional<CardFaultCounts>& card) {
    if (!card) {
        return {};
    }
    return ", \"card\": {\"corrupted\": " + std::to_string(card->corrupted) +
           ", \"dropped\": " + std::to_string(card->dropped) +
           ", \"overrun\": " + std::to_string(card->overrun) + "}";
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
    std::string json = "{\n  \"verdict\": " + JsonText(result.Passed() ? "PASS" : "FAIL") +
                       ",\n  \"interrupted\": " + (result.interrupted ? "true" : "false") +
                       ",\n  \"reported\": " + JsonList(result.reported) +
                       ",\n  \"minRatePercent\": " + Fixed(options.minRatePercent) +
                       ",\n  \"maxErrors\": " + std::to_string(options.maxErrors) +
                       ",\n  \"ports\": [";
    for (std::size_t i = 0; i < result.ports.size(); ++i) {
        const PortResult& port = result.ports[i];
        const PortStatistics& f = port.figures;
        const CheckCounts& c = f.counts;
        json +=
            std::string(i == 0 ? "\n" : ",\n") + "    {\"port\": " + JsonText(PortName(f.port)) +
            ", \"com\": " + std::to_string(f.com) +
            ", \"verdict\": " + JsonText(port.passed ? "PASS" : "FAIL") +
            ", \"reason\": " + JsonText(port.reason) + ", \"source\": " + JsonText(f.source) +
            ", \"expectedSource\": " + JsonText(PortName(port.expectedSource)) +
            ", \"seconds\": " + Fixed(port.seconds) + ", \"sent\": " + std::to_string(f.sent) +
            ", \"received\": " + std::to_string(c.received) +
            ", \"verified\": " + std::to_string(c.verified) +
            ", \"corrupted\": " + std::to_string(c.corrupted) +
            ", \"lost\": " + std::to_string(c.lost) + ", \"extra\": " + std::to_string(c.extra) +
            ", \"unrecognised\": " + std::to_string(c.unrecognised) +
            ", \"errors\": " + std::to_string(c.Errors()) +
            ", \"receivedPercent\": " + Fixed(port.receivedPercent) +
            ", \"firstError\": " + JsonText(UtcTimeText(f.firstErrorMs)) + CardJson(port.card) +
            "}";
    }
    return json + "\n  ]\n}\n";
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
        if (port.passed) {
            xml += "/>\n";
        } else {
            xml += ">\n    <failure message=\"" + XmlText(port.reason) + "\"/>\n  </testcase>\n";
        }
    }
    return xml + "</testsuite>\n";
}

}  // namespace quorvel
