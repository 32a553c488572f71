#include "engine/TestParts.h"

namespace quorvel {
namespace {

// Every receiving port's check may follow any port's sent stream.
DataChecker::Streams SentStreams(const PerPort<PortSender>& senders) {
    DataChecker::Streams streams{};
    for (int port = 0; port < kPortCount; ++port) {
        streams[static_cast<std::size_t>(port)] = &senders[port].Sent();
    }
    return streams;
}

}  // namespace

TestParts::TestParts(PortRecords& records, ConsoleHost& host, ThreadExitSink& mainWindow,
                     const TickClock& clock)
    : records(records),
      host(host),
      mainWindow(mainWindow),
      clock(clock),
      senders([&records](int port) { return PortSender(records.m_PortPattern[port], port); }),
      receivers([streams = SentStreams(senders)](int port) { return PortReceiver(streams, port); }) {}

}  // namespace quorvel
