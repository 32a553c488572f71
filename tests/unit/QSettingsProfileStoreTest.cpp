#include <gtest/gtest.h>

#include <QDir>
#include <QSettings>
#include <QTemporaryDir>

#include "app/CQuorvelApp.h"
#include "app/QSettingsProfileStore.h"
#include "config/PortRecordStore.h"
#include "fakes/FakeAppServices.h"
#include "fakes/RecordingMessageSink.h"

namespace quorvel {
namespace {

class NoConsole final : public ConsoleHost {
  public:
    ConsoleView* Console() override { return nullptr; }
    bool CreateOrFocusConsole() override { return false; }
    void PlaceConsole() override {}
    bool ConsoleShown() const override { return false; }
};

class QSettingsProfileStoreTest : public ::testing::Test {
  protected:
    QString IniPath() const { return m_dir.filePath(QStringLiteral("Quorvel.ini")); }
    QTemporaryDir m_dir;
    NoConsole m_console;
    testing::FakeAppServices m_services;
};

TEST_F(QSettingsProfileStoreTest, ValuesLieInTheVersionSectionUnderTheirFieldKeys) {
    {
        QSettingsProfileStore store(IniPath());
        PortRecords records = DefaultPortRecords();
        records.m_PortRegistry[7].nBaud = 13;
        records.m_PortTest[7].strMinTime = "0042";
        EXPECT_EQ(SaveAllRecords(store, records), 0);
        EXPECT_TRUE(store.Flush());
    }
    QSettings raw(IniPath(), QSettings::IniFormat);
    raw.beginGroup(QStringLiteral("Version 1.0"));
    EXPECT_EQ(raw.allKeys().size(), 224);
    EXPECT_EQ(raw.value(QStringLiteral("m_PortRegistry[0].nBaud")).toInt(), 6);
    EXPECT_EQ(raw.value(QStringLiteral("m_PortRegistry[7].nBaud")).toInt(), 13);
    EXPECT_EQ(raw.value(QStringLiteral("m_PortRegistry[7].strMinTime")).toInt(), 42);
    EXPECT_EQ(raw.value(QStringLiteral("m_PortRegistry[3].nComBase")).toInt(), 6);
}

TEST_F(QSettingsProfileStoreTest, TextsKeepTheirCharactersAndMissingOnesYieldTheDefault) {
    const std::string path =
        "/bench/pr\xc3\xbc"
        "fung 1.txt";
    {
        QSettingsProfileStore store(IniPath());
        EXPECT_TRUE(store.WriteProfileString("Recent File List", "File1", path));
        EXPECT_TRUE(store.Flush());
    }
    QSettings raw(IniPath(), QSettings::IniFormat);
    EXPECT_EQ(raw.value(QStringLiteral("Recent File List/File1")).toString(),
              QString::fromUtf8(path.c_str()));
    QSettingsProfileStore store(IniPath());
    EXPECT_EQ(store.GetProfileString("Recent File List", "File1", "none"), path);
    EXPECT_EQ(store.GetProfileString("Recent File List", "File2", "none"), "none");
}

TEST_F(QSettingsProfileStoreTest, MissingOrUnreadableValuesYieldTheDefault) {
    {
        QSettings raw(IniPath(), QSettings::IniFormat);
        raw.setValue(QStringLiteral("Version 1.0/m_PortRegistry[0].nBaud"), QStringLiteral("fast"));
        raw.setValue(QStringLiteral("Version 1.0/m_PortRegistry[1].nBaud"), QStringLiteral("10"));
        raw.setValue(QStringLiteral("Version 1.0/m_PortRegistry[2].nBaud"),
                     QStringLiteral("99999999999"));
    }
    QSettingsProfileStore store(IniPath());
    EXPECT_EQ(store.GetProfileInt("Version 1.0", "m_PortRegistry[0].nBaud", 6), 6);
    EXPECT_EQ(store.GetProfileInt("Version 1.0", "m_PortRegistry[1].nBaud", 6), 10);
    EXPECT_EQ(store.GetProfileInt("Version 1.0", "m_PortRegistry[2].nBaud", 6), 6);
    EXPECT_EQ(store.GetProfileInt("Version 1.0", "m_PortRegistry[3].nBaud", 6), 6);
}

TEST_F(QSettingsProfileStoreTest, TheApplicationSavesAtExitWhatTheNextStartLoads) {
    {
        QSettingsProfileStore store(IniPath());
        CQuorvelApp app(store, m_console, m_services);
        app.LoadRecords();  // first start: the defaults
        EXPECT_EQ(app.Records(), DefaultPortRecords());
        EXPECT_EQ(app.Runtime().WriteDelayText(), "10");
        app.Records().m_PortRegistry[0].nBaud = 10;
        app.Records().m_PortPattern[0].strUserData = "typed";
        app.Runtime().SetWriteDelay("250");
        EXPECT_EQ(app.ExitInstance(3), 3);
    }
    QSettingsProfileStore store(IniPath());
    CQuorvelApp app(store, m_console, m_services);
    app.LoadRecords();
    EXPECT_EQ(app.Records().m_PortRegistry[0].nBaud, 10);
    EXPECT_EQ(app.Records().m_PortPattern[0].strUserData, "Zelk Corporation\r\n");
    EXPECT_EQ(app.Runtime().WriteDelayText(), "10");
}

TEST_F(QSettingsProfileStoreTest, AStoreThatCannotBeWrittenAtExitIsToldWithItsFileAndWhy) {
    testing::RecordingMessageSink messages;
    ASSERT_TRUE(QDir().mkpath(IniPath()));  // a folder where the file should be: even root fails
    QSettingsProfileStore store(IniPath());
    CQuorvelApp app(store, m_console, m_services);
    app.LoadRecords();
    app.Records().m_PortRegistry[0].nBaud = 10;
    EXPECT_EQ(app.ExitInstance(0), 0);  // the program still ends as asked
    EXPECT_EQ(messages.Messages(),
              (std::vector<testing::RecordedMessage>{
                  {"The port settings could not be saved to " +
                       QDir::toNativeSeparators(IniPath()).toStdString() +
                       ": a folder stands in its place. The changes made since Quorvel started "
                       "are lost.",
                   "Error", 0x30, MessageOwner::MainWindow}}));
}

}  // namespace
}  // namespace quorvel
