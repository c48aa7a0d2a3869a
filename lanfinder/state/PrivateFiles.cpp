#include "state/PrivateFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace {

constexpr mode_t folderMode = 0700;
constexpr mode_t fileMode = 0600;

// Closes the descriptor on every way out.
class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

// Opened with O_NOFOLLOW and examined and changed through the descriptor,
// so a link swapped in between the check and the change is never followed.
int openNoFollow(const QString& path, int flags) {
    return ::open(QFile::encodeName(path).constData(), flags | O_NOFOLLOW | O_CLOEXEC);
}

bool ownedByUs(const struct stat& st) {
    return st.st_uid == ::geteuid();
}

}  // namespace

bool isPrivateFolder(const QString& path) {
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0) {
        return false;
    }
    return S_ISDIR(st.st_mode) && ownedByUs(st) && (st.st_mode & 077) == 0;
}

bool ensurePrivateFolder(const QString& path) {
    const QString parent = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(parent)) {
        return false;
    }
    if (::mkdir(QFile::encodeName(path).constData(), folderMode) != 0 && errno != EEXIST) {
        return false;
    }
    const Descriptor folder(openNoFollow(path, O_RDONLY | O_DIRECTORY));
    struct stat st {};
    if (folder.get() < 0 || ::fstat(folder.get(), &st) != 0 || !ownedByUs(st)) {
        return false;
    }
    // Exactly 0700: the umask may have taken even the owner's bits.
    return (st.st_mode & 07777) == folderMode || ::fchmod(folder.get(), folderMode) == 0;
}

bool tightenPrivateFile(const QString& path) {
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0) {
        return errno == ENOENT;
    }
    if (!S_ISREG(st.st_mode) || !ownedByUs(st)) {
        return false;
    }
    const Descriptor file(openNoFollow(path, O_RDONLY));
    return file.get() >= 0 && ::fchmod(file.get(), fileMode) == 0;
}
