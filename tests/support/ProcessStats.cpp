#include "ProcessStats.h"

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "TextFile.h"

namespace testsupport {

namespace {

std::string procPath(pid_t pid, const char* leaf) {
    return "/proc/" + std::to_string(pid) + "/" + leaf;
}

}  // namespace

long long cpuTicksOf(const std::string& statText) {
    // The command name stands in parentheses and may itself hold spaces and
    // parentheses: the fields are counted from the last ")".
    const auto close = statText.rfind(')');
    if (close == std::string::npos) {
        return -1;
    }
    std::istringstream in(statText.substr(close + 1));
    std::string field;
    long long utime = -1;
    long long stime = -1;
    for (int i = 3; i <= 15 && in >> field; ++i) {
        if (i == 14) {
            utime = std::atoll(field.c_str());
        } else if (i == 15) {
            stime = std::atoll(field.c_str());
        }
    }
    return utime < 0 || stime < 0 ? -1 : utime + stime;
}

long statusNumberOf(const std::string& statusText, const std::string& key) {
    std::istringstream in(statusText);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(key + ":", 0) == 0) {
            char* end = nullptr;
            const long value = std::strtol(line.c_str() + key.size() + 1, &end, 10);
            return end == line.c_str() + key.size() + 1 ? -1 : value;
        }
    }
    return -1;
}

long long cpuTicks(pid_t pid) {
    return cpuTicksOf(readText(procPath(pid, "stat")));
}

long statusNumber(pid_t pid, const std::string& key) {
    return statusNumberOf(readText(procPath(pid, "status")), key);
}

long openFiles(pid_t pid) {
    std::error_code ec;
    long n = 0;
    for (std::filesystem::directory_iterator it(procPath(pid, "fd"), ec), end; !ec && it != end;
         it.increment(ec)) {
        ++n;
    }
    return ec ? -1 : n;
}

}  // namespace testsupport
