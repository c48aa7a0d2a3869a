#pragma once

// Credentials come from standard input or the terminal, never from the
// command line, where other users can read them in the process list.

#include <istream>
#include <string>

namespace cli {

// The first line of in without its line end. Throws usage_error when in
// holds no line at all.
std::string read_password_line(std::istream& in);

// Asks on the controlling terminal with echo off. Throws usage_error when
// there is no terminal.
std::string prompt_password(const std::string& prompt);

}  // namespace cli
