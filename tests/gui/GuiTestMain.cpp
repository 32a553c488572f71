// The main of the GUI suites: a QApplication (offscreen under ctest) around
// GoogleTest, so tests can make and drive real widgets.
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char* argv[]) {
    // Test listing and test runs both go without a display unless one is
    // asked for, on a screen of 1400 x 1000 pixels.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" QUORVEL_TEST_SCREEN);
    }
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
