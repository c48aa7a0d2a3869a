#pragma once

// The JSON layer's to_json of the six messages, for encoding. The receive
// path does not parse into a document (datagram_fields and decoder); the
// document-based reading it replaced lives on in the tests as their
// reference decoder.

#include <nlohmann/json.hpp>

#include "beacon/configuration_request.h"
#include "beacon/configuration_response.h"
#include "beacon/discovery_request.h"
#include "beacon/discovery_response.h"
#include "beacon/localize_request.h"
#include "beacon/localize_response.h"

namespace dp {

void to_json(nlohmann::json& document, const discovery_request& message);
void to_json(nlohmann::json& document, const discovery_response& message);
void to_json(nlohmann::json& document, const configuration_request& message);
void to_json(nlohmann::json& document, const configuration_response& message);
void to_json(nlohmann::json& document, const localize_request& message);
void to_json(nlohmann::json& document, const localize_response& message);

}  // namespace dp
