#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "config/PortRegistry.h"
#include "engine/PrbsSequence.h"
#include "engine/TestData.h"

namespace quorvel {

// The pattern a port sends, as the packet builder picks it from the flags.
enum class PatternKind { Alphabets, QuickBrown, UserText, Prbs, File };

// The first of Alphabets, Quick Brown, the user's text and the pseudo-random
// sequence that is chosen, else the file.
PatternKind ChosenPattern(const PortPatternSettings& pattern);

// How a run of the port's pattern repeats: every so many bytes, the shortest
// repeat of what one packet (or one pass of a file) holds; 0 for the
// pseudo-random sequence, which never repeats.
std::uint64_t PatternPeriod(const PortPatternSettings& pattern, const PortFileData& data);

// The length of `text` cut to at most kMaxPacket bytes without splitting a
// UTF-8 character.
std::size_t PacketLengthOf(const std::string& text);

// Fills `packet` with the start of the port's pattern (ChosenPattern): a
// fixed line, the user's text, the next kMaxPacket bytes of the port's
// pseudo-random sequence (each cut to `dataMask`), or the first piece of its
// file (which begins a file pass: `file` state is reset).
void BuildFirstPiece(TxPacket& packet, FileSendState& file, const PortPatternSettings& pattern,
                     const PortFileData& data, PrbsSequence& sequence,
                     std::uint8_t dataMask = 0xFF);

// Fills `packet` with the next piece of a file pass: 450 bytes while at least
// that many remain, then the rest (which may be 0 bytes), zero-filled past the
// file's end; `file` moves on and says whether more is to send.
void BuildNextFilePiece(TxPacket& packet, FileSendState& file, const PortFileData& data);

}  // namespace quorvel
