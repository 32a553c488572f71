#include "res/DialogTemplate.h"
#include "res/resource.h"

namespace quorvel::res {

const DialogTemplate& WriteDelayTemplate() {
    static const DialogTemplate kTemplate{
        kWriteDelayTemplate,
        "Write Delay",
        147,
        71,
        "MS Sans Serif",
        8,
        0x80C800C0,
        {
            {-1, ControlKind::Label, "Enter the required delay", 15, 5, 76, 8},
            {delay::kEdit, ControlKind::Edit, "", 15, 20, 40, 14, 0x50812080},
            {-1, ControlKind::Label, "msecs", 61, 25, 21, 8},
            {kIdOk, ControlKind::DefaultPushButton, "OK", 15, 50, 50, 14},
            {kIdCancel, ControlKind::PushButton, "Cancel", 80, 50, 50, 14},
        }};
    return kTemplate;
}

const DialogTemplate& AboutTemplate() {
    static const DialogTemplate kTemplate{
        kAboutTemplate,
        "About Quorvel",
        201,
        50,
        "MS Sans Serif",
        8,
        0x80C800C0,
        {
            {about::kIcon, ControlKind::Icon, "", 8, 1, 20, 20},
            {-1, ControlKind::Label, "KT4410x/KT2280x UART Series Test Program", 34, 5, 150, 8},
            {-1, ControlKind::Label, "Version 1.16", 34, 17, 119, 8},
            {kIdOk, ControlKind::DefaultPushButton, "OK", 158, 22, 32, 14},
        }};
    return kTemplate;
}

const DialogTemplate& DataPatternTemplate() {
    static const DialogTemplate kTemplate{
        kDataPatternTemplate,
        "Data Pattern",
        307,
        110,
        "MS Sans Serif",
        8,
        0x80C800C0,
        {
            {pattern::kQuickBrown, ControlKind::RadioButton, "Quick Brown", 10, 10, 57, 10},
            {pattern::kAlphabets, ControlKind::RadioButton, "Alphabets", 10, 30, 47, 10},
            {pattern::kUserPattern, ControlKind::RadioButton, "User Pattern", 10, 50, 55, 10},
            {pattern::kFile, ControlKind::RadioButton, "File", 10, 70, 27, 10},
            {pattern::kSequence, ControlKind::RadioButton, "PRBS", 10, 90, 35, 10},
            {pattern::kText, ControlKind::Edit, "", 80, 5, 141, 80, 0x50B11004},
            {kIdOk, ControlKind::DefaultPushButton, "OK", 245, 20, 50, 14},
            {kIdCancel, ControlKind::PushButton, "Cancel", 245, 45, 50, 14},
        }};
    return kTemplate;
}

namespace {

std::vector<std::string> Numbers(int first, int last) {
    std::vector<std::string> entries;
    for (int n = first; n <= last; ++n) {
        entries.push_back(std::to_string(n));
    }
    return entries;
}

std::vector<std::string> ComNames() {
    std::vector<std::string> entries;
    for (int n = 1; n <= 40; ++n) {
        entries.push_back("COM" + std::to_string(n));
    }
    return entries;
}

}  // namespace

const DialogTemplate& PortPageTemplate() {
    using K = ControlKind;
    const std::vector<std::string> hysteresis{"0", "4", "6", "8", "16"};
    static const DialogTemplate kTemplate{
        kPortPageTemplate,
        "Port ",
        172,
        265,
        "MS Sans Serif",
        8,
        0x40C00000,
        {
            {page::kOpenPort, K::CheckBox, "Open Port For Testing", 10, 7, 100, 10},
            {-1, K::GroupBox, "Settings", 7, 22, 158, 96},
            {-1, K::Label, "Baud Rate:", 14, 36, 55, 8},
            {page::kBaud,
             K::ComboList,
             "",
             75,
             34,
             80,
             12,
             0,
             {"110", "300", "600", "1200", "2400", "4800", "9600", "19200", "38400", "57600",
              "115200", "230400", "460800", "921600"}},
            {-1, K::Label, "Data Length:", 14, 52, 55, 8},
            {page::kDataLength, K::ComboList, "", 75, 50, 80, 12, 0, {"5", "6", "7", "8"}},
            {-1, K::Label, "Parity:", 14, 68, 55, 8},
            {page::kParity,
             K::ComboList,
             "",
             75,
             66,
             80,
             12,
             0,
             {"Odd", "Even", "Mark", "Space", "None"}},
            {-1, K::Label, "Stop Bits:", 14, 84, 55, 8},
            {page::kStopBits, K::ComboList, "", 75, 82, 80, 12},
            {-1, K::Label, "Flow Control:", 14, 100, 55, 8},
            {page::kFlowControl,
             K::ComboList,
             "",
             75,
             98,
             80,
             12,
             0,
             {"Hardware", "Software", "None"}},
            {-1, K::Label, "ComBase:", 14, 128, 55, 8},
            {page::kComBase, K::ComboList, "", 75, 126, 80, 12, 0, ComNames()},
            {page::kRs485, K::CheckBox, "RS485", 14, 146, 60, 10},
            {page::kDtr, K::RadioButton, "DTR", 14, 166, 35, 10},
            {-1, K::Label, "Hysteresis:", 55, 167, 45, 8},
            {page::kDtrHysteresis, K::ComboList, "", 105, 164, 50, 12, 0, hysteresis},
            {page::kRts, K::RadioButton, "RTS", 14, 184, 35, 10},
            {-1, K::Label, "Hysteresis:", 55, 185, 45, 8},
            {page::kRtsHysteresis, K::ComboList, "", 105, 182, 50, 12, 0, hysteresis},
            {page::kTxFifo, K::CheckBox, "Tx  FIFO", 14, 206, 45, 10},
            {-1, K::Label, "Trigger Level:", 60, 207, 52, 8},
            {page::kTxTrigger, K::ComboList, "", 115, 204, 45, 12, 0, Numbers(0, 63)},
            {page::kRxFifo, K::CheckBox, "Rx  FIFO", 14, 226, 45, 10},
            {-1, K::Label, "Trigger Level:", 60, 227, 52, 8},
            {page::kRxTrigger, K::ComboList, "", 115, 224, 45, 12, 0, Numbers(1, 63)},
        }};
    return kTemplate;
}

}  // namespace quorvel::res
