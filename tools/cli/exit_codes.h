#pragma once

// What the program's exit status tells a script.

namespace cli {

enum exit_code : int {
    exit_success = 0,
    // The device answered, but not with ACCEPTED.
    exit_device_error = 1,
    exit_usage = 2,
    // The device was not found, did not answer, or did not come back.
    exit_no_answer = 3,
    // No card to work on, or the response port could not be bound.
    exit_no_card = 4,
};

}  // namespace cli
