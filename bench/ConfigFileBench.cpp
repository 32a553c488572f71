// How fast the configuration file is formatted and read back: prints the time
// per round trip. Run: build/dev/bench/config_file_bench [rounds]
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "config/ConfigFile.h"

int main(int argc, char* argv[]) {
    const long rounds = argc > 1 ? std::atol(argv[1]) : 20000;
    quorvel::PortRecords records = quorvel::DefaultPortRecords();
    const auto start = std::chrono::steady_clock::now();
    std::size_t bytes = 0;
    for (long i = 0; i < rounds; ++i) {
        const std::string text = quorvel::FormatConfiguration(records);
        bytes += text.size();
        quorvel::ReadConfiguration(text, records);
    }
    const std::chrono::duration<double, std::micro> elapsed =
        std::chrono::steady_clock::now() - start;
    std::printf("config file round trip: %ld rounds, %.2f us each, %.1f MB/s read\n", rounds,
                elapsed.count() / static_cast<double>(rounds),
                static_cast<double>(bytes) / elapsed.count());
    return 0;
}
