#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string_view>
#include <thread>
#include <vector>

#include "core/AutoResetEvent.h"
#include "serial/SerialDevice.h"

namespace quorvel {

class ThreadExitSink;

// The two fixed patterns, without a terminator.
inline constexpr std::string_view kQuickBrown = "Quick Brown Fox Jumps Over The Lazy Dog.\r\n";
inline constexpr std::string_view kAlphabets = "0123456789abcdefghijklmnopqrstuvwxyz.\r\n";

// The largest packet: what one write carries and one read takes.
inline constexpr int kMaxPacket = 450;
// The largest file a port sends.
inline constexpr std::size_t kMaxFileData = 60000;

// A port's last packet. Guarded by the port's lock in TestRuntime.
struct TxPacket {
    std::int32_t nLength = 0;
    std::array<std::uint8_t, 503> data{};  // the packet, then a NUL
};

// A port's run: shared by the GUI thread (Run, Stop, the first packet) and the
// write thread (every later packet).
struct PortRunState {
    std::atomic<std::int32_t> nErrorCount{0};
    std::atomic<std::int32_t> nPacketCount{0};  // changed under the port's lock
    std::atomic<bool> bRunning{false};
};

// How far a port's file pass has gone. nRemaining and nOffset are guarded by
// the port's lock; bMoreToSend is also cleared by Stop without it.
struct FileSendState {
    std::int32_t nRemaining = 0;
    std::int32_t nOffset = 0;
    std::atomic<bool> bMoreToSend{false};
};

// The file a port sends: at most kMaxFileData bytes. Written by the data
// pattern dialog while the port does not run, under the port's lock.
struct PortFileData {
    std::vector<std::uint8_t> FileData;
    std::int32_t nFileLength = 0;
};

// A port's receive area. The thread is started by Test > Start and joined by
// close-all, both on the GUI thread; the count and the text are written and
// read by the port's receive thread only.
struct PortRxData {
    std::thread pReadThread;
    std::int32_t nRxCount = 0;
    std::array<char, 500> szRxText{};
};

struct WriteThreadParams {
    std::array<PortHandle, 8> hPorts{};
    const std::atomic<bool>* pbTestRunning = nullptr;
    std::int32_t nPorts = 8;
    ThreadExitSink* hMainWnd = nullptr;
    AutoResetEvent* hWriteEvent = nullptr;
    AutoResetEvent* hThreadExitEvent = nullptr;
};

// A receive thread's parameter block: filled by the GUI thread before the
// thread starts and cleared after it is joined; pRxData is the thread's own.
struct ReadThreadParams {
    PortHandle hPort;
    const std::atomic<bool>* pbTestRunning = nullptr;
    ThreadExitSink* hMainWnd = nullptr;
    std::int32_t nPort = 0;
    std::int32_t* pnRxCount = nullptr;
    const char* pRxData = nullptr;  // the latest chunk; receive thread only
};

}  // namespace quorvel
