#pragma once

// What the end-to-end tests need around the real program: a private lab
// (PC namespace, device namespaces running lanfinder-sim), lanfinder
// started in the PC namespace with a home of its own and a fake browser,
// and a browser's view of the state kept up to date from the WebSocket.

#include <sys/types.h>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "NetLab.h"
#include "WsClient.h"

namespace e2e {

// One lanfinder's private files: HOME, TMPDIR and XDG folders, and a PATH
// whose xdg-open only records the address it was asked to open (headless Qt
// does not call it, but a desktop build would).
class AppHome {
public:
    explicit AppHome(const std::string& root);
    std::map<std::string, std::string> environment() const;
    // lanfinder's own log file in this home.
    std::string logPath() const;
    // Moves the log of an earlier run aside, so what follows is the next run's.
    void setLogAside() const;
    // The port lanfinder reported in its log ("Application port number:
    // <n>"); 0 while there is none.
    int reportedPort() const;
    const std::string& root() const { return root_; }

private:
    std::string root_;
};

// The favourite ids of a settings file's text. False when the text is not
// whole settings of the program's shape (a file cut short, or written by
// something else): every stored device is a favourite with a text id.
bool favouritesOf(const std::string& text, std::set<std::string>& ids);

// A browser as the contract describes it: the full state first, then diffs
// applied to a model of the state; answers and notifications collected.
class BrowserView {
public:
    // Connects from inside the namespace (the socket stays there).
    bool connect(testsupport::NetLab& lab, const std::string& ns, int port, int timeoutMs);

    // Receives and applies messages until pred holds or timeoutMs passes.
    bool waitUntil(const std::function<bool()>& pred, int timeoutMs);
    // Receives and applies everything that arrives within ms.
    void drain(int ms);
    bool send(const nlohmann::json& request);

    const nlohmann::json* device(const std::string& id) const;
    bool hasNotification(const std::string& message) const;
    int countNotifications(const std::string& message) const;

    nlohmann::json fullState;                       // as first received
    nlohmann::json app;                             // top-level keys, diffs applied
    std::map<std::string, nlohmann::json> devices;  // by id, diffs applied
    std::vector<std::string> notifications;
    std::vector<nlohmann::json> diffs;
    std::vector<nlohmann::json> answers;
    // The batch report, diffs applied, and the most items it ever showed in
    // flight at once.
    nlohmann::json batch;
    int maxBatchInFlight = 0;
    bool sessionClosing = false;
    void close() { client_.close(); }
    void abort() { client_.abort(); }

private:
    void apply(const std::string& text);
    void applyBatch(const nlohmann::json& change);
    testsupport::WsClient client_;
};

}  // namespace e2e
