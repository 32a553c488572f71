#pragma once

#include <string>
#include <vector>

namespace quorvel::res {

// One item of a menu: a command (with its text, '&' before the mnemonic and
// the shortcut after a tab), a separator (command 0) or a popup of items.
struct MenuItem {
    int command = 0;
    std::string text;
    std::vector<MenuItem> items;  // a popup when not empty

    bool IsSeparator() const { return command == 0 && items.empty(); }
};

// Menu 128 (no document open) and menu 129 (the document's).
const std::vector<MenuItem>& MainFrameMenu();
const std::vector<MenuItem>& DocumentMenu();

// Toolbar 128: its buttons, in order.
const std::vector<int>& ToolbarButtons();

// Accelerator table 128.
struct Accelerator {
    std::string keys;  // as a key sequence reads it, e.g. "Ctrl+N", "Shift+F6"
    int command;
};
const std::vector<Accelerator>& Accelerators();

// The prompt of a command: its status-bar text and its tooltip (the two
// parts of its string-table entry); empty when it has none.
struct Prompt {
    std::string status;
    std::string tooltip;
};
Prompt PromptOf(int command);

// The string table's other entries.
inline constexpr const char* kMainTitle = "Quorvel";
inline constexpr const char* kIdleText = "For Help, press F1";
inline constexpr const char* kDocumentTitle = "Zelk KT4410x/KT2280x UART Series Test Program";

}  // namespace quorvel::res
