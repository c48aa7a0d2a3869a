#include "decoder.h"

#include <nlohmann/json.hpp>

#include <string_view>

#include "json_codec.h"

namespace dp {
namespace {

using nlohmann::json;
using sdk::system::event_type;

// Depth of brackets outside strings; stops counting as soon as the limit is
// passed so a megabyte of "[[[[" costs one linear scan and no parse.
bool nesting_within_limit(std::string_view text) {
    std::size_t depth = 0;
    bool in_string = false;
    bool escaped = false;
    for (char c : text) {
        if (in_string) {
            if (escaped) {
                escaped = false;
            } else if (c == '\\') {
                escaped = true;
            } else if (c == '"') {
                in_string = false;
            }
            continue;
        }
        if (c == '"') {
            in_string = true;
        } else if (c == '[' || c == '{') {
            if (++depth > max_nesting_depth) {
                return false;
            }
        } else if ((c == ']' || c == '}') && depth > 0) {
            --depth;
        }
    }
    return true;
}

event_type action_of(const json& document) {
    if (!document.is_object() || !document.contains("action") || !document.contains("id")) {
        return event_type::UNKNOWN;
    }
    return sdk::system::event_type_from_string(document.at("action").get<std::string>())
        .value_or(event_type::UNKNOWN);
}

const json& members_of(const json& document, const char* key) {
    const json& value = document.at(key);
    if (!value.is_object()) {
        throw json::type_error::create(302, std::string(key) + " is not an object", &value);
    }
    return value;
}

template <typename Message>
std::unique_ptr<event> read(const json& document) {
    auto message = std::make_unique<Message>();
    from_json(document, *message);
    return message;
}

std::unique_ptr<event> read_document(const json& document) {
    std::unique_ptr<event> record;
    switch (action_of(document)) {
        case event_type::GET:
            for (const auto& member : members_of(document, "parameters").items()) {
                if (member.key() == "deviceDetails") {
                    record = read<discovery_request>(document);
                }
            }
            break;
        case event_type::SET:
            for (const auto& member : members_of(document, "parameters").items()) {
                if (member.key() == "configuration") {
                    record = read<configuration_request>(document);
                }
            }
            break;
        case event_type::REPLY:
            // Members come in key order, so with several kinds the last one wins.
            for (const auto& member : members_of(document, "results").items()) {
                if (member.key() == "deviceDetails") {
                    record = read<discovery_response>(document);
                } else if (member.key() == "localize") {
                    record = read<localize_response>(document);
                } else if (member.key() == "configuration") {
                    record = read<configuration_response>(document);
                }
            }
            break;
        case event_type::LOCALIZE:
            record = read<localize_request>(document);
            break;
        default:
            break;
    }
    return record;
}

}  // namespace

std::unique_ptr<event> decode_datagram(const char* data, std::size_t length) {
    if (data == nullptr || length == 0 || length > max_datagram_size) {
        return nullptr;
    }
    const std::string_view text(data, length);
    if (!nesting_within_limit(text)) {
        return nullptr;
    }
    try {
        return read_document(json::parse(text));
    } catch (const std::exception&) {
        // JSON errors, rejected addresses, unknown enumerator texts and
        // credentials that do not decrypt all mean: not a message of ours.
        return nullptr;
    }
}

}  // namespace dp
