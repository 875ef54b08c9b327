// One QApplication for the whole test process; each test makes its own windows.
#include "forms/WindowLook.h"

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char **argv) {
    // Test discovery runs the binary outside CTest's environment: never reach for a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    WindowLook::InitApplication();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
