// The main of every test program: the tests run inside a QGuiApplication, or a
// QApplication for the programs that test windows (offscreen in the test runs).
#ifdef KVR_TEST_WIDGETS
#include "ui/WidgetPrompter.h"

#include <QApplication>
using TestApplication = QApplication;
#else
#include <QGuiApplication>
using TestApplication = QGuiApplication;
#endif
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    TestApplication app(argc, argv);
#ifdef KVR_TEST_WIDGETS
    // As in the program: the real boxes unless a test installs its scripted prompter.
    WidgetPrompter prompter;
    Prompter::setDefault(&prompter);
#endif
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
