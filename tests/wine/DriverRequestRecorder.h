#pragma once

// Records the program's DeviceIoControl calls: the entry of DeviceIoControl
// in the test executable's import table is pointed at a recorder that keeps
// the code and the input bytes and then makes the real call. So a test sees
// the bytes the backend handed to the driver also where no driver of the card
// answers (Wine refuses the card's private codes).

#include <cstdint>
#include <cstring>
#include <mutex>
#include <vector>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace quorvel::testing {

struct DriverCall {
    std::uint32_t code = 0;
    std::vector<std::uint8_t> input;
    DWORD error = 0;  // 0 when the call succeeded
};

class DriverRequestRecorder {
  public:
    DriverRequestRecorder() {
        s_active = this;
        m_hooked = Patch(reinterpret_cast<void*>(&Recorded), &m_real);
    }
    ~DriverRequestRecorder() {
        if (m_hooked) {
            void* ignored = nullptr;
            Patch(m_real, &ignored);
        }
        s_active = nullptr;
    }
    DriverRequestRecorder(const DriverRequestRecorder&) = delete;
    DriverRequestRecorder& operator=(const DriverRequestRecorder&) = delete;

    bool Hooked() const { return m_hooked; }

    std::vector<DriverCall> Calls() const {
        std::lock_guard lock(m_mutex);
        return m_calls;
    }

  private:
    using DeviceIoControlFunction = BOOL(WINAPI*)(HANDLE, DWORD, LPVOID, DWORD, LPVOID, DWORD,
                                                  LPDWORD, LPOVERLAPPED);

    static BOOL WINAPI Recorded(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out,
                                DWORD outSize, LPDWORD returned, LPOVERLAPPED overlapped) {
        DriverRequestRecorder* self = s_active;
        DeviceIoControlFunction real = nullptr;
        std::memcpy(&real, &self->m_real, sizeof real);
        const BOOL result = real(device, code, in, inSize, out, outSize, returned, overlapped);
        const DWORD error = result ? 0 : GetLastError();
        {
            std::lock_guard lock(self->m_mutex);
            const auto* bytes = static_cast<const std::uint8_t*>(in);
            self->m_calls.push_back(
                {code, bytes ? std::vector<std::uint8_t>(bytes, bytes + inSize)
                             : std::vector<std::uint8_t>{},
                 error});
        }
        SetLastError(error);
        return result;
    }

    // Puts `replacement` in the executable's import slot of DeviceIoControl
    // and returns the slot's previous value in `previous`.
    static bool Patch(void* replacement, void** previous) {
        auto* base = reinterpret_cast<std::uint8_t*>(GetModuleHandleA(nullptr));
        const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
        const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
        const IMAGE_DATA_DIRECTORY& directory =
            nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
        if (directory.VirtualAddress == 0) {
            return false;
        }
        for (auto* import =
                 reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
             import->Name != 0; ++import) {
            if (import->OriginalFirstThunk == 0) {
                continue;
            }
            auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + import->OriginalFirstThunk);
            auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + import->FirstThunk);
            for (; names->u1.AddressOfData != 0; ++names, ++slots) {
                if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) {
                    continue;
                }
                const auto* byName =
                    reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
                if (std::strcmp(reinterpret_cast<const char*>(byName->Name), "DeviceIoControl") !=
                    0) {
                    continue;
                }
                DWORD protection = 0;
                if (!VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function,
                                    PAGE_READWRITE, &protection)) {
                    return false;
                }
                *previous = reinterpret_cast<void*>(slots->u1.Function);
                slots->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
                VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, protection,
                               &protection);
                return true;
            }
        }
        return false;
    }

    static inline DriverRequestRecorder* s_active = nullptr;
    void* m_real = nullptr;
    bool m_hooked = false;
    mutable std::mutex m_mutex;
    std::vector<DriverCall> m_calls;  // guarded by m_mutex
};

}  // namespace quorvel::testing
