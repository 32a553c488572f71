#include <gtest/gtest.h>
#ifndef _WIN32
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

#include <csignal>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "config/ConfigFile.h"
#include "fakes/RecordingMessageSink.h"
#ifndef _WIN32
#include "fakes/Fifo.h"
#endif

namespace quorvel {
namespace {

using testing::RecordedMessage;
using testing::RecordingMessageSink;

namespace fs = std::filesystem;

// The two messages of the configuration commands, with the file and why beneath.
RecordedMessage UnableToLoad(const fs::path& path, const std::string& why) {
    return {"Unable to Load the file", "Error", 0x30, MessageOwner::MainWindow,
            path.string() + ": " + why};
}
RecordedMessage UnableToRead(const fs::path& path, const std::string& why) {
    return {"Unable to read from the file", "Error", 0x30, MessageOwner::MainWindow,
            path.string() + ": " + why};
}

std::string ReadWhole(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// `text` with the line ends a text-mode file has on this platform.
std::string WithPlatformLineEnds(const std::string& text) {
#ifdef _WIN32
    std::string crlf;
    for (const char c : text) {
        if (c == '\n') {
            crlf += '\r';
        }
        crlf += c;
    }
    return crlf;
#else
    return text;
#endif
}

void WriteWhole(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

ConfigReadReport ReadText(const std::string& text, PortRecords& records) {
    return ReadConfiguration(text, records);
}

// Records that differ from the defaults in every field the file carries.
PortRecords ChangedRecords() {
    PortRecords r = DefaultPortRecords();
    for (int port = 0; port < kPortCount; ++port) {
        auto& line = r.m_PortRegistry[static_cast<std::size_t>(port)];
        line.nBaud = 13 - port;
        line.nDataBits = port % 4;
        line.nParity = port % 5;
        line.nStopBits = 1;
        line.nFlowCtrl = port % 3;
        line.nComBase = 20 + port;
        line.nRS485 = port >= 6 ? 1 : 0;
        line.nDTR = 0;
        line.nDTRHys = 4;
        line.nRTS = 1;
        line.nRTSHys = 3;
        line.nTxFIFO = 1;
        line.nTxTrig = 63 - port;
        line.nRxFIFO = 1;
        line.nRxTrig = 62 - port;
    }
    return r;
}

class ConfigFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() /
                ("quorvel-config-" + std::to_string(::getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }

    fs::path m_dir;
    RecordingMessageSink m_messages;
};

TEST_F(ConfigFileTest, TheDefaultRecordsGiveTheKnownFirstLines) {
    const std::string text = FormatConfiguration(DefaultPortRecords());
    std::istringstream lines(text);
    std::string first;
    std::string second;
    std::getline(lines, first);
    std::getline(lines, second);
    EXPECT_EQ(first, "SERIAL0 6 3 4 0 2 3 0 1 2 0 2 0 1 0 3");
    EXPECT_EQ(second, "SERIAL1 6 3 4 0 2 4 0 0 1 1 1 0 17 0 19");
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 8);
    EXPECT_NE(text.find("\nSERIAL7 "), std::string::npos);
}

TEST_F(ConfigFileTest, SaveThenLoadKeepsTheRecordsAndTouchesNothingElse) {
    const fs::path path = m_dir / "ports.txt";
    PortRecords saved = ChangedRecords();
    saved.m_PortRegistry[3].nPortOpen = 1;
    ASSERT_EQ(SaveConfigurationFile(path, saved), ConfigFileResult::Ok);
    // A save to an existing file replaces it whole.
    ASSERT_EQ(SaveConfigurationFile(path, saved), ConfigFileResult::Ok);
    EXPECT_EQ(ReadWhole(path), WithPlatformLineEnds(FormatConfiguration(saved)));

    PortRecords loaded = DefaultPortRecords();
    loaded.m_PortTest[2].strHrTime = "42";
    ASSERT_EQ(LoadConfigurationFile(path, loaded), ConfigFileResult::Ok);
    EXPECT_TRUE(m_messages.Messages().empty()) << m_messages.Shown();
    for (int port = 0; port < kPortCount; ++port) {
        SCOPED_TRACE(port);
        const auto i = static_cast<std::size_t>(port);
        PortRegistry expected = saved.m_PortRegistry[i];
        expected.nPortOpen = DefaultPortRecords().m_PortRegistry[i].nPortOpen;  // not in the file
        EXPECT_EQ(loaded.m_PortRegistry[i], expected);
    }
    EXPECT_EQ(loaded.m_PortTest[2].strHrTime, "42");
    EXPECT_EQ(loaded.m_PortPattern, DefaultPortRecords().m_PortPattern);
}

TEST_F(ConfigFileTest, PortsOneToSevenFollowPortZerosComNumber) {
    std::string text;
    const int comTokens[] = {11, 0, 39, -4, 5, 5, 17, 2};
    for (int port = 0; port < kPortCount; ++port) {
        text += "SERIAL" + std::to_string(port) + " 6 3 4 0 2 " + std::to_string(comTokens[port]) +
                " 0 1 2 0 2 0 1 0 3\n";
    }
    PortRecords records = DefaultPortRecords();
    EXPECT_TRUE(ReadText(text, records).Complete());
    for (int port = 0; port < kPortCount; ++port) {
        EXPECT_EQ(records.m_PortRegistry[static_cast<std::size_t>(port)].nComBase, 11 + port);
    }
}

TEST_F(ConfigFileTest, ASixLineFileLoadsSixPortsAndReportsTheShortRead) {
    const fs::path path = m_dir / "six.txt";
    const std::string full = FormatConfiguration(ChangedRecords());
    std::string six;
    std::istringstream lines(full);
    for (int i = 0; i < 6; ++i) {
        std::string line;
        std::getline(lines, line);
        six += line + "\n";
    }
    WriteWhole(path, six);

    PortRecords records = DefaultPortRecords();
    EXPECT_EQ(LoadConfigurationFile(path, records), ConfigFileResult::ReadFailed);
    EXPECT_EQ(m_messages.Messages(), std::vector<RecordedMessage>{UnableToRead(
                                         path, "line 7: the file ends before Port7's settings")});
    const PortRecords changed = ChangedRecords();
    const PortRecords defaults = DefaultPortRecords();
    for (std::size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(records.m_PortRegistry[i], changed.m_PortRegistry[i]) << i;
    }
    // Ports 6 and 7 keep their settings but stay on the COM numbers after port 0's.
    for (std::size_t i : {6u, 7u}) {
        PortRegistry expected = defaults.m_PortRegistry[i];
        expected.nComBase = changed.m_PortRegistry[0].nComBase + static_cast<int>(i);
        EXPECT_EQ(records.m_PortRegistry[i], expected) << i;
    }
}

TEST_F(ConfigFileTest, JoinedSplitAndCrLfLayoutsReadAlike) {
    const PortRecords changed = ChangedRecords();
    const std::string lines = FormatConfiguration(changed);
    std::string joined = lines;
    std::replace(joined.begin(), joined.end(), '\n', ' ');
    std::string split;
    for (char c : lines) {
        split += c == ' ' ? std::string("\n\n \t") : std::string(1, c);
    }
    std::string crlf;
    for (char c : lines) {
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    }
    for (const std::string& text : {lines, joined, split, crlf}) {
        PortRecords records = DefaultPortRecords();
        EXPECT_TRUE(ReadText(text, records).Complete());
        EXPECT_EQ(records.m_PortRegistry, changed.m_PortRegistry);
    }
}

TEST_F(ConfigFileTest, ANonIntegerTokenEndsItsLineAndBecomesTheNextLabel) {
    // Port 0 stops after nDataBits at "x"; "x" is port 1's label, so port 1 reads
    // the leftover "0 2 3 0 1 2 0 2 ..." of port 0's line, where its DTR of 2 is
    // out of range: port 1 keeps its settings. Port 2 reads SERIAL1's line.
    const std::string text =
        "SERIAL0 5 2 x 0 2 3 0 1 2 0 2 0 1 0 3 "
        "SERIAL1 6 3 4 0 2 4 0 0 1 1 1 0 17 0 19\n";
    PortRecords records = DefaultPortRecords();
    const PortRecords defaults = DefaultPortRecords();
    const ConfigReadReport report = ReadText(text, records);
    EXPECT_FALSE(report.refused);
    EXPECT_TRUE(report.endedEarly);
    EXPECT_EQ(report.portsReached, 3);
    EXPECT_EQ(report.portsRefused, std::vector<int>{1});
    EXPECT_EQ(report.problems,
              (std::vector<std::string>{"line 1: Port2's DTR 2 is outside 0 to 1; Port2 keeps its "
                                        "settings",
                                        "line 2: the file ends before Port4's settings"}));
    const PortRegistry& port0 = records.m_PortRegistry[0];
    EXPECT_EQ(port0.nBaud, 5);
    EXPECT_EQ(port0.nDataBits, 2);
    EXPECT_EQ(port0.nParity, defaults.m_PortRegistry[0].nParity);  // kept
    EXPECT_EQ(port0.nRxTrig, defaults.m_PortRegistry[0].nRxTrig);
    PortRegistry port1 = defaults.m_PortRegistry[1];
    port1.nComBase = defaults.m_PortRegistry[0].nComBase + 1;  // follows port 0
    EXPECT_EQ(records.m_PortRegistry[1], port1);
    EXPECT_EQ(records.m_PortRegistry[2].nTxTrig, 17);  // SERIAL1's line
    EXPECT_EQ(records.m_PortRegistry[2].nRxTrig, 19);

    // A lone sign is no integer either: with it, no port's line reads whole,
    // and the text is refused at its first fault.
    records = DefaultPortRecords();
    const ConfigReadReport sign = ReadText("SERIAL0 7 - 1 2", records);
    EXPECT_TRUE(sign.refused);
    EXPECT_EQ(sign.problems, std::vector<std::string>{
                                 "line 1: Port1's settings stop at \"-\", which is no number; "
                                 "not one port's settings read whole"});
    EXPECT_EQ(records, DefaultPortRecords());
}

TEST_F(ConfigFileTest, LabelsAreTakenAsTheyStandAndLongOnesAreCutNotSpilled) {
    const PortRecords changed = ChangedRecords();
    std::string text = FormatConfiguration(changed);
    text.replace(text.find("SERIAL0"), 7, "SERIAL0:");
    text.replace(text.find("SERIAL3"), 7, std::string(5000, 'L'));
    text.replace(text.find("SERIAL5"), 7, "-");
    text.replace(text.find("SERIAL6"), 7, "S\xC3\x89RIAL6");  // letters of any encoding
    PortRecords records = DefaultPortRecords();
    EXPECT_TRUE(ReadText(text, records).Complete());
    EXPECT_EQ(records.m_PortRegistry, changed.m_PortRegistry);
}

TEST_F(ConfigFileTest, AValueOutOfRangeRefusesItsPortsWholeRecordAndSaysWhich) {
    std::string text =
        "SERIAL0 14 -1 5 2 3 40 2 7 5 -9 99999999999999999999 2 64 3 63\n"
        "SERIAL1 13 0 0 1 0 4 1 0 4 1 4 1 63 1 62\n";
    PortRecords records = DefaultPortRecords();
    ConfigReadReport report = ReadText(text, records);
    EXPECT_EQ(report.portsRefused, std::vector<int>{0});
    EXPECT_EQ(report.problems.front(),
              "line 1: Port1's baud rate 14 is outside 0 to 13; Port1 keeps its settings");
    EXPECT_EQ(records.m_PortRegistry[0], DefaultPortRecords().m_PortRegistry[0]);
    const PortRegistry& port1 = records.m_PortRegistry[1];
    EXPECT_EQ(port1.nBaud, 13);
    EXPECT_EQ(port1.nTxTrig, 63);
    EXPECT_EQ(port1.nRxTrig, 62);
    EXPECT_EQ(port1.nComBase, 4);

    // Port 0 on COM40 is the highest a file may set; the others follow to COM47.
    text = "SERIAL0 6 3 4 0 2 39 0 1 2 0 2 0 1 0 3\n";
    report = ReadText(text, records);
    EXPECT_TRUE(report.portsRefused.empty());
    EXPECT_EQ(records.m_PortRegistry[0].nComBase, 39);
    EXPECT_EQ(records.m_PortRegistry[1].nComBase, 40);
    EXPECT_EQ(records.m_PortRegistry[7].nComBase, 46);
    EXPECT_EQ(records.m_PortRegistry[1].nBaud, 13);  // kept from the first text

    // One past a limit refuses the whole line, the values before it included;
    // the last value of a line is looked at too.
    const PortRecords before = records;
    text =
        "SERIAL0 1 3 4 0 2 40 0 1 2 0 2 0 1 0 3\n"
        "SERIAL1 2 3 4 0 2 4 0 0 1 1 1 0 17 0 63\n"
        "SERIAL2 3 3 4 0 2 5 0 1 0 0 0 0 64 0 29\n"
        "SERIAL3 4 3 4 0 2 6 0 1 0 0 0 0 63 0 62\n";
    report = ReadText(text, records);
    EXPECT_EQ(report.portsRefused, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(report.problems,
              (std::vector<std::string>{
                  "line 1: Port1's COM number 40 is outside 0 to 39; Port1 keeps its settings",
                  "line 2: Port2's Rx trigger 63 is outside 0 to 62; Port2 keeps its settings",
                  "line 3: Port3's Tx trigger 64 is outside 0 to 63; Port3 keeps its settings",
                  "line 5: the file ends before Port5's settings"}));
    for (std::size_t port : {0u, 1u, 2u}) {
        EXPECT_EQ(records.m_PortRegistry[port], before.m_PortRegistry[port]) << port;
    }
    EXPECT_EQ(records.m_PortRegistry[3].nBaud, 4);
    EXPECT_EQ(records.m_PortRegistry[3].nTxTrig, 63);
    EXPECT_EQ(records.m_PortRegistry[3].nRxTrig, 62);
}

TEST_F(ConfigFileTest, RandomBytesAreRefusedAtTheirFirstLineAndNothingChanges) {
    std::mt19937 random(4410);
    std::string bytes(5000, '\0');
    for (char& byte : bytes) {
        byte = static_cast<char>(random() & 0xFF);
    }
    const fs::path path = m_dir / "random.bin";
    WriteWhole(path, bytes);
    PortRecords records = ChangedRecords();
    EXPECT_EQ(LoadConfigurationFile(path, records), ConfigFileResult::Refused);
    EXPECT_EQ(records, ChangedRecords());
    ASSERT_EQ(m_messages.Messages().size(), 1u);
    const RecordedMessage shown = m_messages.Messages()[0];
    EXPECT_EQ(shown.text, "Unable to read from the file");
    EXPECT_EQ(shown.detail.rfind(path.string() + ": line ", 0), 0u) << shown.detail;
    EXPECT_NE(shown.detail.find("No port's settings were changed."), std::string::npos);
}

TEST_F(ConfigFileTest, AControlByteAnywhereRefusesTheTextNamingItsLine) {
    const std::string good = FormatConfiguration(ChangedRecords());
    struct Case {
        std::string text;
        std::string problem;
    };
    const std::vector<Case> cases{
        {std::string(1, '\0') + good, "line 1: the byte 0x00 is no text"},
        {good + '\x1A', "line 9: the byte 0x1A is no text"},  // the very last byte
        {"SERIAL0 6\r\r\n3\x7F" + good, "line 3: the byte 0x7F is no text"},
        {"\x01", "line 1: the byte 0x01 is no text"},
    };
    for (const Case& c : cases) {
        PortRecords records = DefaultPortRecords();
        const ConfigReadReport report = ReadText(c.text, records);
        EXPECT_TRUE(report.refused);
        EXPECT_EQ(report.problems,
                  std::vector<std::string>{c.problem + ", so this is no configuration file"});
        EXPECT_EQ(records, DefaultPortRecords());
    }
    // Tabs, form feeds and line ends are blanks; bytes above 0x7F may be letters.
    PortRecords records = DefaultPortRecords();
    std::string blanks = good;
    std::replace(blanks.begin(), blanks.end(), ' ', '\t');
    EXPECT_TRUE(ReadText("\f" + blanks + "\xFF", records).Complete());
    EXPECT_EQ(records.m_PortRegistry, ChangedRecords().m_PortRegistry);
}

TEST_F(ConfigFileTest, TextWithoutOneWholePortLineIsRefusedAtItsFirstFault) {
    const fs::path path = m_dir / "words.txt";
    WriteWhole(path, "hello world\n");
    PortRecords records = ChangedRecords();
    EXPECT_EQ(LoadConfigurationFile(path, records), ConfigFileResult::Refused);
    EXPECT_EQ(records, ChangedRecords());
    EXPECT_EQ(m_messages.Messages(),
              std::vector<RecordedMessage>{UnableToRead(
                  path,
                  "line 1: Port1's settings stop at \"world\", which is no number; not one "
                  "port's settings read whole\nNo port's settings were changed.")});

    // Seven ports' lines with a value out of range each, and an eighth cut short.
    std::string text;
    for (int port = 0; port < kPortCount - 1; ++port) {
        text += "SERIAL" + std::to_string(port) + " 99 3 4 0 2 3 0 1 2 0 2 0 1 0 3\n";
    }
    text += "SERIAL7 6 3 4";
    records = ChangedRecords();
    const ConfigReadReport report = ReadText(text, records);
    EXPECT_TRUE(report.refused);
    EXPECT_EQ(report.problems.size(), 1u);
    EXPECT_EQ(report.problems[0].rfind("line 1: Port1's baud rate 99 is outside 0 to 13", 0), 0u);
    EXPECT_EQ(records, ChangedRecords());
}

TEST_F(ConfigFileTest, AFileThatCannotBeOpenedIsReported) {
    // The reader's reasons, in each system's words.
#ifdef _WIN32
    const std::string missing = "the file cannot be opened (error 2)";
    const std::string folder = "the file cannot be opened (error 5)";
#else
    const std::string missing = "No such file or directory";
    const std::string folder = "not a regular file";
#endif
    PortRecords records = DefaultPortRecords();
    EXPECT_EQ(LoadConfigurationFile(m_dir / "missing.txt", records), ConfigFileResult::OpenFailed);
    std::string why;
    EXPECT_EQ(LoadConfigurationFile(m_dir, records, &why), ConfigFileResult::OpenFailed);
    EXPECT_EQ(why, folder);
    EXPECT_EQ(SaveConfigurationFile(m_dir / "no-such-folder" / "ports.txt", records),
              ConfigFileResult::OpenFailed);
    EXPECT_EQ(SaveConfigurationFile(m_dir, records), ConfigFileResult::OpenFailed);
    EXPECT_EQ(m_messages.Messages(),
              (std::vector<RecordedMessage>{
                  UnableToLoad(m_dir / "missing.txt", missing), UnableToLoad(m_dir, folder),
                  UnableToLoad(m_dir / "no-such-folder" / "ports.txt", "No such file or directory"),
                  UnableToLoad(m_dir, "it is a folder")}));
    EXPECT_EQ(records, DefaultPortRecords());
}

#ifndef _WIN32
TEST_F(ConfigFileTest, OnlyARegularFileIsLoadedAndOnlyItsStartIsRead) {
    // A pipe or a device would block or never end: refused at once.
    PortRecords records = DefaultPortRecords();
    testing::Fifo fifo((m_dir / "pipe").string());
    EXPECT_EQ(LoadConfigurationFile(fifo.Path(), records), ConfigFileResult::OpenFailed);
    EXPECT_FALSE(fifo.Rescued());
    EXPECT_EQ(LoadConfigurationFile("/dev/zero", records), ConfigFileResult::OpenFailed);
    EXPECT_EQ(m_messages.Messages(),
              (std::vector<RecordedMessage>{UnableToLoad(fifo.Path(), "not a regular file"),
                                            UnableToLoad("/dev/zero", "not a regular file")}));
    EXPECT_EQ(records, DefaultPortRecords());

    // A folder of the system's that takes no file: its reason is given.
    EXPECT_EQ(SaveConfigurationFile("/proc/ports.txt", records), ConfigFileResult::OpenFailed);
    EXPECT_EQ(m_messages.Messages().back(),
              UnableToLoad("/proc/ports.txt", "No such file or directory"));

    // Eight good lines and then megabytes of nothing useful: the lines load.
    PortRecords saved = DefaultPortRecords();
    saved.m_PortRegistry[0].nBaud = 13;
    const fs::path path = m_dir / "long.txt";
    WriteWhole(path, FormatConfiguration(saved) + std::string(8 * 1024 * 1024, 'x'));
    EXPECT_EQ(LoadConfigurationFile(path, records), ConfigFileResult::Ok);
    EXPECT_EQ(records.m_PortRegistry[0].nBaud, 13);
}
#endif

TEST_F(ConfigFileTest, AnEmptyFileIsRefused) {
    const fs::path path = m_dir / "empty.txt";
    WriteWhole(path, " \n\n");
    PortRecords records = DefaultPortRecords();
    EXPECT_EQ(LoadConfigurationFile(path, records), ConfigFileResult::Refused);
    EXPECT_EQ(m_messages.Messages(),
              std::vector<RecordedMessage>{UnableToRead(
                  path,
                  "line 3: the file ends before Port1's settings; not one port's settings read "
                  "whole\nNo port's settings were changed.")});
    EXPECT_EQ(records, DefaultPortRecords());
}

#ifndef _WIN32
// Lowers the largest file this process may write, so that a save fails part-way
// (as on a full disk) even for root; the limit is restored when the test ends.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &m_previous);
        m_previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit lowered = m_previous;
        lowered.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &lowered);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &m_previous);
        std::signal(SIGXFSZ, m_previousHandler);
    }

  private:
    rlimit m_previous{};
    void (*m_previousHandler)(int) = nullptr;
};

// Makes a folder take no new file, even from root, while the files in it can
// still be written (the immutable attribute); false where the file system
// does not have it. Undone when the test ends.
class FolderTakingNoNewFile {
  public:
    explicit FolderTakingNoNewFile(const fs::path& folder)
        : m_fd(::open(folder.c_str(), O_RDONLY)) {
        int flags = 0;
        m_set = m_fd >= 0 && ::ioctl(m_fd, FS_IOC_GETFLAGS, &flags) == 0 &&
                (flags |= FS_IMMUTABLE_FL, ::ioctl(m_fd, FS_IOC_SETFLAGS, &flags) == 0);
    }
    ~FolderTakingNoNewFile() {
        int flags = 0;
        if (m_set && ::ioctl(m_fd, FS_IOC_GETFLAGS, &flags) == 0) {
            flags &= ~FS_IMMUTABLE_FL;
            ::ioctl(m_fd, FS_IOC_SETFLAGS, &flags);
        }
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    bool Set() const { return m_set; }

  private:
    int m_fd;
    bool m_set = false;
};

TEST_F(ConfigFileTest, ASaveThroughALinkWritesTheFileBehindItAndAClosedFolderIsWrittenInPlace) {
    // The link stays a link; the file it leads to, in another folder, is new.
    fs::create_directories(m_dir / "real");
    const fs::path real = m_dir / "real" / "ports.txt";
    WriteWhole(real, "old");
    const fs::path link = m_dir / "ports.txt";
    fs::create_symlink("real/ports.txt", link);
    ASSERT_EQ(SaveConfigurationFile(link, ChangedRecords()), ConfigFileResult::Ok);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadWhole(real), FormatConfiguration(ChangedRecords()));

    // A folder that takes no new file: the file there is written where it stands.
    FolderTakingNoNewFile closed(m_dir / "real");
    if (!closed.Set()) {
        GTEST_SKIP() << "this file system cannot close a folder to new files";
    }
    EXPECT_EQ(SaveConfigurationFile(real, DefaultPortRecords()), ConfigFileResult::Ok);
    EXPECT_EQ(ReadWhole(real), FormatConfiguration(DefaultPortRecords()));
    EXPECT_EQ(SaveConfigurationFile(m_dir / "real" / "new.txt", DefaultPortRecords()),
              ConfigFileResult::OpenFailed);
    EXPECT_EQ(m_messages.Messages(), std::vector<RecordedMessage>{UnableToLoad(
                                         m_dir / "real" / "new.txt", "Operation not permitted")});
}

TEST_F(ConfigFileTest, ASaveThatFailsPartWayLeavesTheOldFileIntact) {
    const fs::path path = m_dir / "ports.txt";
    ASSERT_EQ(SaveConfigurationFile(path, DefaultPortRecords()), ConfigFileResult::Ok);
    const std::string before = ReadWhole(path);
    {
        FileSizeLimit limit(40);
        EXPECT_EQ(SaveConfigurationFile(path, ChangedRecords()), ConfigFileResult::WriteFailed);
    }
    EXPECT_EQ(ReadWhole(path), before);
    EXPECT_EQ(m_messages.Messages(),
              std::vector<RecordedMessage>{UnableToRead(path, "File too large")});
    // No temporary file is left behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(m_dir), fs::directory_iterator()), 1);
}
#endif  // resource limits and file attributes are POSIX

}  // namespace
}  // namespace quorvel
