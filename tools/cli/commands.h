#pragma once

// The three commands on an open client. Results go to out, reports and
// errors to err; each returns the program's exit code.

#include <ostream>
#include <string>

#include "client.h"
#include "options.h"

namespace cli {

struct credentials {
    std::string user;
    std::string password;

    // Overwrites the password, so it does not outlive its use in freed
    // memory; without a move constructor every copy is wiped the same way.
    ~credentials();
};

int run_scan(client& net, const options& o, std::ostream& out, std::ostream& err);
int run_set(client& net, const options& o, const credentials& login, std::ostream& out,
            std::ostream& err);
int run_localize(client& net, const options& o, const credentials& login, std::ostream& out,
                 std::ostream& err);

}  // namespace cli
