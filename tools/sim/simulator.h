#pragma once

// The network side of the simulator: one device-mode protocol engine that
// speaks for every device of the fleet. Requests are taken from the
// engine's queue, answers are scheduled (with jitter) and sent from the
// same thread, which alone touches the engine.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <queue>
#include <random>
#include <string>
#include <variant>
#include <vector>

#include <beacon/configuration_response.h>
#include <beacon/discovery_response.h>
#include <beacon/idevice_protocol.h>
#include <beacon/localize_response.h>

#include "device_fleet.h"

namespace dp {
struct event_with_metadata;
}

namespace sim {

struct answer_settings {
    int jitter_ms = 0;
    double loss = 0.0;
    std::uint64_t seed = 1;
};

struct simulator_counts {
    std::uint64_t discovery_requests = 0;
    std::uint64_t configuration_requests = 0;
    std::uint64_t localize_requests = 0;
    std::uint64_t answers_sent = 0;
    std::uint64_t answers_failed = 0;
    std::uint64_t answers_dropped = 0;
};

// A device's self-description as the protocol carries it.
dp::discovery_response describe(const device_profile& device);

class simulator {
public:
    simulator(std::unique_ptr<dp::idevice_protocol> engine, device_fleet& fleet,
              answer_settings settings, std::ostream& log);

    // Serves requests until the deadline passes or stop becomes true.
    void run(sim_clock::time_point deadline, const std::atomic<bool>& stop);

    const simulator_counts& counts() const { return counts_; }

private:
    using answer =
        std::variant<dp::discovery_response, dp::configuration_response, dp::localize_response>;
    struct scheduled {
        sim_clock::time_point due;
        std::uint64_t order;
        answer message;
        std::string target;
        bool operator>(const scheduled& other) const {
            return due != other.due ? due > other.due : order > other.order;
        }
    };

    void handle(dp::event_with_metadata& event, sim_clock::time_point now);
    void schedule(answer message, const std::string& target, sim_clock::time_point now);
    void send_due(sim_clock::time_point now);
    void send(answer& message, const std::string& target);

    std::unique_ptr<dp::idevice_protocol> engine_;
    device_fleet& fleet_;
    answer_settings settings_;
    std::ostream& log_;
    std::mt19937_64 rng_;
    std::priority_queue<scheduled, std::vector<scheduled>, std::greater<>> pending_;
    std::uint64_t next_order_ = 0;
    simulator_counts counts_;
};

}  // namespace sim
