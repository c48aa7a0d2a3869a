#pragma once

// The datagram text of each message and the credential protection. Encoding
// writes compact JSON with members in key order and throws the JSON layer's
// type error on a text that is not valid UTF-8.

#include <string>

#include "beacon/configuration_request.h"
#include "beacon/configuration_response.h"
#include "beacon/discovery_request.h"
#include "beacon/discovery_response.h"
#include "beacon/export.h"
#include "beacon/localize_request.h"
#include "beacon/localize_response.h"

namespace dp {

/// {"action":"GET","id":...,"parameters":{"deviceDetails":null}}
BEACON_EXPORT std::string encode(const discovery_request& message);
/// "REPLY" with results/deviceDetails.
BEACON_EXPORT std::string encode(const discovery_response& message);
/// "SET"; credentials copied as stored (the senders store the protected form).
BEACON_EXPORT std::string encode(const configuration_request& message);
/// "REPLY" with results/configuration.
BEACON_EXPORT std::string encode(const configuration_response& message);
/// "LOCALIZE"; credentials copied as stored.
BEACON_EXPORT std::string encode(const localize_request& message);
/// "REPLY" with results/localize.
BEACON_EXPORT std::string encode(const localize_response& message);

/// AES-128-CBC (shared key, zero IV, PKCS #7) then Base64 with a line feed
/// after every 72 characters that are followed by more, and one at the end.
BEACON_EXPORT std::string encrypt_credential(const std::string& text);
/// The inverse; throws on bad Base64, bad length or bad padding.
BEACON_EXPORT std::string decrypt_credential(const std::string& text);

}  // namespace dp
