#pragma once

// What the Windows suites know of the COM ports they test on. Under Wine the
// harness (tests/wine/run-under-wine.sh) links eight consecutive COM ports to
// the simulated card's ports, each with a loopback plug, and names the first
// in QUORVEL_WINE_COM; on a Windows machine with the card the same variable
// names the card's first port, with plugs fitted.

#include <vector>

#include "fakes/Eventually.h"
#include "fakes/RecordingMessageSink.h"

namespace quorvel::testing {

// Whether this process runs under Wine, where some things differ from Windows.
bool UnderWine();

// The first COM port with a loopback plug, from QUORVEL_WINE_COM; 0 when none.
int PluggedCom();

// A COM number no test machine has.
inline constexpr int kMissingCom = 99;

// What opening a port shows when the card's driver refuses its configuration
// request, as Wine, which knows no private codes, always does.
inline const RecordedMessage kDriverRefused{"Unable to pass data into driver", "", 0x00,
                                            MessageOwner::None};

// The messages `openedPorts` opens show on this machine: one refusal a port
// under Wine, none where the card's driver answers.
std::vector<RecordedMessage> OpenMessages(int openedPorts);

}  // namespace quorvel::testing
