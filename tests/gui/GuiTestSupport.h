#pragma once

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QString>
#include <QTimer>
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

// Runs `act` on the first visible top-level window of type `Window` once one
// shows: a modal dialog that the code under test runs. `act` must close it.
// Looks for it until `limitMs` have passed or `owner` goes, whichever is
// first (the test then fails on what it expected of the window).
template <typename Window, typename Act>
void WhenShown(QObject& owner, Act act, int limitMs = 10000) {
    auto* poll = new QTimer(&owner);
    QElapsedTimer since;
    since.start();
    QObject::connect(poll, &QTimer::timeout, [poll, since, act, limitMs] {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (auto* shown = qobject_cast<Window*>(window); shown && shown->isVisible()) {
                poll->stop();
                poll->deleteLater();
                act(*shown);
                return;
            }
        }
        if (since.elapsed() > limitMs) {
            poll->stop();
            poll->deleteLater();
        }
    });
    poll->start(20);
}

}  // namespace quorvel::testing
