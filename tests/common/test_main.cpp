// Shared GoogleTest entry point: creates the Qt application object the tests of one subsystem need.
#include <gtest/gtest.h>

#include <clocale>

#if KEST_TEST_APP_KIND == 2
#include <QApplication>
using TestApp = QApplication;
#elif KEST_TEST_APP_KIND == 1
#include <QGuiApplication>
using TestApp = QGuiApplication;
#else
#include <QCoreApplication>
using TestApp = QCoreApplication;
#endif

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    TestApp app(argc, argv);
    // Qt sets the locale from the environment; numbers in our files always use the C locale.
    std::setlocale(LC_NUMERIC, "C");
    return RUN_ALL_TESTS();
}
