#include "res/ConsoleLayout.h"

#include "res/resource.h"

namespace quorvel::res {
namespace {

using IdRow = std::array<int, kPortCount>;

// The control-ID table: one row a role, one column a panel.
constexpr std::array<IdRow, kPanelRoles> kIds{{
    {1029, 1039, 1049, 1059, 1077, 1089, 1101, 1113},  // Enable
    {1030, 1040, 1050, 1066, 1078, 1090, 1102, 1114},  // Error Count
    {1126, 1127, 1129, 1131, 1135, 1140, 1145, 1146},  // Packet Count
    {1031, 1041, 1051, 1067, 1079, 1091, 1103, 1115},  // TXD
    {1032, 1042, 1052, 1068, 1080, 1092, 1104, 1116},  // DTR
    {1034, 1043, 1053, 1069, 1081, 1093, 1105, 1117},  // RTS
    {1035, 1044, 1054, 1070, 1082, 1094, 1106, 1118},  // RXD
    {1036, 1045, 1055, 1071, 1083, 1095, 1107, 1119},  // DSR
    {1037, 1046, 1056, 1072, 1084, 1096, 1108, 1120},  // CTS
    {1038, 1047, 1057, 1073, 1085, 1097, 1109, 1121},  // RI
    {1060, 1062, 1064, 1074, 1086, 1098, 1110, 1122},  // DCD
    {1061, 1063, 1065, 1075, 1087, 1099, 1111, 1123},  // transmit box
    {1028, 1033, 1048, 1058, 1076, 1088, 1100, 1112},  // receive box
    {1026, 1027, 1124, 1128, 1130, 1132, 1136, 1141},  // Internal LoopTest
    {1010, 1013, 1016, 1019, 1022, 1025, 1137, 1142},  // Test Forever
    {1012, 1015, 1018, 1021, 1024, 1134, 1139, 1144},  // Error option
    {1011, 1014, 1017, 1020, 1023, 1133, 1138, 1143},  // Time option
    {1125, 1156, 1176, 1178, 1180, 1182, 1186, 1188},  // hour box
    {1147, 1175, 1177, 1179, 1181, 1183, 1187, 1189},  // minute box
    {1148, 1151, 1157, 1160, 1163, 1166, 1169, 1172},  // Run
    {1149, 1152, 1158, 1161, 1164, 1167, 1170, 1173},  // Stop
    {1150, 1153, 1159, 1162, 1165, 1168, 1171, 1174},  // Transfer
}};

struct PanelControl {
    PanelRole role;
    ControlKind kind;
    const char* caption;
    std::uint32_t style;
    int x, y, width, height;
};

// One panel's controls, placed relative to the panel's origin.
constexpr std::array<PanelControl, kPanelRoles> kPanel{{
    {PanelRole::Enable, ControlKind::CheckBox, "Enable", 0x50010003, 5, 10, 38, 10},
    {PanelRole::ErrorCount, ControlKind::Edit, "", 0x58812880, 130, 10, 40, 14},
    {PanelRole::PacketCount, ControlKind::Edit, "", 0x50812880, 130, 30, 40, 14},
    {PanelRole::Txd, ControlKind::CheckBox, "TXD", 0x58010003, 4, 32, 31, 10},
    {PanelRole::Dtr, ControlKind::CheckBox, "DTR", 0x58010003, 40, 30, 31, 10},
    {PanelRole::Rts, ControlKind::CheckBox, "RTS", 0x58010003, 40, 20, 31, 10},
    {PanelRole::Rxd, ControlKind::CheckBox, "RXD", 0x58010003, 200, 30, 31, 10},
    {PanelRole::Dsr, ControlKind::CheckBox, "DSR", 0x58010003, 235, 20, 31, 10},
    {PanelRole::Cts, ControlKind::CheckBox, "CTS", 0x58010003, 235, 30, 30, 10},
    {PanelRole::Ri, ControlKind::CheckBox, "RI", 0x58010003, 235, 10, 25, 8},
    {PanelRole::Dcd, ControlKind::CheckBox, "DCD", 0x58010003, 200, 20, 30, 8},
    {PanelRole::Transmit, ControlKind::Edit, "", 0x50B118C4, 10, 50, 120, 45},
    {PanelRole::Receive, ControlKind::Edit, "", 0x50B118C4, 145, 50, 120, 45},
    {PanelRole::LoopTest, ControlKind::CheckBox, "Internal LoopTest", 0x50010003, 5, 115, 71, 10},
    {PanelRole::TestForever, ControlKind::RadioButton, "Test Forever", 0x50030009, 84, 115, 56, 10},
    {PanelRole::ErrorOption, ControlKind::RadioButton, "Error", 0x58010009, 152, 115, 31, 10},
    {PanelRole::TimeOption, ControlKind::RadioButton, "Time", 0x50010009, 186, 115, 29, 10},
    {PanelRole::Hours, ControlKind::Edit, "", 0x50812000, 225, 110, 15, 14},
    {PanelRole::Minutes, ControlKind::Edit, "", 0x50812000, 249, 110, 15, 14},
    {PanelRole::Run, ControlKind::PushButton, "Run", 0x50010000, 25, 135, 50, 14},
    {PanelRole::Stop, ControlKind::PushButton, "Stop", 0x50010000, 110, 135, 50, 14},
    {PanelRole::Transfer, ControlKind::PushButton, "Transfer", 0x50010000, 195, 135, 50, 14},
}};

struct Origin {
    int x, y, width;
};
constexpr std::array<Origin, kPortCount> kOrigins{{{10, 10, 270},
                                                   {285, 10, 270},
                                                   {10, 175, 270},
                                                   {285, 175, 270},
                                                   {10, 345, 270},
                                                   {284, 345, 271},
                                                   {10, 510, 270},
                                                   {285, 510, 270}}};

DialogTemplate MakeConsoleTemplate() {
    DialogTemplate t{kConsoleTemplate,
                     "Serial Communication Test",
                     582,
                     681,
                     "MS Sans Serif",
                     8,
                     0x80F008C0,
                     {}};
    for (int port = 0; port < kPortCount; ++port) {
        const Origin& o = kOrigins[static_cast<std::size_t>(port)];
        t.controls.push_back(
            {-1, ControlKind::GroupBox, "Port" + std::to_string(port + 1), o.x, o.y, o.width, 155});
        for (const PanelControl& c : kPanel) {
            t.controls.push_back({ConsoleControlId(c.role, port), c.kind, c.caption, o.x + c.x,
                                  o.y + c.y, c.width, c.height, c.style});
        }
        t.controls.push_back(
            {-1, ControlKind::Label, "Error Count:", o.x + 85, o.y + 12, 43, 8, kWsDisabled});
        t.controls.push_back({-1, ControlKind::Label, "Packet Count:", o.x + 80, o.y + 32, 48, 8});
        t.controls.push_back({-1, ControlKind::GroupBox, "Stop On", o.x + 140, o.y + 105, 80, 22});
        t.controls.push_back({-1, ControlKind::Label, " :", o.x + 241, o.y + 112, 8, 8});
    }
    return t;
}

}  // namespace

int ConsoleControlId(PanelRole role, int port) {
    return kIds[static_cast<std::size_t>(role)][static_cast<std::size_t>(port)];
}

const DialogTemplate& ConsoleTemplate() {
    static const DialogTemplate kTemplate = MakeConsoleTemplate();
    return kTemplate;
}

}  // namespace quorvel::res
