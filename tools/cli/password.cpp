#include "password.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>

#include "options.h"

namespace cli {
namespace {

// A password longer than this is not a password someone typed.
constexpr std::size_t most_bytes = 4096;

int tty_fd = -1;
struct termios saved_mode {};

// Ctrl-C at the prompt must not leave the terminal without echo.
extern "C" void restore_and_reraise(int signal_number) {
    if (tty_fd >= 0) {
        ::tcsetattr(tty_fd, TCSAFLUSH, &saved_mode);
    }
    std::signal(signal_number, SIG_DFL);
    std::raise(signal_number);
}

void write_text(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n <= 0) {
            return;
        }
        done += static_cast<std::size_t>(n);
    }
}

}  // namespace

std::string prompt_password(const std::string& prompt) {
    const int fd = ::open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        throw usage_error("no terminal to ask for the password: use --password-stdin");
    }
    struct termios mode {};
    const bool is_terminal = ::tcgetattr(fd, &mode) == 0;
    if (is_terminal) {
        saved_mode = mode;
        tty_fd = fd;
        std::signal(SIGINT, restore_and_reraise);
        std::signal(SIGTERM, restore_and_reraise);
        mode.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        mode.c_lflag |= ECHONL;
        ::tcsetattr(fd, TCSAFLUSH, &mode);
    }
    write_text(fd, prompt);
    std::string line;
    char c = 0;
    while (line.size() < most_bytes && ::read(fd, &c, 1) == 1 && c != '\n') {
        line.push_back(c);
    }
    if (is_terminal) {
        ::tcsetattr(fd, TCSAFLUSH, &saved_mode);
        std::signal(SIGINT, SIG_DFL);
        std::signal(SIGTERM, SIG_DFL);
        tty_fd = -1;
    }
    ::close(fd);
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return line;
}

}  // namespace cli
