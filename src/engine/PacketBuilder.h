#pragma once

#include <cstddef>
#include <string>

#include "config/PortRegistry.h"
#include "engine/TestData.h"

namespace quorvel {

// The length of `text` cut to at most kMaxPacket bytes without splitting a
// UTF-8 character.
std::size_t PacketLengthOf(const std::string& text);

// Fills `packet` with the start of the port's pattern: the first of
// Alphabets, Quick Brown and the user's text that is chosen, else the first
// piece of its file (which begins a file pass: `file` state is reset).
void BuildFirstPiece(TxPacket& packet, FileSendState& file, const PortPatternSettings& pattern,
                     const PortFileData& data);

// Fills `packet` with the next piece of a file pass: 450 bytes while at least
// that many remain, then the rest (which may be 0 bytes), zero-filled past the
// file's end; `file` moves on and says whether more is to send.
void BuildNextFilePiece(TxPacket& packet, FileSendState& file, const PortFileData& data);

}  // namespace quorvel
