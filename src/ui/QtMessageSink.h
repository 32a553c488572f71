#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

#include "core/MessageSink.h"

namespace quorvel {

// Shows the system's messages as modal message boxes on the GUI thread. A call
// from a worker thread is carried to the GUI thread and waits there until the
// operator closes the box, as a synchronous message box would. A message's
// detail is shown beneath its text.
class QtMessageSink final : public QObject, public MessageSink {
    Q_OBJECT
  public:
    explicit QtMessageSink(QObject* parent = nullptr);

    // The window that owns the boxes whose owner is the main window.
    void SetMainWindow(QWidget* mainWindow);

    void ShowMessage(const std::string& text, const std::string& caption, unsigned style,
                     MessageOwner owner, const std::string& detail) override;

    // The title of a box whose message has no caption, as the system gives it.
    static constexpr const char* kDefaultTitle = "Error";

  private:
    void ShowOnGuiThread(const QString& text, const QString& caption, unsigned style,
                         MessageOwner owner, const QString& detail);

    // Written and read on the GUI thread only.
    QPointer<QWidget> m_mainWindow;
};

}  // namespace quorvel
