#include "shell/LocalTimeZone.h"

#include <sys/stat.h>

#include <cstdlib>
#include <ctime>

namespace shell {

namespace {

// What tells one version of the file from the next: replacing it (a new
// symlink target or a renamed copy) changes the inode, rewriting it in place
// the modification time or size.
QByteArray identityOf(const QByteArray& file) {
    struct stat info {};
    if (::stat(file.constData(), &info) != 0) {
        return QByteArrayLiteral("missing");
    }
    return QByteArray::number(static_cast<qulonglong>(info.st_dev)) + ':' +
           QByteArray::number(static_cast<qulonglong>(info.st_ino)) + ':' +
           QByteArray::number(static_cast<qlonglong>(info.st_size)) + ':' +
           QByteArray::number(static_cast<qlonglong>(info.st_mtim.tv_sec)) + '.' +
           QByteArray::number(static_cast<qlonglong>(info.st_mtim.tv_nsec));
}

// glibc reads the file again only when the text of TZ changes; "/./" before
// the path names the same file in other words.
QByteArray spelling(const QByteArray& file, bool alternate) {
    return QByteArrayLiteral(":") + (alternate ? QByteArrayLiteral("/.") : QByteArray()) + file;
}

}  // namespace

bool pinLocalTimeZone(const QByteArray& zoneFile) {
    if (std::getenv("TZ") != nullptr) {
        return false;
    }
    ::setenv("TZ", spelling(zoneFile, false).constData(), 1);
    ::tzset();
    return true;
}

LocalTimeZoneWatch::LocalTimeZoneWatch(const QByteArray& zoneFile, QObject* parent)
    : QObject(parent), m_file(zoneFile), m_identity(identityOf(zoneFile)) {
    m_timer.setInterval(checkIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &LocalTimeZoneWatch::check);
    m_timer.start();
}

bool LocalTimeZoneWatch::check() {
    const QByteArray identity = identityOf(m_file);
    if (identity == m_identity) {
        return false;
    }
    m_identity = identity;
    m_alternate = !m_alternate;
    // TZ exists since start-up, so this replaces its value in place and the
    // environment does not move under threads that read it.
    ::setenv("TZ", spelling(m_file, m_alternate).constData(), 1);
    ::tzset();
    return true;
}

}  // namespace shell
