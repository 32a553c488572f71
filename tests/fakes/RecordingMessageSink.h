#pragma once

#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "core/MessageSink.h"

namespace quorvel::testing {

// One message as the system showed it.
struct RecordedMessage {
    RecordedMessage() = default;
    RecordedMessage(std::string text_, std::string caption_, unsigned style_,
                    MessageOwner owner_ = MessageOwner::MainWindow, std::string detail_ = {})
        : text(std::move(text_)),
          caption(std::move(caption_)),
          style(style_),
          owner(owner_),
          detail(std::move(detail_)) {}

    std::string text;
    std::string caption;
    unsigned style = 0;
    MessageOwner owner = MessageOwner::MainWindow;
    std::string detail;

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
                     MessageOwner owner, const std::string& detail) override {
        std::lock_guard lock(m_mutex);
        m_messages.push_back({text, caption, style, owner, detail});
    }

    std::vector<RecordedMessage> Messages() const {
        std::lock_guard lock(m_mutex);
        return m_messages;
    }

    // Every message recorded, a line each, for a failed expectation to show.
    std::string Shown() const {
        std::lock_guard lock(m_mutex);
        std::string shown;
        for (const RecordedMessage& message : m_messages) {
            shown += "[" + message.caption + "] " + message.text + "\n";
        }
        return shown;
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
