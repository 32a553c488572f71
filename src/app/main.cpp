#include <QApplication>
#include <QMessageBox>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/CMainFrame.h"
#include "app/CQuorvelApp.h"
#include "app/QSettingsProfileStore.h"
#include "app/TerminationSignals.h"
#include "serial/ComDeviceLookup.h"
#include "ui/ConsoleBridge.h"
#include "ui/QtMessageSink.h"
#ifdef __linux__
#include "card/CardOptions.h"
#include "card/LinuxCardDriver.h"
#include "card/SimulatedCard.h"
#endif

int main(int argc, char* argv[]) {
#ifdef __linux__
    // The card options are read before any window exists; Qt's own options
    // (-platform, -style ...) are left to QApplication.
    const quorvel::ParsedCardOptions parsed =
        quorvel::ParseCardOptions(std::vector<std::string>(argv + 1, argv + argc), false);
    if (parsed.options.help) {
        std::fputs(quorvel::CardOptionsHelp("quorvel", false).c_str(), stdout);
        std::fputs("  and Qt's own options, such as -platform offscreen\n", stdout);
        return 0;
    }
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "quorvel: %s\n", parsed.error.c_str());
        return 2;
    }
#endif

    QApplication application(argc, argv);
    quorvel::TerminationSignals terminationSignals;
    QApplication::setOrganizationName(QStringLiteral("Quorvel"));
    QApplication::setApplicationName(QStringLiteral("Quorvel"));

    quorvel::QtMessageSink messageSink;
    quorvel::InstallMessageSink(&messageSink);
    QString cardTitle;  // added to the main window's title

#ifdef __linux__
    // Real ports: COM numbers through the device map, the card's requests
    // answered with the kernel's own serial interfaces.
    quorvel::DeviceMapResolver realPorts(std::make_shared<quorvel::LinuxCardDriver>());
    quorvel::InstallComDeviceResolver(&realPorts);

    // The simulated card answers for its eight COM numbers and hands the
    // others on to the real ports.
    quorvel::SimulatedCard simulatedCard(parsed.options.firstCom, parsed.options.wiring);
    if (parsed.options.simulated) {
        std::string error;
        if (simulatedCard.Start(&error)) {
            simulatedCard.Install();
            cardTitle = QStringLiteral(" [simulated card: ") +
                        QString::fromStdString(quorvel::DescribeCard(parsed.options)) +
                        QStringLiteral("]");
        } else {
            std::fprintf(stderr, "quorvel: the simulated card cannot start: %s\n", error.c_str());
            QMessageBox::warning(nullptr, QStringLiteral("Quorvel"),
                                 QStringLiteral("The simulated card cannot start: ") +
                                     QString::fromStdString(error));
        }
    }
#endif

    quorvel::QSettingsProfileStore store;
    quorvel::ConsoleBridge console;
    quorvel::DesktopServices services;
    quorvel::CQuorvelApp app(store, console, services);
    console.Attach(app.Runtime(), app.Records(), services);

    quorvel::CMainFrame mainWindow(app, services, cardTitle);
    messageSink.SetMainWindow(&mainWindow);
    mainWindow.showMaximized();

    app.LoadRecords();
    const int exitCode = app.ExitInstance(QApplication::exec());
    quorvel::InstallMessageSink(nullptr);
#ifdef __linux__
    simulatedCard.Uninstall();
    simulatedCard.Stop();
    quorvel::InstallComDeviceResolver(nullptr);
#endif
    return exitCode;
}
