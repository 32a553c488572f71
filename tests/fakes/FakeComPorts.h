#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "fakes/PtyPair.h"
#include "serial/ComDeviceLookup.h"

namespace quorvel::testing {

// A card driver that records every request and answers as told.
class RecordingDriver final : public DriverRequestHandler {
  public:
    struct Request {
        std::uint32_t code;
        std::vector<std::uint8_t> bytes;
    };

    bool HandleRequest(const DriverPort&, std::uint32_t code, const std::uint8_t* data,
                       std::size_t size) override {
        std::lock_guard lock(m_mutex);
        m_requests.push_back({code, std::vector<std::uint8_t>(data, data + size)});
        return m_accept;
    }
    void LineSettingsApplied(const LineSettings& settings) override {
        std::lock_guard lock(m_mutex);
        m_applied.push_back(settings);
    }

    void Accept(bool accept) {
        std::lock_guard lock(m_mutex);
        m_accept = accept;
    }
    std::vector<Request> Requests() const {
        std::lock_guard lock(m_mutex);
        return m_requests;
    }
    std::vector<LineSettings> AppliedSettings() const {
        std::lock_guard lock(m_mutex);
        return m_applied;
    }

  private:
    mutable std::mutex m_mutex;
    bool m_accept = true;
    std::vector<Request> m_requests;
    std::vector<LineSettings> m_applied;
};

// COM numbers on pseudo-terminals, each with a recording driver; every other
// COM number does not exist. Installed for its lifetime.
class FakeComPorts final : public ComDeviceResolver {
  public:
    FakeComPorts() : m_previous(&ActiveComDeviceResolver()) { InstallComDeviceResolver(this); }
    ~FakeComPorts() override { InstallComDeviceResolver(m_previous); }

    PtyPair& Add(int com) {
        auto& pty = m_ports[com];
        pty = std::make_unique<PtyPair>();
        m_drivers[com] = std::make_shared<RecordingDriver>();
        return *pty;
    }
    // A COM number that leads to a device of the test's choosing.
    void AddDevice(int com, std::string path) { m_devices[com] = std::move(path); }
    // What the next Refresh has to tell the operator.
    void TellAtRefresh(std::string fault) { m_fault = std::move(fault); }
    PtyPair& Pty(int com) { return *m_ports.at(com); }
    RecordingDriver& Driver(int com) { return *m_drivers.at(com); }

    std::optional<ComDevice> Resolve(int com) override {
        if (const auto device = m_devices.find(com); device != m_devices.end()) {
            return ComDevice{device->second, nullptr, nullptr};
        }
        const auto found = m_ports.find(com);
        if (found == m_ports.end()) {
            return ComDevice{"/nonexistent/COM" + std::to_string(com), nullptr, nullptr};
        }
        return ComDevice{found->second->SlavePath(), m_drivers.at(com), nullptr};
    }
    std::string Refresh() override { return std::exchange(m_fault, {}); }

  private:
    ComDeviceResolver* m_previous;
    std::map<int, std::unique_ptr<PtyPair>> m_ports;
    std::map<int, std::shared_ptr<RecordingDriver>> m_drivers;
    std::map<int, std::string> m_devices;
    std::string m_fault;
};

}  // namespace quorvel::testing
