#include <QCoreApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // The serial port's notifiers need an application object; the tests drive it blocking.
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
