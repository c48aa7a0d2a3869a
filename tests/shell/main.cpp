// The shell's unit tests need a QApplication (widgets, the tray, local
// sockets). Started with "--hold-instance <id>" the binary instead becomes a
// helper process that takes the single instance and waits to be killed.

#include <gtest/gtest.h>

#include <QApplication>
#include <cstdio>
#include <cstring>

#include "shell/SingleInstance.h"

namespace {

int holdInstance(int argc, char* argv[], const char* id) {
    QCoreApplication app(argc, argv);
    SingleInstance instance(QString::fromUtf8(id));
    const bool primary = !instance.isRunning();
    std::printf(primary ? "primary\n" : "secondary\n");
    std::fflush(stdout);
    return primary ? app.exec() : 3;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc >= 3 && std::strcmp(argv[1], "--hold-instance") == 0) {
        return holdInstance(argc, argv, argv[2]);
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
