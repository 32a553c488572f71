#include "engine/TestStatistics.h"

#include <chrono>
#include <cstdio>

#include "config/PortOpenSettings.h"
#include "engine/LineStatistics.h"
#include "engine/PacketBuilder.h"
#include "engine/TestRuntime.h"
#include "serial/LineSettings.h"

namespace quorvel {
namespace {

std::string PortName(int port) {
    return "Port" + std::to_string(port + 1);
}

std::string StateOf(const TestRuntime& runtime, int port) {
    if (!runtime.IsPortOpen(port)) {
        return "not open";
    }
    if (runtime.IsPortRunning(port)) {
        return "running";
    }
    switch (runtime.Sender(port).EndedBy().value_or(StopCause::Button)) {
        case StopCause::Time:
            return "stopped on time";
        case StopCause::Error:
            return "stopped on error";
        case StopCause::Button:
        case StopCause::TestStop:
            break;
    }
    return "idle";
}

std::string Percent(double share) {
    char text[16];
    std::snprintf(text, sizeof text, "%.1f", 100 * share);
    return text;
}

}  // namespace

TestStatistics StatisticsSampler::Sample(std::uint64_t nowMs) {
    TestStatistics statistics;
    const bool rateDue = m_lastMs == 0 || nowMs >= m_lastMs + kShortestRateMs;
    const double seconds =
        m_lastMs == 0 || !rateDue ? 0.0 : static_cast<double>(nowMs - m_lastMs) / 1000.0;
    for (int port = 0; port < kPortCount; ++port) {
        const auto i = port;
        PortStatistics& row = statistics[port];
        const PortRegistry& record = m_runtime.Records().m_PortRegistry[port];
        const PortCheck& check = m_runtime.Check(port);
        row.port = port;
        row.com = record.nComBase + 1;
        row.baud = LineSettingsOf(record).baudRate;
        row.pattern = PatternText(m_runtime.Records().m_PortPattern[port]);
        row.cannotShow = PatternCannotShow(m_runtime.Records().m_PortPattern[port]);
        const PortSender& sender = m_runtime.Sender(port);
        if (const std::optional<std::uint64_t> ms = sender.RunLengthMs(nowMs)) {
            row.runSeconds = static_cast<double>(*ms) / 1000.0;
        }
        row.state = StateOf(m_runtime, port);
        row.counts = check.Counts();
        row.latency = check.Latency();
        row.sources = check.Sources();
        row.source = SourceText(port, row.sources, row.counts.received);
        row.sent = m_runtime.BytesSentThisRun(port);
        row.firstErrorMs = check.FirstErrorMs();
        row.lines = m_runtime.Lines(port).SinceRun();
        if (rateDue) {
            // A count that went back (a Run started it again) shows no rate.
            const double lineRate = LineCharactersPerSecond(record);
            const auto share = [&](std::uint64_t now, std::uint64_t before) {
                return seconds > 0 && lineRate > 0 && now >= before
                           ? static_cast<double>(now - before) / seconds / lineRate
                           : 0.0;
            };
            m_sentShare[i] = share(row.sent, m_lastSent[i]);
            m_receivedShare[i] = share(row.counts.received, m_lastReceived[i]);
            m_lastSent[i] = row.sent;
            m_lastReceived[i] = row.counts.received;
        }
        row.sentShare = m_sentShare[i];
        row.receivedShare = m_receivedShare[i];
        row.receivedPercent =
            RunRate(row, sender.RunBeganMs(), nowMs, LineCharactersPerSecond(record));
        row.verdict = JudgeStatistics(row, m_runtime.WriteDelayMs() == 0);
    }
    if (rateDue) {
        m_lastMs = nowMs;
    }
    return statistics;
}

std::optional<double> StatisticsSampler::RunRate(const PortStatistics& row,
                                                 std::uint64_t runBeganMs, std::uint64_t nowMs,
                                                 double lineRate) {
    RateWindow& window = m_runRates[row.port];
    if (m_rateRunBegan[row.port] != runBeganMs) {
        window = RateWindow();  // a run began since: its rate is measured afresh
        m_rateRunBegan[row.port] = runBeganMs;
    }
    if (runBeganMs == 0) {
        return std::nullopt;
    }
    window.Look(static_cast<double>(nowMs - std::min(nowMs, runBeganMs)) / 1000.0,
                row.counts.received);
    return window.ReceivedPercent(lineRate);
}

std::string PatternText(const PortPatternSettings& pattern) {
    switch (ChosenPattern(pattern)) {
        case PatternKind::Alphabets:
            return "alphabets";
        case PatternKind::QuickBrown:
            return "quickbrown";
        case PatternKind::UserText:
            return "user:" + pattern.strUserData;
        case PatternKind::Prbs:
            return "prbs";
        case PatternKind::File:
            break;
    }
    return "file";
}

std::string PatternCannotShow(const PortPatternSettings& pattern) {
    // A pattern that repeats tells a byte's place only within its repeat,
    // and its bytes not from which of the ports sending it they came.
    switch (ChosenPattern(pattern)) {
        case PatternKind::Alphabets:
        case PatternKind::QuickBrown:
        case PatternKind::UserText:
            return "where in its line a fault lies; whole lines lost or doubled until the run "
                   "ends; which of the ports sending it sent it";
        case PatternKind::Prbs:
            return {};
        case PatternKind::File:
            break;
    }
    return "where in the file a fault lies where the file repeats; whole passes lost or "
           "doubled until the run ends; which of the ports sending it sent it";
}

std::string BitErrorRateText(const CheckCounts& counts) {
    if (counts.bitsChecked == 0) {
        return {};
    }
    if (counts.corruptedBits == 0) {
        return "0";
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.2e", counts.BitErrorRate());
    return text;
}

std::string LatencyText(const LatencyFigures& latency, std::uint64_t ms) {
    return latency.samples == 0 ? std::string() : std::to_string(ms);
}

std::optional<PortVerdict> JudgeStatistics(const PortStatistics& row, bool judgeRate) {
    if (!row.runSeconds || row.state == "not open") {
        return std::nullopt;
    }
    PortOutcome outcome;
    outcome.port = row.port;
    outcome.opened = true;
    outcome.counts = row.counts;
    outcome.sources = row.sources;
    outcome.sent = row.sent;
    if (judgeRate) {
        outcome.receivedPercent = row.receivedPercent;
    }
    if (row.lines.available) {
        outcome.lineErrors = row.lines.counts.Errors();
        outcome.lineErrorsText = LineErrorsText(row.lines);
    }
    return JudgePort(outcome, VerdictRules{});
}

std::string SourceText(int port, std::uint8_t sources, std::uint64_t received) {
    if (received == 0) {
        return "nothing received";
    }
    if (sources == 0) {
        return "unrecognised";
    }
    if (sources == (1u << port)) {
        return "itself";
    }
    return SourceNames(sources);
}

std::string SourceNames(std::uint8_t sources) {
    std::string names;
    int count = 0;
    for (int source = 0; source < kPortCount; ++source) {
        if ((sources & (1u << source)) != 0) {
            names += (count++ == 0 ? "" : ", ") + PortName(source);
        }
    }
    return count == 1 ? names : "any of " + names;
}

std::string UtcTimeText(std::int64_t ms) {
    if (ms == 0) {
        return {};
    }
    using namespace std::chrono;
    const sys_time<milliseconds> time{milliseconds(ms)};
    const sys_days day = floor<days>(time);
    const year_month_day date{day};
    const hh_mm_ss clock{floor<seconds>(time - day)};
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ",
                  static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                  static_cast<unsigned>(date.day()), static_cast<int>(clock.hours().count()),
                  static_cast<int>(clock.minutes().count()),
                  static_cast<int>(clock.seconds().count()));
    return text;
}

namespace {

// A field of comma-separated values: quoted, its quotes doubled, where it
// holds a comma, a quote or a line end (a user pattern may).
std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        return text;
    }
    std::string quoted = "\"";
    for (const char c : text) {
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    }
    return quoted + "\"";
}

// The line figures' columns, each after a comma: a device without lines
// leaves them empty.
std::string LineCsv(const std::vector<std::string>& cells) {
    std::string text;
    for (const std::string& cell : cells) {
        text += "," + cell;
    }
    return text;
}

std::string SecondsText(const std::optional<double>& seconds) {
    if (!seconds) {
        return {};
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", *seconds);
    return text;
}

// A port's verdict and why, as two fields; empty for a port not judged.
std::string VerdictCsv(const std::optional<PortVerdict>& verdict) {
    if (!verdict) {
        return ",";
    }
    return verdict->Passed() ? "PASS," : "FAIL," + CsvField(verdict->Reason());
}

// A port's line of the CSV, in the header's order.
std::string RowCsv(const PortStatistics& row) {
    const CheckCounts& c = row.counts;
    std::string line = PortName(row.port) + ",COM" + std::to_string(row.com) + "," +
                       std::to_string(row.baud) + "," + CsvField(row.pattern) + "," +
                       SecondsText(row.runSeconds) + "," + row.state + "," +
                       VerdictCsv(row.verdict) + "," + CsvField(row.source);
    for (const std::uint64_t count :
         {row.sent, c.received, c.verified, c.corrupted, c.lost, c.extra, c.unrecognised,
          c.Errors(), c.expected, c.cut, c.corruptedBits, c.bitsChecked}) {
        line += ',';
        line += std::to_string(count);
    }
    // Appended a field at a time (a temporary string after a literal makes
    // an optimising GCC 12 warn falsely of overlapping copies).
    for (const std::string& field :
         {BitErrorRateText(c), LatencyText(row.latency, row.latency.medianMs),
          LatencyText(row.latency, row.latency.p99Ms), Percent(row.sentShare),
          Percent(row.receivedShare), UtcTimeText(row.firstErrorMs), CsvField(row.cannotShow)}) {
        line += ',';
        line += field;
    }
    return line + LineCsv(LineFigureCells(row.lines, "")) + "\n";
}

}  // namespace

std::string StatisticsCsv(const TestStatistics& statistics, std::int64_t takenMs) {
    std::string csv = "Time," + UtcTimeText(takenMs) + "\n" +
                      "Port,COM,Baud,Pattern,Duration s,State,Verdict,Reason,Source,Sent,Received,"
                      "Verified,Corrupted,Lost,Extra,Unrecognised,Errors,Expected,Cut by stop,"
                      "Corrupted bits,Bits checked,Bit error rate,Latency median ms,"
                      "Latency p99 ms,Sent %,Received %,First error,Pattern cannot show" +
                      LineCsv(LineFigureTitles()) + "\n";
    for (const PortStatistics& row : statistics) {
        csv += RowCsv(row);
    }
    return csv;
}

}  // namespace quorvel
