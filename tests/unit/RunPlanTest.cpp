// What an unattended run finds wrong before any port opens: each is refused
// with its reason, and nothing is left behind.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "config/ConfigFile.h"
#include "run/RunOptions.h"
#include "run/RunPlan.h"

namespace quorvel {
namespace {

namespace fs = std::filesystem;

// A fresh settings folder with the profile `settings` the GUI would have left.
class RunPlanTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_home = fs::temp_directory_path() /
                 ("quorvel-run-plan-" + std::to_string(::getpid()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(m_home / "Quorvel");
        ::setenv("XDG_CONFIG_HOME", m_home.c_str(), 1);
        ::setenv("QUORVEL_DEVICE_MAP", (m_home / "no-map").c_str(), 1);
    }
    void TearDown() override { fs::remove_all(m_home); }

    void Profile(const std::string& settings) {
        std::ofstream(m_home / "Quorvel" / "Quorvel.conf") << "[Version%201.0]\n" << settings;
    }

    // Prepares a run with `args`; the reason it cannot happen, empty when it can.
    std::string Prepare(const std::vector<std::string>& args, RunPlan* prepared = nullptr) {
        const ParsedRunOptions parsed = ParseRunOptions(args);
        if (!parsed.error.empty()) {
            return "option: " + parsed.error;
        }
        RunPlan plan;
        std::string reason;
        const bool ok = PrepareRun(parsed.options, plan, reason);
        if (prepared != nullptr) {
            *prepared = plan;
        }
        return ok ? std::string() : reason;
    }

    std::string Path(const std::string& name) const { return (m_home / name).string(); }

    fs::path m_home;
};

TEST_F(RunPlanTest, AConfigurationFileWithoutPortsIsRefusedRatherThanTestingPort1Alone) {
    std::ofstream(Path("ports.txt")) << FormatConfiguration(DefaultPortRecords());
    EXPECT_EQ(Prepare({"--config", Path("ports.txt")}),
              "the configuration file " + Path("ports.txt") +
                  " does not say which ports to test: give --ports, such as --ports 1-8");
    RunPlan plan;
    EXPECT_EQ(Prepare({"--config", Path("ports.txt"), "--ports", "1-8"}, &plan), "");
    EXPECT_EQ(plan.chosen, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7}));
}

TEST_F(RunPlanTest, AnExpectationNamesOnlyTestedPorts) {
    EXPECT_EQ(Prepare({"--ports", "1-3", "--expect", "1=2,2=3,3=1"}), "");
    EXPECT_EQ(Prepare({"--ports", "1,2", "--expect", "1=2,2=3"}),
              "--expect names Port3, which is not tested");
    EXPECT_EQ(Prepare({"--ports", "2,3", "--expect", "1=2"}),
              "--expect names Port1, which is not tested");
    EXPECT_EQ(Prepare({"--ports", "1-3", "--expect", "pairs"}),
              "Port3 is to receive from Port4, which is not tested");
    EXPECT_EQ(Prepare({"--ports", "1-4", "--expect", "pairs"}), "");
}

TEST_F(RunPlanTest, EveryTestedPortHasSomethingToSend) {
    std::ofstream(Path("empty.bin")).flush();
    EXPECT_EQ(Prepare({"--ports", "1", "--pattern", "file:" + Path("empty.bin")}),
              "the pattern file " + Path("empty.bin") + " is empty: there is nothing to send");
    // The GUI's records: Port2 sent a file, which is not kept (it sends the
    // alphabets now); Port3 chooses nothing, which would send empty packets.
    Profile(
        "m_PortRegistry%5B1%5D.nAlpha=0\nm_PortRegistry%5B1%5D.nFile=1\n"
        "m_PortRegistry%5B2%5D.nAlpha=0\n");
    EXPECT_EQ(Prepare({"--ports", "1,2"}), "");
    EXPECT_EQ(Prepare({"--ports", "1-3"}),
              "Port3's records choose no pattern to send: give --pattern, such as --pattern "
              "alphabets");
    EXPECT_EQ(Prepare({"--ports", "1-3", "--pattern", "user:ABC"}), "");
}

TEST_F(RunPlanTest, AReportThatCannotBeWrittenIsFoundFirstAndNothingIsLeftBehind) {
    const std::string nowhere = Path("no-such-folder/run.json");
    EXPECT_EQ(Prepare({"--ports", "1", "--json", nowhere}),
              "the report " + nowhere + " cannot be written: No such file or directory");
    EXPECT_EQ(Prepare({"--ports", "1", "--junit", m_home.string()}),
              "the report " + m_home.string() + " cannot be written: Is a directory");

    // A report that can be written: a new one is not made yet, an old one is
    // kept as it is until the run writes it.
    std::ofstream(Path("old.xml")) << "the last run's";
    EXPECT_EQ(Prepare({"--ports", "1", "--json", Path("new.json"), "--junit", Path("old.xml")}),
              "");
    EXPECT_FALSE(fs::exists(Path("new.json")));
    std::ifstream old(Path("old.xml"));
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(old), {}), "the last run's");
}

}  // namespace
}  // namespace quorvel
