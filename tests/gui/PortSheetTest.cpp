#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QTest>

#include "gui/GuiTestSupport.h"
#include "res/resource.h"
#include "ui/CPortSheet.h"

namespace quorvel {
namespace {

namespace id = res::page;

QStringList Entries(const QComboBox* list) {
    QStringList entries;
    for (int i = 0; i < list->count(); ++i) {
        entries << list->itemText(i);
    }
    return entries;
}

// Chooses entry `index` as the operator does, so the list's reaction runs.
void Choose(QComboBox* list, int index) {
    list->setCurrentIndex(index);
    emit list->activated(index);
}

class PortSheetTest : public ::testing::Test {
  protected:
    PortRecords m_records = DefaultPortRecords();
};

TEST_F(PortSheetTest, TheStopBitsListFollowsTheDataLength) {
    m_records.m_PortRegistry[0].nDataBits = 0;  // five data bits
    m_records.m_PortRegistry[0].nStopBits = 1;
    CPortSheet sheet(m_records);
    CPortPage* page = sheet.Page(0);
    EXPECT_EQ(Entries(page->List(id::kStopBits)), (QStringList{"1", "1.5"}));
    EXPECT_EQ(page->List(id::kStopBits)->currentIndex(), 1);

    Choose(page->List(id::kDataLength), 2);  // seven: "2", selection back to "1"
    EXPECT_EQ(Entries(page->List(id::kStopBits)), (QStringList{"1", "2"}));
    EXPECT_EQ(page->List(id::kStopBits)->currentIndex(), 0);
    EXPECT_EQ(m_records.m_PortRegistry[0].nDataBits, 2);  // at once
    EXPECT_EQ(m_records.m_PortRegistry[0].nStopBits, 1);  // until OK

    // Opening the list shows the stop bits last confirmed.
    page->List(id::kStopBits)->showPopup();
    EXPECT_EQ(page->List(id::kStopBits)->currentIndex(), 1);
    page->List(id::kStopBits)->hidePopup();
    sheet.OnOK();
    EXPECT_EQ(m_records.m_PortRegistry[0].nStopBits, 1);
}

TEST_F(PortSheetTest, ComBaseMovesTheOtherPortsAtOnceEvenOnCancel) {
    CPortSheet sheet(m_records);
    EXPECT_EQ(sheet.Tabs()->tabText(0), "Port1");
    EXPECT_EQ(sheet.Tabs()->tabText(7), "Port8");
    Choose(sheet.Page(0)->List(id::kComBase), 4);  // COM5
    sheet.reject();
    EXPECT_EQ(m_records.m_PortRegistry[0].nComBase, 3);  // port 0 keeps COM4
    for (int port = 1; port < 8; ++port) {
        EXPECT_EQ(m_records.m_PortRegistry[static_cast<std::size_t>(port)].nComBase, 4 + port);
    }
}

TEST_F(PortSheetTest, PortsFollowingCom40ShowNoSelectionAndKeepTheirNumbers) {
    m_records.m_PortRegistry[0].nComBase = 39;
    for (int port = 1; port < 8; ++port) {
        m_records.m_PortRegistry[static_cast<std::size_t>(port)].nComBase = 39 + port;
    }
    CPortSheet sheet(m_records);
    sheet.ShowPage(3);
    EXPECT_EQ(sheet.Page(0)->List(id::kComBase)->currentText(), "COM40");
    EXPECT_EQ(sheet.Page(3)->List(id::kComBase)->currentIndex(), -1);
    EXPECT_FALSE(sheet.Page(3)->List(id::kComBase)->isEnabled());
    sheet.OnOK();
    EXPECT_EQ(m_records.m_PortRegistry[3].nComBase, 42);
}

TEST_F(PortSheetTest, DtrAndRtsChooseTheHysteresisInForce) {
    m_records.m_PortRegistry[0].nDTR = 0;
    m_records.m_PortRegistry[0].nRTS = 0;
    CPortSheet sheet(m_records);
    CPortPage* page = sheet.Page(0);
    EXPECT_FALSE(page->Radio(id::kDtr)->isChecked());
    EXPECT_FALSE(page->Radio(id::kRts)->isChecked());
    EXPECT_TRUE(page->List(id::kDtrHysteresis)->isEnabled());
    EXPECT_TRUE(page->List(id::kRtsHysteresis)->isEnabled());
    sheet.show();
    QTest::mouseClick(page->Radio(id::kRts), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_TRUE(page->Radio(id::kRts)->isChecked());
    EXPECT_FALSE(page->List(id::kDtrHysteresis)->isEnabled());
    QTest::mouseClick(page->Radio(id::kDtr), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_TRUE(page->Radio(id::kDtr)->isChecked());
    EXPECT_FALSE(page->Radio(id::kRts)->isChecked());
    EXPECT_FALSE(page->List(id::kRtsHysteresis)->isEnabled());
    // A click on the one already chosen keeps it: one of the pair stays set.
    QTest::mouseClick(page->Radio(id::kDtr), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_TRUE(page->Radio(id::kDtr)->isChecked());
    EXPECT_FALSE(page->Radio(id::kRts)->isChecked());
    EXPECT_TRUE(page->List(id::kDtrHysteresis)->isEnabled());
    sheet.OnOK();
    EXPECT_EQ(m_records.m_PortRegistry[0].nDTR, 1);
    EXPECT_EQ(m_records.m_PortRegistry[0].nRTS, 0);
}

TEST_F(PortSheetTest, Rs485AndTheFifoTriggersAreEnabledByTheirRules) {
    m_records.m_PortRegistry[2].nRS485 = 1;
    CPortSheet sheet(m_records);
    for (int port = 0; port < 8; ++port) {
        sheet.ShowPage(port);
        EXPECT_EQ(sheet.Page(port)->Check(id::kRs485)->isEnabled(), port >= 6) << port;
    }
    EXPECT_TRUE(sheet.Page(2)->Check(id::kRs485)->isChecked());  // shown, not editable
    CPortPage* page = sheet.Page(6);
    EXPECT_FALSE(page->List(id::kTxTrigger)->isEnabled());
    page->Check(id::kTxFifo)->setChecked(true);
    EXPECT_TRUE(page->List(id::kTxTrigger)->isEnabled());
    EXPECT_EQ(Entries(page->List(id::kTxTrigger)).size(), 64);
    EXPECT_EQ(Entries(page->List(id::kRxTrigger)).front(), "1");
    EXPECT_EQ(Entries(page->List(id::kRxTrigger)).size(), 63);
    sheet.show();
    sheet.ShowPage(0);
    EXPECT_TRUE(testing::SaveScreenshot(sheet, "port-settings-port1"));
    sheet.ShowPage(6);
    EXPECT_TRUE(testing::SaveScreenshot(sheet, "port-settings-port7"));
}

TEST_F(PortSheetTest, OkWritesOnlyThePagesThatWereShown) {
    CPortSheet sheet(m_records);
    CPortPage* port1 = sheet.Page(0);
    Choose(port1->List(id::kBaud), 13);
    port1->Check(id::kOpenPort)->setChecked(false);
    sheet.Page(1)->Check(id::kOpenPort)->setChecked(true);  // never shown: not applied
    sheet.OnOK();
    EXPECT_EQ(sheet.result(), QDialog::Accepted);
    EXPECT_EQ(m_records.m_PortRegistry[0].nBaud, 13);
    EXPECT_EQ(m_records.m_PortRegistry[0].nPortOpen, 0);
    const PortRecords defaults = DefaultPortRecords();
    for (std::size_t port = 1; port < 8; ++port) {
        EXPECT_EQ(m_records.m_PortRegistry[port], defaults.m_PortRegistry[port]) << port;
    }
}

TEST_F(PortSheetTest, AnIndexOutsideItsListIsKeptRatherThanReplaced) {
    m_records.m_PortRegistry[0].nBaud = 13;
    CPortSheet sheet(m_records);
    sheet.Page(0)->List(id::kBaud)->setCurrentIndex(-1);  // as with a value no list has
    sheet.OnOK();
    EXPECT_EQ(m_records.m_PortRegistry[0].nBaud, 13);
}

}  // namespace
}  // namespace quorvel
