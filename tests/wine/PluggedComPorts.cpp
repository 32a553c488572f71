#include "wine/PluggedComPorts.h"

#include <windows.h>

#include <cstdlib>

namespace quorvel::testing {

bool UnderWine() {
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

int PluggedCom() {
    const char* value = std::getenv("QUORVEL_WINE_COM");
    return value != nullptr ? std::atoi(value) : 0;
}

std::vector<RecordedMessage> OpenMessages(int openedPorts) {
    if (!UnderWine()) {
        return {};
    }
    return std::vector<RecordedMessage>(static_cast<std::size_t>(openedPorts), kDriverRefused);
}

}  // namespace quorvel::testing
