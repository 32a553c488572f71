#include "card/CardOptions.h"

namespace quorvel {
namespace {

constexpr int kHighestFirstCom = 40;  // the settings' COM list ends at COM40

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

// "COM12" or "12" -> 12; 0 when it is neither.
int ComNumberOf(const std::string& text) {
    const std::string digits =
        StartsWith(text, "COM") || StartsWith(text, "com") ? text.substr(3) : text;
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
        if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--simulated-card") {
            options.simulated = true;
        } else if (StartsWith(arg, "--simulated-card=")) {
            options.simulated = true;
            const int com = ComNumberOf(arg.substr(17));
            if (com < 1 || com > kHighestFirstCom) {
                fail("--simulated-card takes COM1 ... COM40, not \"" + arg.substr(17) + "\"");
            } else {
                options.firstCom = com;
            }
        } else if (StartsWith(arg, "--wiring=")) {
            const std::string wiring = arg.substr(9);
            if (wiring == "plug") {
                options.wiring = CardWiring::Plugs;
            } else if (wiring == "pairs") {
                options.wiring = CardWiring::Pairs;
            } else if (wiring == "open") {
                options.wiring = CardWiring::Open;
            } else {
                fail("--wiring takes plug, pairs or open, not \"" + wiring + "\"");
            }
        } else if (withLinkDir && StartsWith(arg, "--link-dir=")) {
            options.linkDir = arg.substr(11);
        } else if (withLinkDir && arg == "--link-dir") {
            if (i + 1 < args.size()) {
                options.linkDir = args[++i];
            } else {
                fail("--link-dir needs a folder");
            }
        } else {
            parsed.unknown.push_back(arg);
        }
    }
    return parsed;
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
    text += "  --help, -h                 show this text\n";
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
