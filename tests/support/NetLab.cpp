#include "NetLab.h"

#include <fcntl.h>
#include <net/if.h>
#include <sched.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <dirent.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <thread>

namespace testsupport {
namespace {

std::atomic<int> labCounter{0};

int shell(const std::string& cmd) {
    int rc = std::system(cmd.c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

// Whether the card of this thread's namespace is up with its carrier.
bool isRunning(const std::string& name) {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    ifreq request{};
    std::strncpy(request.ifr_name, name.c_str(), IFNAMSIZ - 1);
    const bool running =
        ioctl(fd, SIOCGIFFLAGS, &request) == 0 && (request.ifr_flags & IFF_RUNNING) != 0;
    close(fd);
    return running;
}

void killNamespacePids(const std::string& ns) {
    shell("for p in $(ip netns pids '" + ns + "' 2>/dev/null); do kill -9 $p 2>/dev/null; done");
}

void deleteNamespace(const std::string& ns) {
    killNamespacePids(ns);
    shell("ip netns del '" + ns + "' 2>/dev/null");
}

// Namespaces left by a test process that was killed (timeout, crash) carry
// that process's pid in their name; remove them once the process is gone.
void sweepStale() {
    DIR* dir = opendir("/run/netns");
    if (!dir) {
        return;
    }
    std::vector<std::string> stale;
    while (dirent* e = readdir(dir)) {
        std::string name = e->d_name;
        int pid = 0;
        if (std::sscanf(name.c_str(), "lft%d-", &pid) == 1 && pid > 0 && kill(pid, 0) != 0) {
            stale.push_back(name);
        }
    }
    closedir(dir);
    for (const auto& ns : stale) {
        deleteNamespace(ns);
    }
}

}  // namespace

bool NetLab::available(std::string* whyNot) {
    auto fail = [&](const char* why) {
        if (whyNot) {
            *whyNot = why;
        }
        return false;
    };
    if (geteuid() != 0) {
        return fail("network namespaces need root; run the tests as root (CI does)");
    }
    if (shell("ip -V >/dev/null 2>&1") != 0) {
        return fail("iproute2 (ip) is not installed");
    }
    return true;
}

NetLab::NetLab() {
    sweepStale();
    prefix_ = "lft" + std::to_string(getpid()) + "-" + std::to_string(labCounter++) + "-";
}

NetLab::~NetLab() {
    removeAll();
}

void NetLab::removeAll() {
    for (pid_t pid : children_) {
        if (pid > 0 && kill(pid, 0) == 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }
    children_.clear();
    for (const auto& ns : namespaces_) {
        deleteNamespace(ns);
    }
    namespaces_.clear();
}

std::string NetLab::addNamespace(const std::string& shortName) {
    std::string ns = prefix_ + shortName;
    if (shell("ip netns add '" + ns + "'") != 0) {
        throw std::runtime_error("cannot create network namespace " + ns);
    }
    namespaces_.push_back(ns);
    ip(ns, "link set lo up");
    return ns;
}

void NetLab::ip(const std::string& ns, const std::string& args) {
    std::string cmd = "ip -n '" + ns + "' " + args;
    if (shell(cmd) != 0) {
        throw std::runtime_error("failed: " + cmd);
    }
}

void NetLab::link(const std::string& nsA, const std::string& ifA, const std::string& cidrA,
                  const std::string& nsB, const std::string& ifB, const std::string& cidrB) {
    // Created inside nsA with the peer placed straight into nsB: neither end
    // ever exists in the machine's own namespace.
    ip(nsA, "link add " + ifA + " type veth peer name " + ifB + " netns '" + nsB + "'");
    if (!cidrA.empty()) {
        ip(nsA, "addr add " + cidrA + " dev " + ifA);
    }
    if (!cidrB.empty()) {
        ip(nsB, "addr add " + cidrB + " dev " + ifB);
    }
    ip(nsA, "link set " + ifA + " up");
    ip(nsB, "link set " + ifB + " up");
    // A veth end reports its carrier a moment after both ends are up; a
    // program that lists running cards before then does not see it.
    for (const auto& [ns, name] : {std::pair{nsA, ifA}, std::pair{nsB, ifB}}) {
        bool running = false;
        inNamespace(ns,
                    [&, name = name] { running = waitFor([&] { return isRunning(name); }, 5000); });
        if (!running) {
            throw std::runtime_error("no carrier on " + name + " in " + ns);
        }
    }
}

void NetLab::inNamespace(const std::string& ns, const std::function<void()>& fn) {
    std::exception_ptr error;
    std::thread worker([&] {
        try {
            int fd = open(("/run/netns/" + ns).c_str(), O_RDONLY | O_CLOEXEC);
            if (fd < 0 || setns(fd, CLONE_NEWNET) != 0) {
                if (fd >= 0) {
                    close(fd);
                }
                throw std::runtime_error("cannot enter network namespace " + ns);
            }
            close(fd);
            fn();
        } catch (...) {
            error = std::current_exception();
        }
    });
    worker.join();
    if (error) {
        std::rethrow_exception(error);
    }
}

pid_t NetLab::spawn(const std::string& ns, const std::vector<std::string>& argv,
                    const std::map<std::string, std::string>& env, const std::string& logPath) {
    std::vector<std::string> full = {"ip", "netns", "exec", ns};
    full.insert(full.end(), argv.begin(), argv.end());
    pid_t pid = fork();
    if (pid < 0) {
        throw std::runtime_error("fork failed");
    }
    if (pid == 0) {
        for (const auto& [k, v] : env) {
            setenv(k.c_str(), v.c_str(), 1);
        }
        if (!logPath.empty()) {
            int fd = open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (fd >= 0) {
                dup2(fd, 1);
                dup2(fd, 2);
                close(fd);
            }
        }
        std::vector<char*> args;
        for (auto& a : full) {
            args.push_back(const_cast<char*>(a.c_str()));
        }
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    children_.push_back(pid);
    return pid;
}

int NetLab::waitExit(pid_t pid, int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int status = 0;
        pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid) {
            if (WIFEXITED(status)) {
                return WEXITSTATUS(status);
            }
            return 128 + WTERMSIG(status);
        }
        if (r < 0 || std::chrono::steady_clock::now() >= deadline) {
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

bool waitFor(const std::function<bool()>& cond, int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!cond()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return cond();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

}  // namespace testsupport
