#include "device/OutcomeText.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace {

using sdk::system::operation_result;

constexpr const char* unexpected = "Unexpected operation result occured";

struct Outcome {
    operation_result result;
    const char* configuration;  // nullptr: the fallback
    const char* localize;       // nullptr: the fallback
};

// The localize answers ACCEPTED and ERROR are posted as identifiers, not
// sentences: the browser words them in the user's language.
constexpr Outcome outcomes[] = {
    {operation_result::ACCEPTED, "Configuration changed successfully", "LocalizingSuccess"},
    {operation_result::ERROR, "Error while processing the command. Please retry",
     "LocalizingError"},
    {operation_result::BUSY, "Device is busy. Please retry", "Device is busy. Please retry"},
    {operation_result::NOT_SUPPORTED, nullptr, "Localize is not supported"},
    {operation_result::INVALID_NETWORK_CONFIG,
     "Error while changing the network settings. Please retry", nullptr},
    {operation_result::INVALID_USER_NAME, "Error while changing the device name. Please retry",
     nullptr},
    {operation_result::NOT_AUTHORIZED, "Not authorized", "Not authorized"},
    {operation_result::INVALID_RIGHTS, "Invalid rights", "Invalid rights"},
    {operation_result::RESERVED_IP,
     "Error changing network settings. Reserved IP. Please try again with another one.", nullptr},
};

const Outcome* find(operation_result result) {
    const auto row = std::find_if(std::begin(outcomes), std::end(outcomes),
                                  [result](const Outcome& o) { return o.result == result; });
    return row == std::end(outcomes) ? nullptr : row;
}

}  // namespace

const char* configurationOutcome(operation_result result) {
    const Outcome* row = find(result);
    return row && row->configuration ? row->configuration : unexpected;
}

const char* localizeOutcome(operation_result result) {
    const Outcome* row = find(result);
    return row && row->localize ? row->localize : unexpected;
}

std::vector<const char*> outcomeTexts() {
    std::vector<const char*> texts{unexpected};
    const auto add = [&texts](const char* text) {
        if (text == nullptr) {
            return;
        }
        const bool known = std::any_of(texts.begin(), texts.end(),
                                       [text](const char* t) { return std::strcmp(t, text) == 0; });
        if (!known) {
            texts.push_back(text);
        }
    };
    for (const Outcome& row : outcomes) {
        add(row.configuration);
        add(row.localize);
    }
    return texts;
}
