// The configuration text: the eight ports' lines written, and read back the
// way formatted stream input reads them, with what is plainly not such a text
// refused before any record changes.
#include <algorithm>
#include <array>
#include <cstdio>
#include <optional>

#include "config/ConfigFile.h"
#include "config/PortFields.h"

namespace quorvel {
namespace {

constexpr std::size_t kValuesPerPort = 15;

// A field of a port's line, in file order, with the name a message gives it.
struct FileField {
    std::int32_t PortRegistry::*member;
    const char* name;
};

constexpr std::array<FileField, kValuesPerPort> kFileOrder{{
    {&PortRegistry::nBaud, "baud rate"},
    {&PortRegistry::nDataBits, "data length"},
    {&PortRegistry::nParity, "parity"},
    {&PortRegistry::nStopBits, "stop bits"},
    {&PortRegistry::nFlowCtrl, "flow control"},
    {&PortRegistry::nComBase, "COM number"},
    {&PortRegistry::nRS485, "RS485"},
    {&PortRegistry::nDTR, "DTR"},
    {&PortRegistry::nDTRHys, "DTR hysteresis"},
    {&PortRegistry::nRTS, "RTS"},
    {&PortRegistry::nRTSHys, "RTS hysteresis"},
    {&PortRegistry::nTxFIFO, "Tx FIFO"},
    {&PortRegistry::nTxTrig, "Tx trigger"},
    {&PortRegistry::nRxFIFO, "Rx FIFO"},
    {&PortRegistry::nRxTrig, "Rx trigger"},
}};

const IntField<PortRegistry>& RangeOf(std::int32_t PortRegistry::*member) {
    for (const auto& field : kLineFields) {
        if (field.member == member) {
            return field;
        }
    }
    return kLineFields[0];  // unreachable: every file field is a line field
}

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

std::string PortName(int port) {
    return "Port" + std::to_string(port + 1);
}

// Something wrong with the text, and the line it is on.
struct Problem {
    int line = 1;
    std::string what;

    std::string Text() const { return "line " + std::to_string(line) + ": " + what; }
};

// A control byte where a text has none: anything below a blank other than the
// blanks and line ends the reader skips (tab, LF, VT, FF, CR), and DEL. Bytes
// of 0x80 and above may be any encoding's letters. Names the first such byte
// and its line, or nothing.
std::optional<Problem> FindControlByte(std::string_view text) {
    int line = 1;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte == '\n' || (byte == '\r' && (i + 1 == text.size() || text[i + 1] != '\n'))) {
            ++line;
        } else if ((byte < 0x20 && !IsSpace(static_cast<char>(byte))) || byte == 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "0x%02X", byte);
            return Problem{line, "the byte " + std::string(hex) +
                                     " is no text, so this is no configuration file"};
        }
    }
    return std::nullopt;
}

// An integer token as the text gives it.
struct Integer {
    std::int64_t value = 0;
    std::string_view text;
    int line = 1;
};

// Reads the text as formatted stream input does: every run of blanks and line
// breaks is one separator, an integer is an optional sign and digits. Counts
// lines as it goes (LF, CR LF or a lone CR end one).
class TokenReader {
  public:
    explicit TokenReader(std::string_view text) : m_text(text) {}

    int Line() const { return m_line; }

    // Skips blanks and line breaks; false at the end of the text.
    bool SkipSpace() {
        while (m_at < m_text.size() && IsSpace(m_text[m_at])) {
            const char c = m_text[m_at++];
            if (c == '\n' || (c == '\r' && (m_at == m_text.size() || m_text[m_at] != '\n'))) {
                ++m_line;
            }
        }
        return m_at < m_text.size();
    }

    // Skips one token (a label), whatever its length: nothing looks at it.
    void SkipToken() {
        while (m_at < m_text.size() && !IsSpace(m_text[m_at])) {
            ++m_at;
        }
    }

    // The token at the current position, for a message (its start only).
    std::string_view PeekToken() const {
        std::size_t end = m_at;
        while (end < m_text.size() && !IsSpace(m_text[end]) && end - m_at < 20) {
            ++end;
        }
        return m_text.substr(m_at, end - m_at);
    }

    // Reads an integer at the current position. Nothing is consumed when the
    // text there is not one. Values too large for any field saturate.
    std::optional<Integer> ReadInteger() {
        const std::size_t start = m_at;
        std::size_t at = m_at;
        if (at < m_text.size() && (m_text[at] == '+' || m_text[at] == '-')) {
            ++at;
        }
        if (at == m_text.size() || !IsDigit(m_text[at])) {
            return std::nullopt;
        }
        constexpr std::int64_t kSaturation = std::int64_t{1} << 40;
        std::int64_t value = 0;
        for (; at < m_text.size() && IsDigit(m_text[at]); ++at) {
            value = std::min(value * 10 + (m_text[at] - '0'), kSaturation);
        }
        m_at = at;
        const bool negative = m_text[start] == '-';
        return Integer{negative ? -value : value, m_text.substr(start, at - start), m_line};
    }

  private:
    std::string_view m_text;
    std::size_t m_at = 0;
    int m_line = 1;
};

// One port's line as the text gives it: its label skipped, then up to fifteen
// integers; a token that is not an integer ends it (and starts the next port).
struct PortLine {
    std::array<Integer, kValuesPerPort> values{};
    std::size_t count = 0;
    Problem stoppedAt;  // why it ended before fifteen values

    bool Whole() const { return count == kValuesPerPort; }
};

PortLine ReadPortLine(TokenReader& reader, int port) {
    PortLine line;
    reader.SkipToken();
    while (line.count < kValuesPerPort) {
        if (!reader.SkipSpace()) {
            line.stoppedAt = {reader.Line(),
                              "the file ends inside " + PortName(port) + "'s settings"};
            break;
        }
        const std::optional<Integer> value = reader.ReadInteger();
        if (!value) {
            line.stoppedAt = {reader.Line(), PortName(port) + "'s settings stop at \"" +
                                                 std::string(reader.PeekToken()) +
                                                 "\", which is no number"};
            break;
        }
        line.values[line.count++] = *value;
    }
    return line;
}

// The first value of the line outside its field's range, as a message; the
// COM numbers of ports 1 to 7 are not looked at, since they follow port 0's.
std::optional<Problem> FirstValueOutOfRange(const PortLine& line, int port) {
    for (std::size_t i = 0; i < line.count; ++i) {
        const FileField& field = kFileOrder[i];
        const bool comBase = field.member == &PortRegistry::nComBase;
        if (comBase && port > 0) {
            continue;
        }
        const IntField<PortRegistry>& range = RangeOf(field.member);
        const std::int64_t max = comBase ? kMaxFirstComBase : range.max;
        const Integer& value = line.values[i];
        if (value.value < range.min || value.value > max) {
            return Problem{value.line,
                           PortName(port) + "'s " + field.name + " " + std::string(value.text) +
                               " is outside " + std::to_string(range.min) + " to " +
                               std::to_string(max) + "; " + PortName(port) + " keeps its settings"};
        }
    }
    return std::nullopt;
}

void Apply(const PortLine& line, int port, PortRegistry& record) {
    for (std::size_t i = 0; i < line.count; ++i) {
        const FileField& field = kFileOrder[i];
        if (field.member == &PortRegistry::nComBase && port > 0) {
            continue;  // follows port 0's
        }
        record.*field.member = static_cast<std::int32_t>(line.values[i].value);
    }
}

ConfigReadReport Refused(ConfigReadReport report, const Problem& why) {
    report.refused = true;
    report.problems = {why.Text()};
    return report;
}

}  // namespace

std::string FormatConfiguration(const PortRecords& records) {
    std::string text;
    for (int port = 0; port < kPortCount; ++port) {
        const PortRegistry& record = records.m_PortRegistry[port];
        text += "SERIAL" + std::to_string(port);
        for (const FileField& field : kFileOrder) {
            text += ' ';
            text += std::to_string(record.*field.member);
        }
        text += '\n';
    }
    return text;
}

ConfigReadReport ReadConfiguration(std::string_view text, PortRecords& records) {
    ConfigReadReport report;
    if (const std::optional<Problem> notText = FindControlByte(text)) {
        return Refused(report, *notText);
    }
    PortRecords read = records;
    TokenReader reader(text);
    int wholePorts = 0;
    std::vector<Problem> problems;
    std::optional<Problem> first;  // what went wrong first, of any kind
    auto note = [&](const Problem& problem, bool told) {
        if (!first) {
            first = problem;
        }
        if (told) {
            problems.push_back(problem);
        }
    };
    for (int port = 0; port < kPortCount; ++port) {
        if (!reader.SkipSpace()) {
            report.endedEarly = true;
            note({reader.Line(), "the file ends before " + PortName(port) + "'s settings"}, true);
            break;
        }
        ++report.portsReached;
        const PortLine line = ReadPortLine(reader, port);
        if (const std::optional<Problem> outOfRange = FirstValueOutOfRange(line, port)) {
            report.portsRefused.push_back(port);
            note(*outOfRange, true);
            continue;
        }
        if (!line.Whole()) {
            note(line.stoppedAt, false);  // the values before it are taken, as ever
        }
        Apply(line, port, read.m_PortRegistry[port]);
        wholePorts += line.Whole() ? 1 : 0;
    }
    if (wholePorts == 0) {
        Problem refusal = first.value_or(Problem{reader.Line(), "no port's settings"});
        refusal.what += "; not one port's settings read whole";
        return Refused(report, refusal);
    }
    for (const Problem& problem : problems) {
        report.problems.push_back(problem.Text());
    }
    // The card's ports sit on consecutive COM numbers after port 0, and the
    // port-open code finds a record by its COM number: every other port
    // follows port 0, including those a short file never reached.
    for (int port = 1; port < kPortCount; ++port) {
        read.m_PortRegistry[port].nComBase = read.m_PortRegistry[0].nComBase + port;
    }
    records = read;
    return report;
}

}  // namespace quorvel
