#include "card/CardOptions.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <utility>

#include "core/DecimalText.h"

namespace quorvel {
namespace {

constexpr int kHighestFirstCom = 40;  // the settings' COM list ends at COM40

// "COM12" or "12" -> 12; 0 when it is neither.
int ComNumberOf(const std::string& text) {
    const std::string digits =
        text.starts_with("COM") || text.starts_with("com") ? text.substr(3) : text;
    if (digits.empty() || digits.size() > 3) {
        return 0;
    }
    int number = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') {
            return 0;
        }
        number = number * 10 + (c - '0');
    }
    return number;
}

// How the value of each kind of fault is bounded: above `above`, at most
// `most`, and whole when `whole`; or, for a kind that takes a word, that word
// and no other. A stall or a break takes no value.
struct FaultKindRule {
    const char* name;
    CardFault::Kind kind;
    bool takesValue;
    double above;
    double most;
    bool whole;
    const char* word = nullptr;
};

constexpr std::array<FaultKindRule, 9> kFaultKinds{{
    {"stall", CardFault::Kind::Stall, false, 0, 0, false},
    {"bit-errors", CardFault::Kind::BitErrors, true, 0, 1, false},
    {"drop-every", CardFault::Kind::DropEvery, true, 1, 1e9, true},
    {"unplug-after", CardFault::Kind::UnplugAfter, true, 0, 1e6, false},
    {"framing-errors", CardFault::Kind::FramingErrors, true, 0, 1, false},
    {"parity-errors", CardFault::Kind::ParityErrors, true, 0, 1, false},
    {"break", CardFault::Kind::Break, false, 0, 0, false},
    {"cts", CardFault::Kind::CtsLow, true, 0, 0, false, "low"},
    {"dcd-toggle", CardFault::Kind::DcdToggle, true, 0, 1000, false},
}};

// `kind` ("bit-errors=0.001") as a fault of a kind the card has; false when
// it names none or its value is out of bounds.
bool ReadFaultKind(const std::string& kind, CardFault& fault) {
    const auto equals = kind.find('=');
    const std::string name = kind.substr(0, equals);
    const std::string number = equals == std::string::npos ? "" : kind.substr(equals + 1);
    for (const FaultKindRule& rule : kFaultKinds) {
        if (name != rule.name || number.empty() == rule.takesValue) {
            continue;
        }
        fault.kind = rule.kind;
        fault.value = 0.0;
        if (!rule.takesValue) {
            return true;
        }
        if (rule.word != nullptr) {
            return number == rule.word;
        }
        const auto value = FiniteNumberOf(number);
        if (!value || *value <= rule.above || *value > rule.most ||
            (rule.whole && *value != std::floor(*value))) {
            return false;
        }
        fault.value = *value;
        return true;
    }
    return false;
}

constexpr std::array<std::pair<const char*, CardWiring>, 3> kWirings{{
    {"plug", CardWiring::Plugs},
    {"pairs", CardWiring::Pairs},
    {"open", CardWiring::Open},
}};

}  // namespace

void AddCardOptions(CommandLine& line, CardOptions& options, bool withLinkDir) {
    line.AddOptionalValue(
        "--simulated-card", "COM<n>", "COM" + std::to_string(SimulatedCard::kDefaultFirstCom),
        withLinkDir ? "the card's first COM number (default COM4)"
                    : "run on the simulated eight-port card, its first\n"
                      "port on COM<n> (default COM4)",
        [&options](const std::string& value) -> std::string {
            options.simulated = true;
            const int com = ComNumberOf(value);
            if (com < 1 || com > kHighestFirstCom) {
                return "--simulated-card takes COM1 ... COM40, not \"" + value + "\"";
            }
            options.firstCom = com;
            return {};
        });
    line.AddValue("--wiring", "plug|pairs|open",
                  "what is attached to the card's ports: a loopback plug\n"
                  "on each (default), cables Port1-Port2, Port3-Port4,\n"
                  "Port5-Port6, Port7-Port8, or nothing",
                  [&options](const std::string& value) -> std::string {
                      for (const auto& [name, wiring] : kWirings) {
                          if (value == name) {
                              options.wiring = wiring;
                              return {};
                          }
                      }
                      return "--wiring takes plug, pairs or open, not \"" + value + "\"";
                  });
    if (withLinkDir) {
        line.AddValue("--link-dir", "DIR", "make links DIR/COM<n> to the ports' devices",
                      [&options](const std::string& value) -> std::string {
                          options.linkDir = value;
                          return value.empty() ? "--link-dir needs a folder" : "";
                      });
    }
    line.AddValue("--fault", "PORT:KIND[=VALUE]",
                  "a fault on a card port (1-8): stall, bit-errors=RATE,\n"
                  "drop-every=N, unplug-after=SECONDS, framing-errors=RATE,\n"
                  "parity-errors=RATE, break, cts=low, dcd-toggle=N;\n"
                  "any number of them",
                  [&options](const std::string& value) -> std::string {
                      CardFault fault;
                      std::string why;
                      if (!ParseCardFault(value, fault, why)) {
                          return "--fault " + value + ": " + why;
                      }
                      options.faults.push_back(fault);
                      return {};
                  });
}

std::string CheckCardOptions(const CardOptions& options, bool withLinkDir) {
    if (!options.faults.empty() && !options.simulated && !withLinkDir) {
        return "--fault needs --simulated-card: faults are the simulated card's";
    }
    return {};
}

ParsedCardOptions ParseCardOptions(const std::vector<std::string>& args, bool withLinkDir) {
    ParsedCardOptions parsed;
    CommandLine line("", "");
    AddCardOptions(line, parsed.options, withLinkDir);
    line.AddHelpAndVersion();
    const CommandLineReading reading = line.Read(args);
    parsed.options.help = reading.help;
    parsed.options.version = reading.version;
    parsed.unknown = reading.rest;
    parsed.error =
        !reading.error.empty() ? reading.error : CheckCardOptions(parsed.options, withLinkDir);
    return parsed;
}

std::string CardFaultText(const CardFault& fault) {
    std::string text = std::to_string(fault.port + 1) + ":";
    for (const FaultKindRule& rule : kFaultKinds) {
        if (rule.kind != fault.kind) {
            continue;
        }
        text += rule.name;
        if (rule.word != nullptr) {
            text += std::string("=") + rule.word;
        } else if (rule.takesValue) {
            char value[32];
            std::snprintf(value, sizeof value, "%g", fault.value);
            text += std::string("=") + value;
        }
        break;
    }
    return text;
}

bool ParseCardFault(const std::string& text, CardFault& fault, std::string& why) {
    const auto colon = text.find(':');
    const int port = colon == 1 ? text[0] - '0' : 0;
    if (port < 1 || port > SimulatedCard::kPorts) {
        why = "the port is 1 to 8, as in PORT:KIND";
        return false;
    }
    fault.port = port - 1;
    if (!ReadFaultKind(text.substr(colon + 1), fault)) {
        why =
            "the kind is stall, bit-errors=RATE (0 to 1), drop-every=N (2 or more), "
            "unplug-after=SECONDS, framing-errors=RATE or parity-errors=RATE (0 to 1), "
            "break, cts=low or dcd-toggle=N (changes a second, up to 1000)";
        return false;
    }
    return true;
}

std::string CardOptionsHelp(const std::string& program, bool withLinkDir,
                            const std::string& footer) {
    CardOptions unused;
    CommandLine line(program, "");
    AddCardOptions(line, unused, withLinkDir);
    line.AddHelpAndVersion();
    line.SetFooter(footer);
    return line.Help();
}

std::string DescribeCard(const CardOptions& options) {
    const char* wiring = options.wiring == CardWiring::Plugs   ? "loopback plugs"
                         : options.wiring == CardWiring::Pairs ? "cables between pairs"
                                                               : "nothing attached";
    return "COM" + std::to_string(options.firstCom) + "-COM" +
           std::to_string(options.firstCom + SimulatedCard::kPorts - 1) + ", " + wiring;
}

}  // namespace quorvel
