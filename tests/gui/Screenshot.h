#pragma once

#include <QDir>
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

}  // namespace quorvel::testing
