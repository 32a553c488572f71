#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "core/MessageSink.h"

namespace quorvel::testing {

// One message as the system showed it.
struct RecordedMessage {
    std::string text;
    std::string caption;
    unsigned style = 0;
    MessageOwner owner = MessageOwner::MainWindow;

    bool operator==(const RecordedMessage&) const = default;
};

// Records every message instead of showing it; installs itself for its lifetime.
class RecordingMessageSink final : public MessageSink {
  public:
    RecordingMessageSink() : m_previous(InstalledMessageSink()) { InstallMessageSink(this); }
    ~RecordingMessageSink() override { InstallMessageSink(m_previous); }
    RecordingMessageSink(const RecordingMessageSink&) = delete;
    RecordingMessageSink& operator=(const RecordingMessageSink&) = delete;

    void ShowMessage(const std::string& text, const std::string& caption, unsigned style,
                     MessageOwner owner) override {
        std::lock_guard lock(m_mutex);
        m_messages.push_back({text, caption, style, owner});
    }

    std::vector<RecordedMessage> Messages() const {
        std::lock_guard lock(m_mutex);
        return m_messages;
    }

    void Clear() {
        std::lock_guard lock(m_mutex);
        m_messages.clear();
    }

  private:
    MessageSink* m_previous;
    mutable std::mutex m_mutex;
    std::vector<RecordedMessage> m_messages;  // guarded by m_mutex
};

}  // namespace quorvel::testing
