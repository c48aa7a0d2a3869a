#include "LabCheck.h"

#include <unistd.h>

#include <cstdlib>

#include "NetLab.h"

namespace testsupport {

std::string buildDir() {
    const char* dir = std::getenv("LANFINDER_BUILD_DIR");
    if (dir && *dir) {
        return dir;
    }
    char exe[4096];
    ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) {
        return ".";
    }
    std::string path(exe, static_cast<std::size_t>(n));
    path = path.substr(0, path.rfind('/'));
    return path.substr(0, path.rfind('/'));
}

int LabCheck::exitCode() const {
    switch (outcome) {
        case Outcome::Ready:
            return 0;
        case Outcome::NoNamespaces:
            return 77;
        case Outcome::NotBuilt:
            break;
    }
    return 1;
}

LabCheck checkLab(const std::vector<std::string>& programs, const std::string& binDir) {
    std::string why;
    if (!NetLab::available(&why)) {
        return {LabCheck::Outcome::NoNamespaces, why};
    }
    for (const auto& program : programs) {
        const std::string path = binDir + "/" + program;
        if (::access(path.c_str(), X_OK) != 0) {
            return {LabCheck::Outcome::NotBuilt, path + " is not built"};
        }
    }
    return {};
}

}  // namespace testsupport
