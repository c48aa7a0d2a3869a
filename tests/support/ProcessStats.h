#pragma once

// What /proc shows of a running process: its CPU time, the numbers of its
// status file (memory, threads) and its open files. Every reading is -1 once
// the process has gone or the file does not hold it.

#include <sys/types.h>

#include <string>

namespace testsupport {

// utime + stime, in clock ticks (sysconf(_SC_CLK_TCK) a second).
long long cpuTicks(pid_t pid);
// The number after "<key>:" in /proc/<pid>/status ("VmRSS" and "VmHWM" in
// kB, "Threads" a count).
long statusNumber(pid_t pid, const std::string& key);
long openFiles(pid_t pid);

// The same readings of a file's text, for the ones above and their tests.
long long cpuTicksOf(const std::string& statText);
long statusNumberOf(const std::string& statusText, const std::string& key);

}  // namespace testsupport
