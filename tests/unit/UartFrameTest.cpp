// The card's UART framing model: character times, and what a receiver with
// other line settings reads of a sender's characters.
#include <gtest/gtest.h>

#include "card/UartFrame.h"
#include "serial/LineSettings.h"

namespace quorvel {
namespace {

UartFrame Frame(std::uint32_t baud, int dataBits, Parity parity, StopBits stopBits) {
    return UartFrame{baud, static_cast<DataBits>(dataBits), parity, stopBits};
}

TEST(UartFrameTest, ACharacterTakesItsStartDataParityAndStopBits) {
    EXPECT_DOUBLE_EQ(Frame(9600, 8, Parity::None, StopBits::One).CharacterSeconds(), 10.0 / 9600);
    EXPECT_DOUBLE_EQ(Frame(115200, 7, Parity::Even, StopBits::Two).CharacterSeconds(),
                     11.0 / 115200);
    EXPECT_DOUBLE_EQ(Frame(300, 5, Parity::None, StopBits::OnePointFive).CharacterSeconds(),
                     7.5 / 300);
}

TEST(UartFrameTest, AReceiverWithTheSenderFrameReadsEveryCharacterAsSent) {
    for (const UartFrame frame :
         {Frame(9600, 8, Parity::None, StopBits::One), Frame(921600, 7, Parity::Odd, StopBits::Two),
          Frame(110, 5, Parity::Mark, StopBits::OnePointFive)}) {
        for (int value = 0; value < 256; ++value) {
            const auto byte = static_cast<std::uint8_t>(value & DataMask(frame.dataBits));
            ASSERT_EQ(ResampleCharacter(byte, frame, frame), byte)
                << value << " at " << frame.baud << " with " << BitCount(frame.dataBits) << " bits";
        }
    }
}

TEST(UartFrameTest, OtherSettingsOnTheReceiverCorruptOrPassAsOnHardware) {
    const UartFrame sender = Frame(9600, 8, Parity::None, StopBits::One);
    // Twice the bit rate: 'A' (start 0, then 1 0 0 0 0 0 1 0) is read at half
    // bits, and the receiver's stop bit falls on a data bit of 0: no frame.
    EXPECT_EQ(ResampleCharacter('A', sender, Frame(19200, 8, Parity::None, StopBits::One)), 0);
    // Half the bit rate: every sample lands on every other bit of the sender.
    int changed = 0;
    for (int value = 0; value < 256; ++value) {
        const auto byte = static_cast<std::uint8_t>(value);
        changed +=
            ResampleCharacter(byte, sender, Frame(4800, 8, Parity::None, StopBits::One)) != byte;
    }
    EXPECT_GT(changed, 200);
    // Odd parity read as even: every character fails its parity check.
    const UartFrame odd = Frame(9600, 8, Parity::Odd, StopBits::One);
    const UartFrame even = Frame(9600, 8, Parity::Even, StopBits::One);
    EXPECT_EQ(ResampleCharacter('x', odd, even), 0);
    EXPECT_EQ(ResampleCharacter('y', odd, even), 0);
    // Only the stop bits differ: a receiver wanting one reads two as they are.
    EXPECT_EQ(ResampleCharacter('z', Frame(9600, 8, Parity::None, StopBits::Two), sender), 'z');
}

TEST(UartFrameTest, TheReceiverSaysWhichFaultItFoundInACharacterItCannotRead) {
    const UartFrame sender = Frame(9600, 8, Parity::None, StopBits::One);
    UartError error = UartError::Parity;
    EXPECT_EQ(ResampleCharacter('A', sender, sender, &error), 'A');
    EXPECT_EQ(error, UartError::None);
    EXPECT_EQ(ResampleCharacter('A', sender, Frame(19200, 8, Parity::None, StopBits::One), &error),
              0);
    EXPECT_EQ(error, UartError::Framing);  // no stop bit where one belongs
    const UartFrame odd = Frame(9600, 8, Parity::Odd, StopBits::One);
    EXPECT_EQ(ResampleCharacter('x', odd, Frame(9600, 8, Parity::Even, StopBits::One), &error), 0);
    EXPECT_EQ(error, UartError::Parity);
}

}  // namespace
}  // namespace quorvel
