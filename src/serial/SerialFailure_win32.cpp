// The system's word on a port that did not open, on Windows: FormatMessage's
// text, and what the operator can do about the usual causes.
#include "serial/SerialFailure.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace quorvel {

std::string SystemErrorText(int code) {
    char* text = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string result =
        length > 0 && text != nullptr ? std::string(text, length) : "error " + std::to_string(code);
    LocalFree(text);
    while (!result.empty() && (result.back() == '\n' || result.back() == '\r' ||
                               result.back() == ' ' || result.back() == '.')) {
        result.pop_back();  // the system's text ends in a full stop and a line break
    }
    return result;
}

std::string SystemErrorHint(SerialStep step, const std::string& /*device*/, int code) {
    if (step == SerialStep::Busy) {
        return "Another program has the port open: close it there, then choose Test > Start "
               "again.";
    }
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) {
        return "Check that the card is installed and that its driver offers this COM number "
               "(the Device Manager lists the ports under \"Ports (COM & LPT)\").";
    }
    return {};
}

}  // namespace quorvel
