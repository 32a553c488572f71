#pragma once

#include <string>
#include <vector>

#include "card/SimulatedCard.h"
#include "core/CommandLine.h"

namespace quorvel {

// A fault the simulated card puts on one of its ports, for demonstrations
// and tests: "--fault PORT:KIND[=VALUE]" with PORT 1-8.
struct CardFault {
    enum class Kind {
        BitErrors,      // bit-errors=RATE: each bit the port receives flips with this chance
        DropEvery,      // drop-every=N: every N-th byte the port receives is lost
        Stall,          // stall: the card takes nothing more from the port
        UnplugAfter,    // unplug-after=SECONDS: the port's device vanishes then
        FramingErrors,  // framing-errors=RATE: each character the port receives, with this chance
        ParityErrors,   // parity-errors=RATE: likewise, on a port with parity
        Break,          // break: a break condition on the line the port receives, now and then
        CtsLow,         // cts=low: the port's CTS wire is cut
        DcdToggle,      // dcd-toggle=N: the port's DCD changes N times a second
    };
    int port = 0;  // 0-7
    Kind kind = Kind::Stall;
    double value = 0.0;
};

// The command-line options that run a program on the simulated card:
//   --simulated-card [COM<n>]   run on the simulated card, its first port on COM<n> (COM4)
//   --wiring=plug|pairs|open    loopback plugs (default), cables 1-2 3-4 5-6 7-8, or nothing
//   --fault PORT:KIND[=VALUE]   a fault on a port (any number of them)
//   --link-dir=DIR              (quorvel-cardsim) links DIR/COM<n> to the ports' devices
//   --help, -h                  the options
// Options that take a value take it either way: --wiring=pairs or --wiring pairs.
// --help and --version are read with them where a program has no options of
// its own.
struct CardOptions {
    bool simulated = false;
    int firstCom = SimulatedCard::kDefaultFirstCom;
    CardWiring wiring = CardWiring::Plugs;
    std::vector<CardFault> faults;
    std::string linkDir;
    bool help = false;
    bool version = false;
};

struct ParsedCardOptions {
    CardOptions options;
    std::vector<std::string> unknown;  // arguments that are not card options
    std::string error;                 // empty when every card option was understood
};

// Adds the card options to a program's command line: what they say goes into
// `options` as they are read. `withLinkDir` adds --link-dir (the standalone
// card only).
void AddCardOptions(CommandLine& line, CardOptions& options, bool withLinkDir);

// Why the card options read cannot go together; empty when they can.
std::string CheckCardOptions(const CardOptions& options, bool withLinkDir);

// Reads the card options from `args` (without the program name).
ParsedCardOptions ParseCardOptions(const std::vector<std::string>& args, bool withLinkDir);

// Reads "PORT:KIND[=VALUE]"; false with `why` when it is not a fault.
bool ParseCardFault(const std::string& text, CardFault& fault, std::string& why);
// "2:bit-errors=0.0001", "8:stall", "3:cts=low": a fault as --fault gives it.
std::string CardFaultText(const CardFault& fault);

// Puts the faults in on the running card (Linux, where the simulated card is).
void ApplyCardFaults(SimulatedCard& card, const std::vector<CardFault>& faults);

// The options' help text for `program`, with `footer` after the options.
std::string CardOptionsHelp(const std::string& program, bool withLinkDir,
                            const std::string& footer = "");

// "COM4-COM11, loopback plugs": the card as a person reads it.
std::string DescribeCard(const CardOptions& options);

}  // namespace quorvel
