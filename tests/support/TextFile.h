#pragma once

// Whole text files, read and written in one go: logs, settings and fleets
// that the lab's programs write or are handed.

#include <string>

namespace testsupport {

// The file's contents; empty when it cannot be read (not there yet, or gone).
std::string readText(const std::string& path);
void writeText(const std::string& path, const std::string& text);
// Waits up to timeoutMs until the file holds text (a program's "ready"
// line in its log); returns whether it came.
bool waitForText(const std::string& path, const std::string& text, int timeoutMs);

}  // namespace testsupport
