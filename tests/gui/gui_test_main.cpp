// GoogleTest main for the window tests: one QApplication, offscreen unless told otherwise.
#include <gtest/gtest.h>

#include <QApplication>
#include <clocale>

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    // QApplication adopts the user's locale for the C library too; numbers stay with '.'.
    std::setlocale(LC_NUMERIC, "C");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
