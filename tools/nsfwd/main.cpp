// lanfinder-nsfwd: makes a TCP port inside a network namespace reachable on
// this machine's loopback, without creating any interface on the machine.
//
//   lanfinder-nsfwd --listen 127.0.0.1:8080 --netns NAME [--connect 127.0.0.1:8080]
//
// The listening socket is made first, in the namespace the program starts
// in; then the process enters the target namespace, so every connection it
// opens from then on is made there. One child process relays each accepted
// connection (WebSocket upgrades included: it only copies bytes).

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

struct endpoint {
    sockaddr_in address{};
};

bool parse_endpoint(const std::string& text, endpoint& out, bool any_port = false) {
    auto colon = text.rfind(':');
    if (colon == std::string::npos) {
        return false;
    }
    std::string host = text.substr(0, colon);
    char* end = nullptr;
    long port = std::strtol(text.c_str() + colon + 1, &end, 10);
    if (*end != '\0' || port < (any_port ? 0 : 1) || port > 65535) {
        return false;
    }
    out.address.sin_family = AF_INET;
    out.address.sin_port = htons(static_cast<uint16_t>(port));
    return inet_pton(AF_INET, host.c_str(), &out.address.sin_addr) == 1;
}

int usage() {
    std::fprintf(stderr,
                 "usage: lanfinder-nsfwd --listen 127.0.0.1:PORT --netns NAME [--connect IP:PORT]\n"
                 "Forwards connections made to the loopback address into the network namespace\n"
                 "NAME (default target 127.0.0.1 and the same port; port 0 listens on a port\n"
                 "the system picks, which the first output line names).\n");
    return 2;
}

// Copies bytes both ways until either side closes.
void relay(int a, int b) {
    char buffer[16384];
    pollfd fds[2] = {{a, POLLIN, 0}, {b, POLLIN, 0}};
    for (;;) {
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        for (int i = 0; i < 2; ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) {
                continue;
            }
            ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n <= 0) {
                return;
            }
            int to = fds[1 - i].fd;
            for (ssize_t done = 0; done < n;) {
                ssize_t w = write(to, buffer + done, static_cast<size_t>(n - done));
                if (w <= 0) {
                    return;
                }
                done += w;
            }
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    endpoint listen_at;
    endpoint connect_to;
    std::string netns;
    bool have_listen = false;
    bool have_connect = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (i + 1 >= argc) {
            return usage();
        }
        if (a == "--listen") {
            have_listen = parse_endpoint(argv[++i], listen_at, true);
            if (!have_listen) {
                return usage();
            }
        } else if (a == "--connect") {
            have_connect = parse_endpoint(argv[++i], connect_to);
            if (!have_connect) {
                return usage();
            }
        } else if (a == "--netns") {
            netns = argv[++i];
        } else {
            return usage();
        }
    }
    if (!have_listen || netns.empty() || netns.find('/') != std::string::npos) {
        return usage();
    }
    if ((ntohl(listen_at.address.sin_addr.s_addr) >> 24) != 127) {
        std::fprintf(stderr, "lanfinder-nsfwd: listens on loopback addresses only\n");
        return 2;
    }
    if (!have_connect) {
        if (listen_at.address.sin_port == 0) {
            return usage();
        }
        connect_to = listen_at;
        connect_to.address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    }

    int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (bind(listener, reinterpret_cast<sockaddr*>(&listen_at.address), sizeof listen_at.address) !=
            0 ||
        listen(listener, 64) != 0) {
        std::fprintf(stderr, "lanfinder-nsfwd: cannot listen: %s\n", std::strerror(errno));
        return 1;
    }
    int ns = open(("/run/netns/" + netns).c_str(), O_RDONLY | O_CLOEXEC);
    if (ns < 0 || setns(ns, CLONE_NEWNET) != 0) {
        std::fprintf(stderr, "lanfinder-nsfwd: cannot enter network namespace %s: %s\n",
                     netns.c_str(), std::strerror(errno));
        return 1;
    }
    close(ns);
    // Relaying children are reaped by the system and end with us.
    signal(SIGCHLD, SIG_IGN);
    // Port 0 asks the system for one; report the port really taken.
    sockaddr_in bound{};
    socklen_t bound_length = sizeof bound;
    getsockname(listener, reinterpret_cast<sockaddr*>(&bound), &bound_length);
    std::printf("lanfinder-nsfwd: forwarding 127.0.0.1:%d into %s\n", ntohs(bound.sin_port),
                netns.c_str());
    std::fflush(stdout);

    for (;;) {
        int client = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) {
            if (errno == EINTR || errno == ECONNABORTED) {
                continue;
            }
            std::fprintf(stderr, "lanfinder-nsfwd: accept failed: %s\n", std::strerror(errno));
            return 1;
        }
        pid_t child = fork();
        if (child == 0) {
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            close(listener);
            int upstream = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            if (connect(upstream, reinterpret_cast<sockaddr*>(&connect_to.address),
                        sizeof connect_to.address) == 0) {
                relay(client, upstream);
            }
            _exit(0);
        }
        close(client);
    }
}
