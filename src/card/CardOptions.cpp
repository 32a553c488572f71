#include "card/CardOptions.h"

#include <cmath>
#include <cstdlib>

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

}  // namespace

OptionRead ReadOptionValue(const std::vector<std::string>& args, std::size_t& i,
                           const std::string& name, std::string& value) {
    const std::string& arg = args[i];
    if (arg.starts_with(name + "=")) {
        value = arg.substr(name.size() + 1);
        return OptionRead::Taken;
    }
    if (arg != name) {
        return OptionRead::NotThis;
    }
    if (i + 1 == args.size()) {
        return OptionRead::Missing;
    }
    value = args[++i];
    return OptionRead::Taken;
}

ParsedCardOptions ParseCardOptions(const std::vector<std::string>& args, bool withLinkDir) {
    ParsedCardOptions parsed;
    CardOptions& options = parsed.options;
    auto fail = [&parsed](const std::string& why) {
        if (parsed.error.empty()) {
            parsed.error = why;
        }
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        // "--name=value" or "--name value": the value of option `name`, if
        // this argument is it.
        auto value = [&](const std::string& name, std::string& out) {
            const OptionRead read = ReadOptionValue(args, i, name, out);
            if (read == OptionRead::Missing) {
                fail(name + " needs a value");
            }
            return read != OptionRead::NotThis;
        };
        std::string text;
        if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--version") {
            options.version = true;
        } else if (arg == "--simulated-card") {
            options.simulated = true;
        } else if (arg.starts_with("--simulated-card=")) {
            options.simulated = true;
            const int com = ComNumberOf(arg.substr(17));
            if (com < 1 || com > kHighestFirstCom) {
                fail("--simulated-card takes COM1 ... COM40, not \"" + arg.substr(17) + "\"");
            } else {
                options.firstCom = com;
            }
        } else if (value("--wiring", text)) {
            if (text == "plug") {
                options.wiring = CardWiring::Plugs;
            } else if (text == "pairs") {
                options.wiring = CardWiring::Pairs;
            } else if (text == "open") {
                options.wiring = CardWiring::Open;
            } else {
                fail("--wiring takes plug, pairs or open, not \"" + text + "\"");
            }
        } else if (value("--fault", text)) {
            CardFault fault;
            std::string why;
            if (ParseCardFault(text, fault, why)) {
                options.faults.push_back(fault);
            } else {
                fail("--fault " + text + ": " + why);
            }
        } else if (withLinkDir && value("--link-dir", text)) {
            options.linkDir = text;
            if (text.empty()) {
                fail("--link-dir needs a folder");
            }
        } else {
            parsed.unknown.push_back(arg);
        }
    }
    if (!options.faults.empty() && !options.simulated && !withLinkDir) {
        fail("--fault needs --simulated-card: faults are the simulated card's");
    }
    return parsed;
}

bool ParseCardFault(const std::string& text, CardFault& fault, std::string& why) {
    const auto colon = text.find(':');
    const int port = colon == 1 ? text[0] - '0' : 0;
    if (port < 1 || port > SimulatedCard::kPorts) {
        why = "the port is 1 to 8, as in PORT:KIND";
        return false;
    }
    fault.port = port - 1;
    const std::string kind = text.substr(colon + 1);
    const auto equals = kind.find('=');
    const std::string name = kind.substr(0, equals);
    const std::string number = equals == std::string::npos ? "" : kind.substr(equals + 1);
    char* end = nullptr;
    fault.value = std::strtod(number.c_str(), &end);
    const bool isNumber = !number.empty() && *end == '\0' && std::isfinite(fault.value);
    if (name == "stall" && number.empty()) {
        fault.kind = CardFault::Kind::Stall;
    } else if (name == "bit-errors" && isNumber && fault.value > 0 && fault.value <= 1) {
        fault.kind = CardFault::Kind::BitErrors;
    } else if (name == "drop-every" && isNumber && fault.value >= 2 && fault.value <= 1e9 &&
               fault.value == std::floor(fault.value)) {
        fault.kind = CardFault::Kind::DropEvery;
    } else if (name == "unplug-after" && isNumber && fault.value > 0 && fault.value <= 1e6) {
        fault.kind = CardFault::Kind::UnplugAfter;
    } else {
        why =
            "the kind is stall, bit-errors=RATE (0 to 1), drop-every=N (2 or more) or "
            "unplug-after=SECONDS";
        return false;
    }
    return true;
}

std::string CardOptionsHelp(const std::string& program, bool withLinkDir) {
    std::string text = "Usage: " + program + " [options]\n\n";
    if (!withLinkDir) {
        text +=
            "  --simulated-card[=COM<n>]  run on the simulated eight-port card, its first\n"
            "                             port on COM<n> (default COM4)\n";
    } else {
        text += "  --simulated-card=COM<n>    the card's first COM number (default COM4)\n";
    }
    text +=
        "  --wiring=plug|pairs|open   what is attached to the card's ports: a loopback plug\n"
        "                             on each (default), cables Port1-Port2, Port3-Port4,\n"
        "                             Port5-Port6, Port7-Port8, or nothing\n";
    if (withLinkDir) {
        text += "  --link-dir=DIR             make links DIR/COM<n> to the ports' devices\n";
    }
    text +=
        "  --fault PORT:KIND[=VALUE]  a fault on a card port (1-8): stall, bit-errors=RATE,\n"
        "                             drop-every=N, unplug-after=SECONDS\n";
    text += "  --help, -h                 show this text\n";
    text += "  --version                  show the program's version\n";
    return text;
}

std::string DescribeCard(const CardOptions& options) {
    const char* wiring = options.wiring == CardWiring::Plugs   ? "loopback plugs"
                         : options.wiring == CardWiring::Pairs ? "cables between pairs"
                                                               : "nothing attached";
    return "COM" + std::to_string(options.firstCom) + "-COM" +
           std::to_string(options.firstCom + SimulatedCard::kPorts - 1) + ", " + wiring;
}

}  // namespace quorvel
