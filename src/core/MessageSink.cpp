#include "core/MessageSink.h"

#include <atomic>
#include <cstdio>

namespace quorvel {
namespace {

// Written by InstallMessageSink (GUI thread or test set-up), read by every thread.
std::atomic<MessageSink*> g_messageSink{nullptr};

}  // namespace

void InstallMessageSink(MessageSink* sink) {
    g_messageSink.store(sink);
}

MessageSink* InstalledMessageSink() {
    return g_messageSink.load();
}

void ShowMessage(const std::string& text, const std::string& caption, unsigned style,
                 MessageOwner owner, const std::string& detail) {
    if (MessageSink* sink = g_messageSink.load()) {
        sink->ShowMessage(text, caption, style, owner, detail);
        return;
    }
    std::fprintf(stderr, "[%s] %s (style 0x%x)\n", caption.c_str(), text.c_str(), style);
    if (!detail.empty()) {
        std::fprintf(stderr, "%s\n", detail.c_str());
    }
}

void ShowPortMessage(int port, const std::string& text, const std::string& caption, unsigned style,
                     MessageOwner owner, const std::string& detail) {
    if (MessageSink* sink = g_messageSink.load()) {
        sink->ShowPortMessage(port, text, caption, style, owner, detail);
        return;
    }
    std::fprintf(stderr, "Port%d: ", port + 1);
    ShowMessage(text, caption, style, owner, detail);
}

}  // namespace quorvel
