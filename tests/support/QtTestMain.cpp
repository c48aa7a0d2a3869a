#include <gtest/gtest.h>

#include <QCoreApplication>

// Tests whose objects post to the main thread need an application object there.
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
