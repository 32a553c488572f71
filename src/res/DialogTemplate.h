#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quorvel::res {

// The kinds of control a dialog template places.
enum class ControlKind {
    Label,
    Edit,
    PushButton,
    DefaultPushButton,
    CheckBox,
    RadioButton,
    GroupBox,
    ComboList,
    Icon,
};

// One control of a template: its ID (-1 for none), kind, text, position and
// size in dialog units, and its window style bits.
struct ControlTemplate {
    int id;
    ControlKind kind;
    std::string text;
    int x, y, width, height;
    std::uint32_t style = 0;
    std::vector<std::string> items = {};  // a list's fixed entries, index 0 first
};

// A dialog template as data: the widget builder turns it into widgets placed
// by dialog-unit conversion from its font.
struct DialogTemplate {
    int id;
    std::string caption;
    int width, height;  // dialog units
    std::string font;
    int pointSize;
    std::uint32_t style;
    std::vector<ControlTemplate> controls;
};

// Window style bits the builder looks at.
inline constexpr std::uint32_t kWsDisabled = 0x08000000;
inline constexpr std::uint32_t kWsHScroll = 0x00100000;
inline constexpr std::uint32_t kEsNumber = 0x00002000;
inline constexpr std::uint32_t kEsReadOnly = 0x00000800;
inline constexpr std::uint32_t kEsMultiline = 0x00000004;

const DialogTemplate& WriteDelayTemplate();
const DialogTemplate& AboutTemplate();
const DialogTemplate& PortPageTemplate();
const DialogTemplate& DataPatternTemplate();

}  // namespace quorvel::res
