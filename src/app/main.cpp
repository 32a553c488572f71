#include <QApplication>
#include <QMainWindow>
#include <QMdiArea>

#include "app/CQuorvelApp.h"
#include "app/QSettingsProfileStore.h"
#include "ui/QtMessageSink.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Quorvel"));
    QApplication::setApplicationName(QStringLiteral("Quorvel"));

    quorvel::QtMessageSink messageSink;
    quorvel::InstallMessageSink(&messageSink);

    quorvel::QSettingsProfileStore store;
    quorvel::CQuorvelApp app(store);

    QMainWindow mainWindow;
    mainWindow.setWindowTitle(QStringLiteral("Quorvel"));
    mainWindow.setCentralWidget(new QMdiArea(&mainWindow));
    mainWindow.resize(1000, 700);
    messageSink.SetMainWindow(&mainWindow);
    mainWindow.show();

    app.LoadRecords();
    const int exitCode = app.ExitInstance(QApplication::exec());
    quorvel::InstallMessageSink(nullptr);
    return exitCode;
}
