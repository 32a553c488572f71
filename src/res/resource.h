#pragma once

// The program's numeric resource identifiers: commands, templates, strings
// and the controls of each dialog template.

namespace quorvel::res {

// Main window, document template and their resources.
inline constexpr int kMainFrame = 128;    // menu, toolbar, accelerators, icon, title
inline constexpr int kDocTemplate = 129;  // the document template and its menu

// Commands of the program's own.
inline constexpr int kConfigLoad = 32771;
inline constexpr int kConfigSave = 32772;
inline constexpr int kTestStart = 32777;
inline constexpr int kTestStop = 32778;
inline constexpr int kConfigHelp = 32784;
inline constexpr int kPortSettings = 32785;
inline constexpr int kTestDelay = 32786;
inline constexpr int kViewStatistics = 32790;  // the Test Statistics window

// The framework's commands that the program uses.
inline constexpr int kFileNew = 57600;
inline constexpr int kFileOpen = 57601;
inline constexpr int kFileSave = 57603;
inline constexpr int kFilePrintSetup = 57606;
inline constexpr int kFilePrint = 57607;
inline constexpr int kFilePrintDirect = 57608;
inline constexpr int kFilePrintPreview = 57609;
inline constexpr int kFileMru1 = 57616;
inline constexpr int kEditCopy = 57634;
inline constexpr int kEditCut = 57635;
inline constexpr int kEditPaste = 57637;
inline constexpr int kEditUndo = 57643;
inline constexpr int kAppAbout = 57664;
inline constexpr int kAppExit = 57665;
inline constexpr int kHelpIndex = 57667;
inline constexpr int kContextHelp = 57669;
inline constexpr int kHelp = 57670;
inline constexpr int kHelpFinder = 57671;
inline constexpr int kNextPane = 57680;
inline constexpr int kPrevPane = 57681;
inline constexpr int kViewToolbar = 59392;
inline constexpr int kViewStatusBar = 59393;
inline constexpr int kIndicatorCaps = 59137;
inline constexpr int kIndicatorNum = 59138;
inline constexpr int kIndicatorScroll = 59139;

// Strings.
inline constexpr int kAppTitle = 57344;
inline constexpr int kIdleMessage = 57345;

// Dialog templates.
inline constexpr int kAboutTemplate = 100;
inline constexpr int kPortPageTemplate = 130;
inline constexpr int kConsoleTemplate = 132;
inline constexpr int kDataPatternTemplate = 133;
inline constexpr int kWriteDelayTemplate = 141;

// Standard dialog buttons.
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;

// Controls of the About box (template 100): the program icon.
namespace about {
inline constexpr int kIcon = 128;
}

// Controls of a port settings page (template 130).
namespace page {
inline constexpr int kBaud = 1005;
inline constexpr int kDataLength = 1006;
inline constexpr int kParity = 1007;
inline constexpr int kStopBits = 1008;
inline constexpr int kFlowControl = 1018;
inline constexpr int kRs485 = 1022;
inline constexpr int kDtr = 1023;
inline constexpr int kRts = 1024;
inline constexpr int kRxFifo = 1026;
inline constexpr int kTxFifo = 1027;
inline constexpr int kComBase = 1066;
inline constexpr int kOpenPort = 1147;
inline constexpr int kDtrHysteresis = 1152;
inline constexpr int kRtsHysteresis = 1153;
inline constexpr int kTxTrigger = 1154;
inline constexpr int kRxTrigger = 1155;
}  // namespace page

// Controls of the data pattern dialog (template 133).
namespace pattern {
inline constexpr int kQuickBrown = 1010;
inline constexpr int kAlphabets = 1011;
inline constexpr int kUserPattern = 1012;
inline constexpr int kFile = 1013;
inline constexpr int kSequence = 1014;  // the port's own pseudo-random sequence
inline constexpr int kText = 1063;
}  // namespace pattern

// Controls of the write delay dialog (template 141).
namespace delay {
inline constexpr int kEdit = 1153;
}

}  // namespace quorvel::res
