#include <QCoreApplication>

#include <gtest/gtest.h>

// The state cache carries calls from other threads onto this thread's event
// loop, so the tests need an application object.
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("vostrel"));
    QCoreApplication::setApplicationName(QStringLiteral("lanfinder-state-tests"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
