#include "state/Settings.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonParseError>
#include <QSaveFile>
#include <QStandardPaths>

#include "state/PrivateFiles.h"

namespace {

QString dataLocation() {
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
}

QByteArray contentOf(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return QByteArray();
    }
    return file.readAll();
}

}  // namespace

QString settingsFilePath() {
    return dataLocation() + QStringLiteral("/Settings.json");
}

QString logFolderPath() {
    return dataLocation() + QStringLiteral("/logs/");
}

QString webFolderPath() {
    return QDir::currentPath() + QStringLiteral("/../www/lnf/");
}

bool securePrivateData() {
    bool allPrivate = true;
    const auto report = [&allPrivate](bool ok, const QString& path) {
        if (!ok) {
            qWarning().noquote() << QStringLiteral("Cannot make private: ") + path;
            allPrivate = false;
        }
    };
    const QString data = dataLocation();
    const QString logs = logFolderPath();
    report(ensurePrivateFolder(data), data);
    report(ensurePrivateFolder(logs), logs);
    report(tightenPrivateFile(settingsFilePath()), settingsFilePath());
    const QDir logFolder(logs);
    for (const QString& name : logFolder.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        report(tightenPrivateFile(logFolder.filePath(name)), logFolder.filePath(name));
    }
    return allPrivate;
}

QJsonDocument readJsonFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        qDebug().noquote() << file.errorString() + QStringLiteral(" ") + path;
        return QJsonDocument();
    }
    const QByteArray bytes = file.readAll();
    file.close();
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (document.isNull()) {
        qDebug().noquote() << QStringLiteral("File ") + path + QStringLiteral(" invalid JSON: ") +
                                  error.errorString();
        // Every file read here is the user's: keep it before defaults replace it.
        keepInvalidSettingsFile(path);
        return QJsonDocument();
    }
    return document;
}

bool writeFile(const QString& path, const QByteArray& bytes, bool createIfMissing) {
    const QFileInfo info(path);
    const bool existed = info.exists();
    if (createIfMissing && !existed) {
        const QString folder = info.absolutePath();
        if (!QFileInfo(folder).isDir() && !ensurePrivateFolder(folder)) {
            qDebug().noquote() << QStringLiteral("Directory could not be created: ") + folder;
        }
    }
    // Written to a temporary file beside the target and renamed over it, so a
    // crash, a kill or a full disk leaves the previous file whole.
    QSaveFile file(path);
    // Unbuffered, so a short write shows in write()'s count: a buffered
    // QSaveFile can commit a file truncated by a full disk as a success.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        if (createIfMissing && !existed) {
            qDebug().noquote() << QStringLiteral("File could not be created: ") + path;
        }
        qDebug().noquote() << QStringLiteral("File could not be opened: ") + path;
        return false;
    }
    // The temporary file takes the umask's mode, or the old file's when there
    // is one; either may be readable by others.
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    // The write's own outcome says why (a full disk); after cancelWriting()
    // commit() would only report "Unknown error".
    QString failure;
    const qint64 written = file.write(bytes);
    if (written != bytes.size()) {
        failure =
            written < 0
                ? file.errorString()
                : QStringLiteral("(only %1 of %2 bytes written)").arg(written).arg(bytes.size());
        file.cancelWriting();
    }
    if (!file.commit()) {
        qDebug().noquote() << QStringLiteral("File could not be written: ") + path +
                                  QStringLiteral(" ") +
                                  (failure.isEmpty() ? file.errorString() : failure);
        return false;
    }
    return true;
}

bool writeJsonFile(const QString& path, const QJsonDocument& document) {
    return writeFile(path, document.toJson(), true);
}

QString keepInvalidSettingsFile(const QString& path) {
    const QByteArray content = contentOf(path);
    if (content.isEmpty()) {
        // Missing, unreadable or empty: nothing of the user's to keep.
        return QString();
    }
    const QString base = path + QStringLiteral(".invalid");
    for (int n = 1; n <= 100; ++n) {
        const QString copy = n == 1 ? base : base + QStringLiteral(".%1").arg(n);
        if (QFileInfo::exists(copy)) {
            // The same broken file met again (a run whose save failed): one
            // copy of it is enough; an older, different copy stays as it is.
            if (contentOf(copy) == content) {
                return copy;
            }
            continue;
        }
        if (QFile::copy(path, copy)) {
            tightenPrivateFile(copy);
            qDebug().noquote() << QStringLiteral("Invalid file kept as ") + copy;
            return copy;
        }
        break;
    }
    qDebug().noquote() << QStringLiteral("Invalid file could not be kept: ") + path;
    return QString();
}
