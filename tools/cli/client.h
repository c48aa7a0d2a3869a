#pragma once

// The tool's side of the discovery protocol: one client-mode engine on the
// chosen addresses, discovery with repeated requests, and requests whose
// answers are told apart by their request id.

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include <beacon/idevice_protocol.h>

#include "cards.h"
#include "found_device.h"

namespace cli {

class sent_ids;

// The engine could not be made (response port taken, address gone, ...).
struct bind_failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class client {
public:
    using clock = std::chrono::steady_clock;

    // Throws bind_failure.
    explicit client(const std::vector<card_address>& addresses);
    ~client();
    client(const client&) = delete;
    client& operator=(const client&) = delete;

    // Sends up to `requests` discovery requests, `every` apart, and collects
    // the answers (one entry per device id, the latest answer kept) until
    // `within` has passed or `done` holds for an answer just received.
    std::vector<found_device> discover(std::chrono::milliseconds within,
                                       std::chrono::milliseconds every, int requests,
                                       const std::function<bool(const found_device&)>& done = {});

    // Both go out of the card the device answered on (device.card_ip) only,
    // and return the request id, "" when nothing could be sent. Bad
    // addresses throw std::invalid_argument before anything is sent.
    std::string send_configuration(const found_device& device, const std::string& ip,
                                   const std::string& mask, const std::string& gateway,
                                   const std::string& name, sdk::system::network_method_type method,
                                   const std::string& user, const std::string& password);
    std::string send_localize(const found_device& device, const std::string& user,
                              const std::string& password);

    // The result of the answer to request_id, or empty after `within`.
    std::optional<sdk::system::operation_result> await_configuration(
        const std::string& request_id, std::chrono::milliseconds within);
    std::optional<sdk::system::operation_result> await_localize(const std::string& request_id,
                                                                std::chrono::milliseconds within);

    // The first configuration answer to one of request_ids (its id and
    // result) before deadline. Several requests share one event queue, so an
    // answer to one must not be dropped while waiting for another.
    std::optional<std::pair<std::string, sdk::system::operation_result>> next_configuration_answer(
        const std::set<std::string>& request_ids, clock::time_point deadline);

    // False when the last send did not go out whole on every address it used.
    bool last_send_complete() const { return last_send_complete_; }

private:
    std::optional<sdk::system::operation_result> await_result(int kind,
                                                              const std::string& request_id,
                                                              std::chrono::milliseconds within);

    std::shared_ptr<sent_ids> sent_;
    std::unique_ptr<dp::idevice_protocol> engine_;
    std::map<std::string, std::string> card_of_address_;
    bool last_send_complete_ = true;
};

}  // namespace cli
