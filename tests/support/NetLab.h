#pragma once

// Private test networks: uniquely named network namespaces joined by veth
// pairs, made and removed by the test itself. Nothing here ever touches the
// machine's own interfaces: every link is created inside a namespace of ours.

#include <sys/types.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace testsupport {

class NetLab {
public:
    // True when namespaces can be made here (root, iproute2 present).
    static bool available(std::string* whyNot = nullptr);

    NetLab();
    ~NetLab();
    NetLab(const NetLab&) = delete;
    NetLab& operator=(const NetLab&) = delete;

    // Makes a namespace with its loopback up; returns its full (unique) name.
    std::string addNamespace(const std::string& shortName);

    // A veth pair: end ifA in nsA with address cidrA ("10.1.0.1/24"), end ifB
    // in nsB with cidrB. An empty cidr leaves that end without an address.
    void link(const std::string& nsA, const std::string& ifA, const std::string& cidrA,
              const std::string& nsB, const std::string& ifB, const std::string& cidrB);

    // Runs "ip <args>" inside the namespace; throws std::runtime_error on failure.
    void ip(const std::string& ns, const std::string& args);

    // Runs fn on a thread that has entered the namespace and waits for it.
    // Sockets made by fn belong to that namespace for their whole life, and
    // threads that fn starts inherit it.
    void inNamespace(const std::string& ns, const std::function<void()>& fn);

    // Starts a program inside the namespace ("ip netns exec"), with extra
    // environment entries; stdout and stderr go to logPath when given.
    // Processes still running are killed when the lab goes away.
    pid_t spawn(const std::string& ns, const std::vector<std::string>& argv,
                const std::map<std::string, std::string>& env = {},
                const std::string& logPath = {});

    // Waits up to timeoutMs for the process to end; returns its exit status
    // (exit code, or 128 + signal), or -1 when it is still running.
    static int waitExit(pid_t pid, int timeoutMs);

    const std::string& prefix() const { return prefix_; }

private:
    void removeAll();

    std::string prefix_;
    std::vector<std::string> namespaces_;
    std::vector<pid_t> children_;
};

// Polls cond every 10 ms until it holds or timeoutMs passes; returns its last value.
bool waitFor(const std::function<bool()>& cond, int timeoutMs);

}  // namespace testsupport
