#pragma once

// The JSON layer's to_json / from_json pairs of the six messages. from_json
// always reads from the whole document and throws on a missing or mistyped
// member (nlohmann's errors) or on a value the records reject.

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

void from_json(const nlohmann::json& document, discovery_request& message);
void from_json(const nlohmann::json& document, discovery_response& message);
void from_json(const nlohmann::json& document, configuration_request& message);
void from_json(const nlohmann::json& document, configuration_response& message);
void from_json(const nlohmann::json& document, localize_request& message);
void from_json(const nlohmann::json& document, localize_response& message);

}  // namespace dp
