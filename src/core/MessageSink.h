#pragma once

#include <string>

namespace quorvel {

// Message box styles with the numeric values of the Win32 MB_* flags, so that a
// message keeps one identity on every platform and tests can assert it exactly.
namespace mb {
inline constexpr unsigned kOk = 0x00000000;               // MB_OK
inline constexpr unsigned kOkCancel = 0x00000001;         // MB_OKCANCEL
inline constexpr unsigned kYesNo = 0x00000004;            // MB_YESNO
inline constexpr unsigned kIconHand = 0x00000010;         // MB_ICONHAND (stop sign)
inline constexpr unsigned kIconQuestion = 0x00000020;     // MB_ICONQUESTION
inline constexpr unsigned kIconExclamation = 0x00000030;  // MB_ICONEXCLAMATION
inline constexpr unsigned kIconAsterisk = 0x00000040;     // MB_ICONASTERISK (information)
inline constexpr unsigned kButtonMask = 0x0000000F;
inline constexpr unsigned kIconMask = 0x000000F0;
}  // namespace mb

// Whether a message of `style` only informs (the information icon): it tells
// the operator something, and nothing has failed. Every other message tells
// of something that went wrong, or asks.
constexpr bool IsInformationOnly(unsigned style) {
    return (style & mb::kIconMask) == mb::kIconAsterisk;
}

// Who owns a message box: most are owned by the main window; a few have none
// and then stand on their own with the system's default title.
enum class MessageOwner { MainWindow, None };

// Where every message of the system goes. The GUI shows a modal box on the GUI
// thread (a caller on a worker thread waits until the operator closes it);
// tests record the messages. Implementations must accept calls from any thread.
//
// `detail` is what the operator needs to act on the message (why a port did
// not open, and what to do about it), shown beneath the text; the text itself
// stays the system's own. Empty for most messages.
class MessageSink {
  public:
    virtual ~MessageSink() = default;
    virtual void ShowMessage(const std::string& text, const std::string& caption, unsigned style,
                             MessageOwner owner, const std::string& detail) = 0;
    // A message about one port of a test (`port` 0-7), told by the engine's
    // per-port code: a sink that reports by port (an unattended run) says
    // which; the others show it as any message, in the system's own words.
    virtual void ShowPortMessage(int /*port*/, const std::string& text, const std::string& caption,
                                 unsigned style, MessageOwner owner, const std::string& detail) {
        ShowMessage(text, caption, style, owner, detail);
    }
};

// The process-wide sink. Written by the GUI's start-up or a test fixture before
// any worker thread runs; read by any thread. With no sink installed a message
// is written to standard error, so nothing is ever lost silently.
void InstallMessageSink(MessageSink* sink);
MessageSink* InstalledMessageSink();

// Shows a message through the installed sink.
void ShowMessage(const std::string& text, const std::string& caption, unsigned style,
                 MessageOwner owner = MessageOwner::MainWindow, const std::string& detail = {});
// Shows a message about one port (0-7) through the installed sink.
void ShowPortMessage(int port, const std::string& text, const std::string& caption, unsigned style,
                     MessageOwner owner = MessageOwner::MainWindow, const std::string& detail = {});

}  // namespace quorvel
