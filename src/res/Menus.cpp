#include "res/Menus.h"

#include <map>

#include "res/resource.h"

namespace quorvel::res {
namespace {

const MenuItem kSeparator{};

MenuItem ViewMenu() {
    return {0,
            "&View",
            {{kViewToolbar, "&Toolbar", {}},
             {kViewStatusBar, "&Status Bar", {}},
             kSeparator,
             {kViewStatistics, "Test S&tatistics", {}}}};
}

MenuItem HelpMenu() {
    return {0, "&Help", {{kAppAbout, "&About Quorvel...", {}}}};
}

}  // namespace

const std::vector<MenuItem>& MainFrameMenu() {
    static const std::vector<MenuItem> kMenu{
        {0,
         "&File",
         {{kFileNew, "&New\tCtrl+N", {}},
          {kFileOpen, "&Open...\tCtrl+O", {}},
          kSeparator,
          {kFilePrintSetup, "P&rint Setup...", {}},
          kSeparator,
          {kFileMru1, "Recent File", {}},
          kSeparator,
          {kAppExit, "E&xit", {}}}},
        ViewMenu(),
        HelpMenu(),
    };
    return kMenu;
}

const std::vector<MenuItem>& DocumentMenu() {
    static const std::vector<MenuItem> kMenu{
        {0,
         "&Test",
         {{kTestStart, "&Start...", {}},
          {kTestStop, "Sto&p", {}},
          kSeparator,
          {kTestDelay, "Delay", {}},
          kSeparator,
          {kAppExit, "E&xit", {}}}},
        {0,
         "&Config",
         {{kConfigLoad, "&Load...", {}},
          {kConfigSave, "&Save...", {}},
          kSeparator,
          {kConfigHelp, "Hel&p", {}}}},
        {0, "&Setup", {{kPortSettings, "Por&t Settings...", {}}}},
        ViewMenu(),
        HelpMenu(),
    };
    return kMenu;
}

const std::vector<int>& ToolbarButtons() {
    static const std::vector<int> kButtons{kPortSettings, kTestStart,  kTestStop,
                                           kConfigLoad,   kConfigSave, kAppAbout};
    return kButtons;
}

const std::vector<Accelerator>& Accelerators() {
    static const std::vector<Accelerator> kTable{
        {"Ctrl+N", kFileNew},    {"Ctrl+O", kFileOpen},   {"Ctrl+S", kFileSave},
        {"Ctrl+P", kFilePrint},  {"Ctrl+Z", kEditUndo},   {"Ctrl+X", kEditCut},
        {"Ctrl+C", kEditCopy},   {"Ctrl+V", kEditPaste},  {"Alt+Backspace", kEditUndo},
        {"Shift+Del", kEditCut}, {"Ctrl+Ins", kEditCopy}, {"Shift+Ins", kEditPaste},
        {"F6", kNextPane},       {"Shift+F6", kPrevPane}, {"Shift+F1", kContextHelp},
        {"F1", kHelp},
    };
    return kTable;
}

Prompt PromptOf(int command) {
    static const std::map<int, Prompt> kPrompts{
        {kTestStart, {"Opens the dialog for testing  the selected serial ports", "Test Start"}},
        {kTestStop,
         {"Stops the testing and closes the ports and terminates the threads", "Test Stop"}},
        {kAppExit, {"Quit the application; prompts to save documents", "Exit"}},
        {kConfigLoad, {"Loads the Port configuration from a file", "Load Config"}},
        {kConfigSave, {"Saves the Port Configuration to a file", "Save Config"}},
        {kConfigHelp, {"Gives the details as how to load and save port configuration files", ""}},
        {kPortSettings, {"Opens a tabbed dialog to enter the port settings", "PortSettings"}},
        {kAppAbout, {"Display program information, version number and copyright", "About"}},
        {kFileNew, {"Create a new document", "New"}},
        {kFileOpen, {"Open an existing document", "Open"}},
        {kFilePrintSetup, {"Change the printer and printing options", "Print Setup"}},
        {kViewToolbar, {"Show or hide the toolbar", "Toggle ToolBar"}},
        {kViewStatusBar, {"Show or hide the status bar", "Toggle StatusBar"}},
        {kViewStatistics,
         {"Shows what every port sent, received and verified, and its errors", "Test Statistics"}},
        {kHelp, {"Display help for current task or command", "Help"}},
        {kContextHelp, {"Display help for clicked on buttons, menus and windows", "Help"}},
    };
    const auto found = kPrompts.find(command);
    return found == kPrompts.end() ? Prompt{} : found->second;
}

}  // namespace quorvel::res
