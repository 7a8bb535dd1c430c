#include <QApplication>

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>

// The program's tests share one QApplication on the offscreen platform.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C"); // as the program does after its QApplication
    return RUN_ALL_TESTS();
}
