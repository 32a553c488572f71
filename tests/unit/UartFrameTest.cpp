// The card's UART framing model: character times, and what a receiver with
// other line settings reads of a sender's characters.
#include <gtest/gtest.h>

#include "card/UartFrame.h"
#include "serial/LineState.h"

namespace quorvel {
namespace {

UartFrame Frame(std::uint32_t baud, std::uint8_t dataBits, std::uint8_t parity,
                std::uint8_t stopBits) {
    return UartFrame{baud, dataBits, parity, stopBits};
}

TEST(UartFrameTest, ACharacterTakesItsStartDataParityAndStopBits) {
    EXPECT_DOUBLE_EQ(Frame(9600, 8, line::kNoParity, line::kOneStopBit).CharacterSeconds(),
                     10.0 / 9600);
    EXPECT_DOUBLE_EQ(Frame(115200, 7, line::kEvenParity, line::kTwoStopBits).CharacterSeconds(),
                     11.0 / 115200);
    EXPECT_DOUBLE_EQ(Frame(300, 5, line::kNoParity, line::kOne5StopBits).CharacterSeconds(),
                     7.5 / 300);
}

TEST(UartFrameTest, AReceiverWithTheSenderFrameReadsEveryCharacterAsSent) {
    for (const UartFrame frame : {Frame(9600, 8, line::kNoParity, line::kOneStopBit),
                                  Frame(921600, 7, line::kOddParity, line::kTwoStopBits),
                                  Frame(110, 5, line::kMarkParity, line::kOne5StopBits)}) {
        for (int value = 0; value < 256; ++value) {
            const auto byte = static_cast<std::uint8_t>(value & DataMask(frame.dataBits));
            ASSERT_EQ(ResampleCharacter(byte, frame, frame), byte)
                << value << " at " << frame.baud << " with " << int(frame.dataBits) << " bits";
        }
    }
}

TEST(UartFrameTest, OtherSettingsOnTheReceiverCorruptOrPassAsOnHardware) {
    const UartFrame sender = Frame(9600, 8, line::kNoParity, line::kOneStopBit);
    // Twice the bit rate: 'A' (start 0, then 1 0 0 0 0 0 1 0) is read at half
    // bits, and the receiver's stop bit falls on a data bit of 0: no frame.
    EXPECT_EQ(ResampleCharacter('A', sender, Frame(19200, 8, line::kNoParity, line::kOneStopBit)),
              0);
    // Half the bit rate: every sample lands on every other bit of the sender.
    int changed = 0;
    for (int value = 0; value < 256; ++value) {
        const auto byte = static_cast<std::uint8_t>(value);
        changed += ResampleCharacter(byte, sender,
                                     Frame(4800, 8, line::kNoParity, line::kOneStopBit)) != byte;
    }
    EXPECT_GT(changed, 200);
    // Odd parity read as even: every character fails its parity check.
    const UartFrame odd = Frame(9600, 8, line::kOddParity, line::kOneStopBit);
    const UartFrame even = Frame(9600, 8, line::kEvenParity, line::kOneStopBit);
    EXPECT_EQ(ResampleCharacter('x', odd, even), 0);
    EXPECT_EQ(ResampleCharacter('y', odd, even), 0);
    // Only the stop bits differ: a receiver wanting one reads two as they are.
    EXPECT_EQ(ResampleCharacter('z', Frame(9600, 8, line::kNoParity, line::kTwoStopBits), sender),
              'z');
}

}  // namespace
}  // namespace quorvel
