// Checks a running lanfinder from the outside, as a browser would: the web
// folder is served, and the WebSocket gives the full state with the expected
// version, the device list, the cards and the languages of the web folder.
// The package tests run it in the network namespace of an installed program.
//
//   package_fullstate_check <port> <expected version> [<timeout ms>]
// Exit status 0 when everything holds, 1 otherwise (the reasons on stderr).

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>

#include "WsClient.h"

namespace {

using Clock = std::chrono::steady_clock;
using testsupport::WsClient;

int failures = 0;

void expect(bool condition, const std::string& what) {
    std::cout << (condition ? "ok      " : "FAILED  ") << what << std::endl;
    if (!condition) {
        ++failures;
    }
}

// The program needs a moment to start its server; ask until the deadline.
std::unique_ptr<WsClient> connectBefore(Clock::time_point deadline, std::uint16_t port) {
    while (Clock::now() < deadline) {
        auto client = std::make_unique<WsClient>();
        WsClient::Options options;
        options.port = port;
        if (client->connect(options)) {
            return client;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return nullptr;
}

bool listsLanguage(const nlohmann::json& languages, const std::string& code) {
    for (const auto& entry : languages) {
        if ((entry.is_string() && entry == code) ||
            (entry.is_object() && entry.value("name", std::string()) == code)) {
            return true;
        }
    }
    return false;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc < 3) {
        std::cerr << "usage: " << argv[0] << " <port> <expected version> [<timeout ms>]\n";
        return 2;
    }
    const auto port = static_cast<std::uint16_t>(std::atoi(argv[1]));
    const std::string version = argv[2];
    const int timeoutMs = argc > 3 ? std::atoi(argv[3]) : 60000;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);

    auto client = connectBefore(deadline, port);
    expect(client != nullptr, "WebSocket upgrade on port " + std::to_string(port));
    if (!client) {
        return 1;
    }

    const auto page = testsupport::httpGet("127.0.0.1", port, "/", 10000);
    expect(page && page->status == 200 &&
               page->body.find("<title>lanfinder</title>") != std::string::npos,
           "GET / serves the browser interface from the web folder");

    const auto message = client->receiveUntil(
        [](const std::string& text) {
            const auto json = nlohmann::json::parse(text, nullptr, false);
            return json.is_object() && json.contains("version");
        },
        int(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now())
                .count()));
    expect(message.has_value(), "full state received");
    if (!message) {
        return 1;
    }
    const auto state = nlohmann::json::parse(*message);
    expect(state.value("version", std::string()) == version, "version is " + version);
    expect(state.contains("devices") && state["devices"].is_object() &&
               state["devices"].contains("list") && state["devices"]["list"].is_array(),
           "devices.list is a list");
    expect(state.contains("nics") && state["nics"].is_array(), "nics is a list");
    // Only the translations of the web folder add German to the built-in English.
    const bool hasLanguages = state.contains("languages") && state["languages"].is_array();
    expect(hasLanguages && listsLanguage(state["languages"], "en") &&
               listsLanguage(state["languages"], "de"),
           "languages come from the web folder's translations_json");
    std::cout << "state keys:";
    for (const auto& item : state.items()) {
        std::cout << ' ' << item.key();
    }
    std::cout << std::endl;

    client->close();
    return failures == 0 ? 0 : 1;
}
