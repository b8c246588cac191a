#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QStandardPaths>

// Tests without widgets still get a QCoreApplication (for QSettings, QTemporaryDir and queued
// calls) and never touch the user's own settings.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
