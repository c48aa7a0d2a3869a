#pragma once

#include <string>

namespace dp {

// A fresh version 4 UUID in lower-case canonical text form, drawn from the
// operating system's cryptographic random source; throws when none is available.
std::string make_request_id();

}  // namespace dp
