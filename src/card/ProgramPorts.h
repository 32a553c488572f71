#pragma once

#include <memory>
#include <optional>
#include <string>

#include "card/CardOptions.h"

namespace quorvel {

class SimulatedCard;

// The ports a program runs on: the machine's real serial ports and, when the
// options ask for it, the simulated card in front of them (its eight COM
// numbers go to the card, every other one to the real ports). One per
// program, made before the first port is opened and kept until the last one
// is closed.
class ProgramPorts {
  public:
    explicit ProgramPorts(const CardOptions& options);
    ~ProgramPorts();  // the card stops and the program's COM lookup is undone
    ProgramPorts(const ProgramPorts&) = delete;
    ProgramPorts& operator=(const ProgramPorts&) = delete;

    // Installs the program's COM lookup and starts the simulated card when the
    // options ask for it. False, with the reason, when the card cannot start;
    // the real ports are there all the same.
    bool Start(std::string* error);

    // The simulated card while it runs, else null.
    SimulatedCard* Card() const;
    // What the simulated card's faults did to `port`; none without the card.
    std::optional<CardFaultCounts> FaultCountsOf(int port) const;

  private:
    struct Platform;
    const CardOptions m_options;
    std::unique_ptr<Platform> m_platform;
};

}  // namespace quorvel
