#include "TextFile.h"

#include <fstream>
#include <sstream>

#include "NetLab.h"

namespace testsupport {

std::string readText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeText(const std::string& path, const std::string& text) {
    std::ofstream out(path);
    out << text;
}

bool waitForText(const std::string& path, const std::string& text, int timeoutMs) {
    return waitFor([&] { return readText(path).find(text) != std::string::npos; }, timeoutMs);
}

}  // namespace testsupport
