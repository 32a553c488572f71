#include "engine/SerialFailureMessages.h"

#include "core/MessageSink.h"

namespace quorvel {
namespace {

struct FailureBox {
    const char* text = nullptr;  // null: nothing is shown
    const char* caption = "";
};

constexpr const char* kWriteCaption = "Write Error";
constexpr const char* kReadCaption = "Read Error";

// The box of a failed transfer step; a time-out has its own text. Nothing
// for a transfer that did not fail.
FailureBox TransferBox(const SerialResult& result) {
    if (!result.Failed()) {
        return {};
    }
    const bool timedOut = result.outcome == SerialOutcome::TimedOut;
    switch (result.step) {
        case SerialStep::WriteEvent:
            return {"Error creating overlapped write event handle", kWriteCaption};
        case SerialStep::Write:
            return {timedOut ? "Write Timeout" : "Unable to Write to the comm port", kWriteCaption};
        case SerialStep::ReadEvent:
            return {"Error creating the overlapped read event handle", kReadCaption};
        case SerialStep::BytesQueued:
            // The port cannot even say what is queued: it is gone.
            return {"Unable to Read to the comm port", kReadCaption};
        case SerialStep::Read:
            return {timedOut ? "Read Timeout" : "Unable to Read to the comm port", kReadCaption};
        default:
            return {};
    }
}

// Shows a message, naming the port where there is one.
void Show(std::optional<int> port, const std::string& text, const std::string& caption,
          unsigned style, MessageOwner owner = MessageOwner::MainWindow) {
    if (port) {
        ShowPortMessage(*port, text, caption, style, owner);
    } else {
        ShowMessage(text, caption, style, owner);
    }
}

void ShowSetUpFailure(SerialStep step, std::optional<int> port) {
    switch (step) {
        case SerialStep::SetupQueues:
            Show(port, "Error while setting up the Rx and Tx buffer sizes", "ERROR",
                 mb::kOk | mb::kIconExclamation);
            break;
        case SerialStep::GetLineSettings:
            Show(port, "Error while getting the current DCB settings", "ERROR",
                 mb::kOk | mb::kIconExclamation);
            break;
        case SerialStep::DriverRequest:
            Show(port, "Unable to pass data into driver", "", mb::kOk, MessageOwner::None);
            break;
        default:  // purge, time-outs and line settings go unnoticed
            break;
    }
}

}  // namespace

void ShowOpenSetUpFailures(const OpenResult& opened, std::optional<int> port) {
    for (const SerialResult& step : opened.failedSteps) {
        ShowSetUpFailure(step.step, port);
    }
}

bool RepeatedFailureFilter::ShouldShow(std::string_view text, std::string_view caption) {
    if (m_once && m_shown && text == m_lastText && caption == m_lastCaption) {
        return false;  // the operator already knows; a dead port must not bury them in boxes
    }
    m_shown = true;
    m_lastText = text;
    m_lastCaption = caption;
    return true;
}

void TransferFailureReport::Report(const SerialResult& result) {
    if (result.Ok()) {
        m_repeats.Clear();
        return;
    }
    const FailureBox box = TransferBox(result);
    if (box.text != nullptr && m_repeats.ShouldShow(box.text, box.caption)) {
        Show(m_port, box.text, box.caption, mb::kOk);
    }
}

}  // namespace quorvel
