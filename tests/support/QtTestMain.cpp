#include <gtest/gtest.h>
#include <QApplication>
#include <QStandardPaths>

// One QApplication per GUI test binary. CMake sets QT_QPA_PLATFORM=offscreen for these tests;
// settings go to Qt's test locations, never to the user's own.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
