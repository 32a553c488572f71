#pragma once

#include <string>
#include <vector>

#include "card/SimulatedCard.h"

namespace quorvel {

// The command-line options that run a program on the simulated card:
//   --simulated-card[=COM<n>]   run on the simulated card, its first port on COM<n> (COM4)
//   --wiring=plug|pairs|open    loopback plugs (default), cables 1-2 3-4 5-6 7-8, or nothing
//   --link-dir=DIR              (quorvel-cardsim) links DIR/COM<n> to the ports' devices
//   --help, -h                  the options
struct CardOptions {
    bool simulated = false;
    int firstCom = SimulatedCard::kDefaultFirstCom;
    CardWiring wiring = CardWiring::Plugs;
    std::string linkDir;
    bool help = false;
};

struct ParsedCardOptions {
    CardOptions options;
    std::vector<std::string> unknown;  // arguments that are not card options
    std::string error;                 // empty when every card option was understood
};

// Reads the card options from `args` (without the program name). `withLinkDir`
// accepts --link-dir (the standalone card only).
ParsedCardOptions ParseCardOptions(const std::vector<std::string>& args, bool withLinkDir);

// The options' help text for `program`.
std::string CardOptionsHelp(const std::string& program, bool withLinkDir);

// "COM4-COM11, loopback plugs": the card as a person reads it.
std::string DescribeCard(const CardOptions& options);

}  // namespace quorvel
