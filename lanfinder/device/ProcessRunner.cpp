#include "device/ProcessRunner.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace {

// Closes what it holds when the scope ends, whatever path leaves it.
class descriptor {
public:
    explicit descriptor(int fd = -1) : fd_(fd) {}
    ~descriptor() { reset(); }
    descriptor(const descriptor&) = delete;
    descriptor& operator=(const descriptor&) = delete;
    int get() const { return fd_; }
    void reset() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = -1;
    }

private:
    int fd_;
};

class spawn_actions {
public:
    spawn_actions() { ::posix_spawn_file_actions_init(&actions_); }
    ~spawn_actions() { ::posix_spawn_file_actions_destroy(&actions_); }
    spawn_actions(const spawn_actions&) = delete;
    spawn_actions& operator=(const spawn_actions&) = delete;
    posix_spawn_file_actions_t* get() { return &actions_; }

private:
    posix_spawn_file_actions_t actions_;
};

}  // namespace

ProcessResult ProcessRunner::run(const QString& program, const QStringList& arguments) const {
    int ends[2];
    // Close-on-exec on both ends keeps this pipe out of processes that other
    // threads start at the same time; the child gets its copy through dup2.
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        throw std::runtime_error("Failed to create a pipe for STDOUT");
    }
    descriptor readEnd(ends[0]);
    descriptor writeEnd(ends[1]);

    spawn_actions actions;
    if (::posix_spawn_file_actions_adddup2(actions.get(), writeEnd.get(), STDOUT_FILENO) != 0 ||
        ::posix_spawn_file_actions_adddup2(actions.get(), writeEnd.get(), STDERR_FILENO) != 0 ||
        ::posix_spawn_file_actions_addopen(actions.get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0) !=
            0) {
        throw std::runtime_error("Failed to set handle information");
    }

    std::vector<std::string> texts;
    texts.push_back(program.toStdString());
    for (const auto& argument : arguments) {
        texts.push_back(argument.toStdString());
    }
    std::vector<char*> argv;
    for (auto& text : texts) {
        argv.push_back(text.data());
    }
    argv.push_back(nullptr);

    pid_t pid = 0;
    if (::posix_spawnp(&pid, argv[0], actions.get(), nullptr, argv.data(), environ) != 0) {
        throw std::runtime_error("posix_spawnp failed!");
    }
    writeEnd.reset();

    QByteArray output;
    char piece[8191];
    for (;;) {
        const ssize_t got = ::read(readEnd.get(), piece, sizeof piece);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        output.append(piece, static_cast<int>(got));
    }

    int status = 0;
    pid_t waited = 0;
    do {
        waited = ::waitpid(pid, &status, 0);
    } while (waited < 0 && errno == EINTR);

    ProcessResult result;
    result.output = QString::fromLocal8Bit(output).trimmed();
    result.exitCode = (waited == pid && WIFEXITED(status)) ? WEXITSTATUS(status) : -1;
    return result;
}
