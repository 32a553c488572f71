#pragma once

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QString>
#include <QWidget>

namespace quorvel::testing {

// Writes a picture of `widget` to screenshots/<name>.png under the folder the
// test runs in (the build tree), for people to look at.
inline bool SaveScreenshot(QWidget& widget, const QString& name) {
    QDir folder(QDir::currentPath());
    folder.mkpath(QStringLiteral("screenshots"));
    return widget.grab().save(folder.filePath(QStringLiteral("screenshots/%1.png").arg(name)));
}

// Lets the GUI thread's events run until `done` holds or `limitMs` passes.
template <typename Done>
bool ProcessEventsUntil(Done done, int limitMs = 10000) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < limitMs) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return done();
}

}  // namespace quorvel::testing
