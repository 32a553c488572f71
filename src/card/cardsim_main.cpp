// quorvel-cardsim: runs the simulated card on its own, so that any terminal
// program can be tried against it. Prints each port's device and, with
// --link-dir, links DIR/COM<n> to them. Stops on SIGINT or SIGTERM.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "card/CardOptions.h"
#include "card/SimulatedCard.h"

namespace {

std::vector<std::filesystem::path> MakeLinks(const quorvel::SimulatedCard& card,
                                             const std::string& folder) {
    std::vector<std::filesystem::path> links;
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    for (int port = 0; port < quorvel::SimulatedCard::kPorts; ++port) {
        const std::filesystem::path link =
            std::filesystem::path(folder) / ("COM" + std::to_string(card.FirstCom() + port));
        std::filesystem::remove(link, error);
        std::filesystem::create_symlink(card.DevicePath(port), link, error);
        if (error) {
            std::fprintf(stderr, "quorvel-cardsim: cannot link %s: %s\n", link.c_str(),
                         error.message().c_str());
            continue;
        }
        links.push_back(link);
    }
    return links;
}

}  // namespace

int main(int argc, char* argv[]) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    const quorvel::ParsedCardOptions parsed = quorvel::ParseCardOptions(args, true);
    if (parsed.options.help) {
        std::fputs(quorvel::CardOptionsHelp("quorvel-cardsim", true).c_str(), stdout);
        return 0;
    }
    if (parsed.options.version) {
        std::printf("quorvel-cardsim %s\n", QUORVEL_VERSION);
        return 0;
    }
    if (!parsed.error.empty() || !parsed.unknown.empty()) {
        std::fprintf(stderr, "quorvel-cardsim: %s\n",
                     !parsed.error.empty() ? parsed.error.c_str()
                                           : ("unknown option " + parsed.unknown[0]).c_str());
        std::fputs(quorvel::CardOptionsHelp("quorvel-cardsim", true).c_str(), stderr);
        return 2;
    }

    // The card thread inherits a mask that keeps SIGINT and SIGTERM for sigwait.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    quorvel::SimulatedCard card(parsed.options.firstCom, parsed.options.wiring);
    std::string error;
    if (!card.Start(&error)) {
        std::fprintf(stderr, "quorvel-cardsim: %s\n", error.c_str());
        return 1;
    }
    quorvel::ApplyCardFaults(card, parsed.options.faults);
    std::printf("Simulated card: %s\n", quorvel::DescribeCard(parsed.options).c_str());
    for (int port = 0; port < quorvel::SimulatedCard::kPorts; ++port) {
        std::printf("Port%d COM%d %s\n", port + 1, card.FirstCom() + port,
                    card.DevicePath(port).c_str());
    }
    std::vector<std::filesystem::path> links;
    if (!parsed.options.linkDir.empty()) {
        links = MakeLinks(card, parsed.options.linkDir);
        std::printf("Links in %s\n", parsed.options.linkDir.c_str());
    }
    std::printf("Press Ctrl+C to stop.\n");
    std::fflush(stdout);

    int signal = 0;
    sigwait(&stopSignals, &signal);
    card.Stop();
    std::error_code ignored;
    for (const auto& link : links) {
        std::filesystem::remove(link, ignored);
    }
    std::printf("Stopped.\n");
    return 0;
}
