#pragma once

// Whether the namespace lab can run the built programs on this machine. The
// test cases skip where it cannot; the benches end with the skip status, or
// fail when a program they need was not built.

#include <string>
#include <vector>

namespace testsupport {

// The build folder: LANFINDER_BUILD_DIR, or the folder above the running
// program's own (test programs and benches live in <build>/bin, beside the
// programs they start).
std::string buildDir();

struct LabCheck {
    enum class Outcome { Ready, NoNamespaces, NotBuilt };

    Outcome outcome = Outcome::Ready;
    std::string why;  // empty when ready

    bool ready() const { return outcome == Outcome::Ready; }
    // For a program's exit: 0 when ready, 77 (skipped) without namespaces,
    // 1 when a program is missing.
    int exitCode() const;
};

// Namespaces first, then every program (a name in binDir) must be there and
// executable.
LabCheck checkLab(const std::vector<std::string>& programs,
                  const std::string& binDir = buildDir() + "/bin");

}  // namespace testsupport
