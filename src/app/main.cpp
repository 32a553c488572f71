#include <QApplication>
#include <QMessageBox>
#include <cstdio>
#include <string>
#include <vector>

#include "app/CMainFrame.h"
#include "app/CQuorvelApp.h"
#include "app/DisplayCheck.h"
#include "app/QSettingsProfileStore.h"
#include "app/TerminationSignals.h"
#include "card/CardOptions.h"
#include "card/ProgramPorts.h"
#include "ui/ConsoleBridge.h"
#include "ui/QtMessageSink.h"

int main(int argc, char* argv[]) {
    quorvel::TerminationSignals::BlockForEveryThread();
    // The card options are read before any window exists; Qt's own options
    // (-platform, -style ...) are left to QApplication.
    const std::vector<std::string> args(argv + 1, argv + argc);
    const quorvel::ParsedCardOptions parsed = quorvel::ParseCardOptions(args, false);
    if (parsed.options.help) {
        std::fputs(quorvel::CardOptionsHelp("quorvel", false,
                                            "And Qt's own options, such as -platform offscreen.")
                       .c_str(),
                   stdout);
        return 0;
    }
    if (parsed.options.version) {
        std::printf("quorvel %s\n", QUORVEL_VERSION);
        return 0;
    }
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "quorvel: %s\n", parsed.error.c_str());
        return 2;
    }

    if (const std::string noDisplay = quorvel::NoDisplayMessage(args); !noDisplay.empty()) {
        std::fprintf(stderr, "quorvel: %s\n", noDisplay.c_str());
        return 1;
    }

    QApplication application(argc, argv);
    quorvel::TerminationSignals terminationSignals;
    QApplication::setOrganizationName(QStringLiteral("Quorvel"));
    QApplication::setApplicationName(QStringLiteral("Quorvel"));

    quorvel::QtMessageSink messageSink;
    quorvel::InstallMessageSink(&messageSink);

    // The real ports, and the simulated card in front of them when asked for.
    quorvel::ProgramPorts ports(parsed.options);
    QString cardTitle;  // added to the main window's title
    std::string error;
    if (!ports.Start(&error)) {
        std::fprintf(stderr, "quorvel: the simulated card cannot start: %s\n", error.c_str());
        QMessageBox::warning(
            nullptr, QStringLiteral("Quorvel"),
            QStringLiteral("The simulated card cannot start: ") + QString::fromStdString(error));
    } else if (parsed.options.simulated) {
        cardTitle = QStringLiteral(" [simulated card: ") +
                    QString::fromStdString(quorvel::DescribeCard(parsed.options)) +
                    QStringLiteral("]");
    }

    quorvel::QSettingsProfileStore store;
    quorvel::ConsoleBridge console;
    quorvel::DesktopServices services(&store);
    quorvel::CQuorvelApp app(store, console, services);
    console.Attach(app.Runtime(), app.Records(), services);

    quorvel::CMainFrame mainWindow(app, services, cardTitle);
    console.SetStatisticsOpener([&mainWindow] { mainWindow.ShowStatistics(); });
    messageSink.SetMainWindow(&mainWindow);
    console.SetOwner(&mainWindow);
    mainWindow.showMaximized();

    // A termination signal ends the program as Exit does, once a test under
    // way has stopped and closed its ports. One that came while the start-up
    // was still showing a message leaves nothing for the event loop to run.
    bool quitting = false;
    QObject::connect(&terminationSignals, &quorvel::TerminationSignals::requested, &app,
                     &quorvel::CQuorvelApp::RequestQuit);
    QObject::connect(&app, &quorvel::CQuorvelApp::readyToQuit, &application, [&quitting] {
        quitting = true;
        QCoreApplication::exit(0);
    });

    app.LoadRecords();
    const int exitCode = app.ExitInstance(quitting ? 0 : QApplication::exec());
    quorvel::InstallMessageSink(nullptr);
    return exitCode;
}
