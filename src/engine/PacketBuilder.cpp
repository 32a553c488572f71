// What a port sends: its packets, built from its pattern choice.
#include "engine/PacketBuilder.h"

#include <algorithm>
#include <span>
#include <string_view>
#include <vector>

namespace quorvel {
namespace {

void Fill(TxPacket& packet, const std::uint8_t* bytes, std::size_t length) {
    std::copy(bytes, bytes + length, packet.data.begin());
    packet.nLength = static_cast<std::int32_t>(length);
}

void Fill(TxPacket& packet, std::string_view text) {
    Fill(packet, reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

// The shortest p such that `unit` over and over repeats every p bytes.
std::uint64_t ShortestRepeat(std::span<const std::uint8_t> unit) {
    if (unit.empty()) {
        return 0;
    }
    // The longest border of the unit (a prefix that is also a suffix): the
    // unit repeats every (size - border) bytes when that divides its size.
    std::vector<std::size_t> border(unit.size(), 0);
    for (std::size_t i = 1, k = 0; i < unit.size(); ++i) {
        while (k > 0 && unit[i] != unit[k]) {
            k = border[k - 1];
        }
        k += unit[i] == unit[k] ? 1 : 0;
        border[i] = k;
    }
    const std::size_t step = unit.size() - border.back();
    return unit.size() % step == 0 ? step : unit.size();
}

std::span<const std::uint8_t> BytesOf(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

}  // namespace

PatternKind ChosenPattern(const PortPatternSettings& pattern) {
    if (pattern.nAlpha != 0) {
        return PatternKind::Alphabets;
    }
    if (pattern.nQuickBrown != 0) {
        return PatternKind::QuickBrown;
    }
    if (pattern.nUserData != 0) {
        return PatternKind::UserText;
    }
    return pattern.nPrbs != 0 ? PatternKind::Prbs : PatternKind::File;
}

std::uint64_t PatternPeriod(const PortPatternSettings& pattern, const PortFileData& data) {
    switch (ChosenPattern(pattern)) {
        case PatternKind::Alphabets:
            return ShortestRepeat(BytesOf(kAlphabets));
        case PatternKind::QuickBrown:
            return ShortestRepeat(BytesOf(kQuickBrown));
        case PatternKind::UserText:
            return ShortestRepeat(BytesOf(std::string_view(pattern.strUserData)
                                              .substr(0, PacketLengthOf(pattern.strUserData))));
        case PatternKind::Prbs:
            return 0;
        case PatternKind::File:
            break;
    }
    const auto length = static_cast<std::size_t>(std::clamp<std::int32_t>(
        data.nFileLength, 0, static_cast<std::int32_t>(data.FileData.size())));
    return ShortestRepeat({data.FileData.data(), length});
}

std::size_t PacketLengthOf(const std::string& text) {
    std::size_t length = std::min<std::size_t>(text.size(), kMaxPacket);
    if (length < text.size()) {
        while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) {
            --length;
        }
    }
    return length;
}

void BuildFirstPiece(TxPacket& packet, FileSendState& file, const PortPatternSettings& pattern,
                     const PortFileData& data, PrbsSequence& sequence, std::uint8_t dataMask) {
    file.nOffset = 0;  // a file always starts again at its first byte
    switch (ChosenPattern(pattern)) {
        case PatternKind::Alphabets:
            Fill(packet, kAlphabets);
            break;
        case PatternKind::QuickBrown:
            Fill(packet, kQuickBrown);
            break;
        case PatternKind::UserText:
            Fill(packet, std::string_view(pattern.strUserData)
                             .substr(0, PacketLengthOf(pattern.strUserData)));
            break;
        case PatternKind::Prbs:
            sequence.Fill(packet.data.data(), kMaxPacket, dataMask);
            packet.nLength = kMaxPacket;
            break;
        case PatternKind::File:
            file.bMoreToSend = false;
            file.nRemaining = data.nFileLength;
            BuildNextFilePiece(packet, file, data);
            break;
    }
    packet.data[static_cast<std::size_t>(packet.nLength)] = 0;
}

void BuildNextFilePiece(TxPacket& packet, FileSendState& file, const PortFileData& data) {
    std::int32_t length = file.nRemaining;
    if (file.nRemaining >= kMaxPacket) {
        file.nRemaining -= kMaxPacket;
        file.bMoreToSend = true;
        length = kMaxPacket;
    } else {
        file.bMoreToSend = false;
    }
    const std::int32_t available = std::clamp<std::int32_t>(
        static_cast<std::int32_t>(data.FileData.size()) - file.nOffset, 0, length);
    Fill(packet, data.FileData.data() + file.nOffset, static_cast<std::size_t>(available));
    packet.nLength = std::max<std::int32_t>(length, 0);
    std::fill(packet.data.begin() + available, packet.data.begin() + packet.nLength, 0);
    file.nOffset += packet.nLength;
    packet.data[static_cast<std::size_t>(packet.nLength)] = 0;
}

}  // namespace quorvel
