#pragma once

// apply: one plan of changes for many devices.

#include <ostream>

#include "client.h"
#include "commands.h"
#include "options.h"

namespace cli {

// Scans, matches the plan's rows, checks them, and (unless --dry-run) sends
// the sound ones, o.parallel at a time. Exit 0 only when every row is done;
// a dry run exits 0 after its preview.
int run_apply(client& net, const options& o, const credentials& login, std::ostream& out,
              std::ostream& err);

}  // namespace cli
