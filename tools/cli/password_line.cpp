#include "options.h"
#include "password.h"

namespace cli {

std::string read_password_line(std::istream& in) {
    std::string line;
    if (!std::getline(in, line) && line.empty()) {
        throw usage_error("--password-stdin: standard input holds no password line");
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return line;
}

}  // namespace cli
