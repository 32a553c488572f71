// What a port sends: its packets, built from its pattern choice.
#include "engine/PacketBuilder.h"

#include <algorithm>
#include <string_view>

namespace quorvel {
namespace {

void Fill(TxPacket& packet, const std::uint8_t* bytes, std::size_t length) {
    std::copy(bytes, bytes + length, packet.data.begin());
    packet.nLength = static_cast<std::int32_t>(length);
}

void Fill(TxPacket& packet, std::string_view text) {
    Fill(packet, reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

}  // namespace

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
                     const PortFileData& data) {
    file.nOffset = 0;  // a file always starts again at its first byte
    if (pattern.nAlpha != 0) {
        Fill(packet, kAlphabets);
    } else if (pattern.nQuickBrown != 0) {
        Fill(packet, kQuickBrown);
    } else if (pattern.nUserData != 0) {
        Fill(packet,
             std::string_view(pattern.strUserData).substr(0, PacketLengthOf(pattern.strUserData)));
    } else {
        file.bMoreToSend = false;
        file.nRemaining = data.nFileLength;
        BuildNextFilePiece(packet, file, data);
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
