#include "LanfinderLab.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "TextFile.h"

namespace e2e {

using nlohmann::json;
using testsupport::readText;
using testsupport::writeText;

AppHome::AppHome(const std::string& root) : root_(root) {
    for (const char* sub :
         {"", "/home", "/tmp", "/data", "/config", "/cache", "/runtime", "/bin"}) {
        ::mkdir((root_ + sub).c_str(), 0700);
    }
    std::string opener = root_ + "/bin/xdg-open";
    writeText(opener, "#!/bin/sh\necho \"$1\" >> '" + root_ + "/opened'\nexit 0\n");
    ::chmod(opener.c_str(), 0755);
}

std::map<std::string, std::string> AppHome::environment() const {
    const char* path = std::getenv("PATH");
    return {{"HOME", root_ + "/home"},
            {"TMPDIR", root_ + "/tmp"},
            {"XDG_DATA_HOME", root_ + "/data"},
            {"XDG_CONFIG_HOME", root_ + "/config"},
            {"XDG_CACHE_HOME", root_ + "/cache"},
            {"XDG_RUNTIME_DIR", root_ + "/runtime"},
            {"PATH", root_ + "/bin:" + (path ? path : "/usr/bin:/bin")},
            {"BROWSER", root_ + "/bin/xdg-open"},
            {"QT_QPA_PLATFORM", "offscreen"}};
}

std::string AppHome::logPath() const {
    return root_ + "/data/vostrel/lanfinder/logs/lanfinder.log";
}

void AppHome::setLogAside() const {
    std::rename(logPath().c_str(), (logPath() + ".before").c_str());
}

int AppHome::reportedPort() const {
    static const std::string marker = "Application port number: ";
    std::string text = readText(logPath());
    auto at = text.find(marker);
    if (at == std::string::npos) {
        return 0;
    }
    return std::atoi(text.c_str() + at + marker.size());
}

bool favouritesOf(const std::string& text, std::set<std::string>& ids) {
    const json doc = json::parse(text, nullptr, false);
    if (!doc.is_object() || !doc.contains("language") || !doc.contains("theme") ||
        !doc.contains("devices") || !doc["devices"].is_object() ||
        !doc["devices"].contains("list") || !doc["devices"]["list"].is_array()) {
        return false;
    }
    ids.clear();
    for (const auto& d : doc["devices"]["list"]) {
        // Compared, not converted: a value of another type is a broken file,
        // not an exception in the middle of a case.
        if (!d.is_object() || !d.contains("id") || !d["id"].is_string() ||
            !d.contains("isFavorite") || d["isFavorite"] != true) {
            return false;
        }
        ids.insert(d["id"].get<std::string>());
    }
    return true;
}

bool BrowserView::connect(testsupport::NetLab& lab, const std::string& ns, int port,
                          int timeoutMs) {
    bool ok = false;
    lab.inNamespace(ns, [&] {
        testsupport::WsClient::Options o;
        o.host = "127.0.0.1";
        o.port = static_cast<std::uint16_t>(port);
        o.hostHeader = "localhost:" + std::to_string(port);
        ok = testsupport::waitFor([&] { return client_.connect(o); }, timeoutMs);
    });
    if (!ok) {
        return false;
    }
    auto first = client_.receive(timeoutMs);
    if (!first) {
        return false;
    }
    fullState = json::parse(*first, nullptr, false);
    if (!fullState.is_object() || !fullState.contains("devices")) {
        return false;
    }
    app = fullState;
    batch = fullState.value("batch", json());
    app.erase("devices");
    for (const auto& d : fullState["devices"]["list"]) {
        devices[d["id"].get<std::string>()] = d;
    }
    return true;
}

void BrowserView::applyBatch(const json& change) {
    // A job's start carries the whole report; later diffs only what changed.
    if (!change.is_object() || change.contains("startedTime")) {
        batch = change;
    } else {
        for (auto key = change.begin(); key != change.end(); ++key) {
            if (key.key() != "items") {
                batch[key.key()] = key.value();
            }
        }
        for (const auto& item : change.value("items", json::array())) {
            for (auto& known : batch["items"]) {
                if (known["deviceId"] == item["deviceId"]) {
                    known = item;
                }
            }
        }
    }
    int open = 0;
    for (const auto& item : batch.is_object() ? batch["items"] : json::array()) {
        const std::string status = item.value("status", "");
        open += status == "sent" || status == "processing" || status == "rebooting" ? 1 : 0;
    }
    maxBatchInFlight = std::max(maxBatchInFlight, open);
}

void BrowserView::apply(const std::string& text) {
    if (text == "SessionClosing") {
        sessionClosing = true;
        return;
    }
    json doc = json::parse(text, nullptr, false);
    if (!doc.is_object()) {
        return;
    }
    if (doc.contains("status")) {
        answers.push_back(doc);
        return;
    }
    diffs.push_back(doc);
    for (auto it = doc.begin(); it != doc.end(); ++it) {
        if (it.key() == "devices") {
            const json& d = it.value();
            for (const auto& added : d.value("added", json::array())) {
                devices[added["id"].get<std::string>()] = added;
            }
            for (const auto& removed : d.value("removed", json::array())) {
                devices.erase(removed["id"].get<std::string>());
            }
            for (const auto& updated : d.value("updated", json::array())) {
                auto& target = devices[updated["id"].get<std::string>()];
                for (auto u = updated.begin(); u != updated.end(); ++u) {
                    target[u.key()] = u.value();
                }
            }
        } else if (it.key() == "notifications") {
            for (const auto& n : it.value()) {
                notifications.push_back(n.value("message", ""));
            }
        } else if (it.key() == "batch") {
            applyBatch(it.value());
        } else if (it.key() == "autoScanner") {
            for (auto u = it.value().begin(); u != it.value().end(); ++u) {
                app["autoScanner"][u.key()] = u.value();
            }
        } else {
            app[it.key()] = it.value();
        }
    }
}

bool BrowserView::waitUntil(const std::function<bool()>& pred, int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!pred()) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        deadline - std::chrono::steady_clock::now())
                        .count();
        if (left <= 0 || client_.closed()) {
            return pred();
        }
        if (auto message = client_.receive(static_cast<int>(std::min<long long>(left, 200)))) {
            apply(*message);
        }
    }
    return true;
}

void BrowserView::drain(int ms) {
    waitUntil([] { return false; }, ms);
}

bool BrowserView::send(const json& request) {
    return client_.sendText(request.dump());
}

const json* BrowserView::device(const std::string& id) const {
    auto it = devices.find(id);
    return it == devices.end() ? nullptr : &it->second;
}

bool BrowserView::hasNotification(const std::string& message) const {
    return countNotifications(message) > 0;
}

int BrowserView::countNotifications(const std::string& message) const {
    int n = 0;
    for (const auto& m : notifications) {
        n += m == message;
    }
    return n;
}

}  // namespace e2e
