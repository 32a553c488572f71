// Ctrl+C on Windows: the console's control handler notes the request and the
// run's main thread takes it.
#include <io.h>
#include <windows.h>

#include <atomic>
#include <cstdio>

#include "run/RunTerminal.h"

namespace quorvel {
namespace {

std::atomic<bool> g_interrupted{false};  // set by the control handler, taken by the main thread

BOOL WINAPI OnControl(DWORD event) {
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT || event == CTRL_CLOSE_EVENT) {
        g_interrupted = true;
        return TRUE;
    }
    return FALSE;
}

}  // namespace

RunTerminal::RunTerminal() {
    SetConsoleCtrlHandler(OnControl, TRUE);
}

RunTerminal::~RunTerminal() {
    SetConsoleCtrlHandler(OnControl, FALSE);
}

bool RunTerminal::InterruptRequested() {
    m_interrupted = m_interrupted || g_interrupted.exchange(false);
    return m_interrupted;
}

bool RunTerminal::OutputIsTerminal() {
    return _isatty(_fileno(stdout)) != 0;
}

std::string RunTerminal::HostName() {
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof name;
    return GetComputerNameA(name, &size) ? std::string(name, size) : std::string();
}

}  // namespace quorvel
