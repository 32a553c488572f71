#include <QApplication>
#include <QMainWindow>
#include <QMdiArea>

#include "app/CQuorvelApp.h"
#include "app/QSettingsProfileStore.h"
#include "serial/ComDeviceLookup.h"
#ifdef __linux__
#include "card/LinuxCardDriver.h"
#endif
#include "ui/QtMessageSink.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Quorvel"));
    QApplication::setApplicationName(QStringLiteral("Quorvel"));

    quorvel::QtMessageSink messageSink;
    quorvel::InstallMessageSink(&messageSink);

#ifdef __linux__
    // Real ports: COM numbers through the device map, the card's requests
    // answered with the kernel's own serial interfaces.
    quorvel::DeviceMapResolver realPorts(std::make_shared<quorvel::LinuxCardDriver>());
    quorvel::InstallComDeviceResolver(&realPorts);
#endif

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
#ifdef __linux__
    quorvel::InstallComDeviceResolver(nullptr);
#endif
    return exitCode;
}
