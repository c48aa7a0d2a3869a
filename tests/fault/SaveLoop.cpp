// Saves two different settings documents over one file, alternately and
// without end, through the program's own writer, so that a test can kill it
// at any moment of a save. Before the loop it writes both documents beside
// the file (".a" and ".b") for the test to compare against, then prints
// "saving" once the first save is in place, then "<" before and ">" after
// every save.
//
//   settings_save_loop PATH

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <unistd.h>

#include <cstdio>

#include "state/Settings.h"

namespace {

// Large enough that a save takes a while: 400 favourites.
QJsonDocument settings(const QString& theme, int generation) {
    QJsonArray list;
    for (int i = 0; i < 400; ++i) {
        QJsonObject device;
        device.insert(QStringLiteral("id"), QStringLiteral("vc%1_%2").arg(generation).arg(i));
        device.insert(QStringLiteral("name"), QString(64, QLatin1Char('a' + generation)));
        device.insert(QStringLiteral("isFavorite"), true);
        list.append(device);
    }
    QJsonObject devices;
    devices.insert(QStringLiteral("list"), list);
    QJsonObject object;
    object.insert(QStringLiteral("devices"), devices);
    object.insert(QStringLiteral("language"), QStringLiteral("en"));
    object.insert(QStringLiteral("theme"), theme);
    return QJsonDocument(object);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: settings_save_loop PATH\n");
        return 2;
    }
    const QString path = QString::fromLocal8Bit(argv[1]);
    const QJsonDocument a = settings(QStringLiteral("light"), 1);
    const QJsonDocument b = settings(QStringLiteral("dark"), 2);
    if (!writeJsonFile(path + QStringLiteral(".a"), a) ||
        !writeJsonFile(path + QStringLiteral(".b"), b) || !writeJsonFile(path, a)) {
        return 1;
    }
    std::printf("saving\n");
    std::fflush(stdout);
    // Unbuffered marks around each save tell the test whether its kill
    // landed inside one.
    for (unsigned long n = 0;; ++n) {
        (void)!::write(1, "<", 1);
        writeJsonFile(path, n % 2 ? a : b);
        (void)!::write(1, ">", 1);
    }
}
