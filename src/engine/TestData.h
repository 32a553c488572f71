#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string_view>
#include <vector>

#include "core/AutoResetEvent.h"
#include "core/PerPort.h"
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

// A port's last packet. Guarded by the port's lock (PortSender).
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

// The write thread's parameter block: filled by the GUI thread before the
// thread starts.
struct WriteThreadParams {
    PerPort<PortHandle> hPorts{};
    const std::atomic<bool>* pbTestRunning = nullptr;
    std::int32_t nPorts = kPortCount;
    ThreadExitSink* hMainWnd = nullptr;
    AutoResetEvent* hWriteEvent = nullptr;
    AutoResetEvent* hThreadExitEvent = nullptr;
};

// A receive thread's parameter block: filled by the GUI thread when it starts
// the thread, which keeps its own copy.
struct ReadThreadParams {
    PortHandle hPort;
    const std::atomic<bool>* pbTestRunning = nullptr;
    ThreadExitSink* hMainWnd = nullptr;
    std::int32_t nPort = 0;
};

}  // namespace quorvel
