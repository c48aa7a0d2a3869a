#pragma once

// The words for a device's answer to a change or a localize request: what
// the program posts as a notification and the CLI prints. The browser keys
// its translations by these texts (www/lnf/js/notify.js), so a text changed
// here must change there too; a test reads both.

#include <beacon/system_types.h>

#include <vector>

// The text for a configuration answer; "Unexpected operation result occured"
// for a result the table does not name (NOT_SUPPORTED, UNKNOWN, any other).
const char* configurationOutcome(sdk::system::operation_result result);

// The text for a localize answer, with the same fallback.
const char* localizeOutcome(sdk::system::operation_result result);

// Every text the two tables can give, the fallback included, without repeats.
std::vector<const char*> outcomeTexts();
