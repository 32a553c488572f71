#pragma once

#include "serial/ModemLines.h"
#include "serial/SerialDevice.h"

namespace quorvel {

struct TestParts;

// The modem lines of a test's ports: what Test > Start finds, the line events
// of the receive threads, the operator's DTR and RTS, and close-all.

// Test > Start (GUI thread), once the ports are open: each open port's lines
// are read and shown and its counts taken from here; a port whose device has
// no lines shows them "not available", and those ports are told once for all.
void StartLines(TestParts& parts);

// A port's lines and counts read again and shown: at a line event (its
// receive thread), after a switch (GUI thread).
void TakeLineChange(TestParts& parts, int port, SerialDevice& device);

// The operator switches DTR or RTS of an open port (GUI thread). RTS stays
// with the handshake where hardware flow control drives it; a switch the
// device refuses is told.
void SwitchOutputLine(TestParts& parts, int port, OutputLine line, bool on);

// Close-all: the line indicators show nothing; the counts stay for the figures.
void EndLines(TestParts& parts);

// The note of the ports without modem lines.
inline constexpr const char* kNoLinesCaption = "Modem Lines";

}  // namespace quorvel
