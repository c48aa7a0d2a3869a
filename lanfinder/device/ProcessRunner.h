#pragma once

#include <QString>
#include <QStringList>

// What a finished child process left behind.
struct ProcessResult {
    // Standard output and standard error together, trimmed of surrounding
    // white space.
    QString output;
    // The exit code, or -1 when the process did not end normally.
    int exitCode = -1;
};

// Runs a child process to its end. The seam through which the reachability
// probe starts ping, so that tests never ping anything real.
class IProcessRunner {
public:
    virtual ~IProcessRunner() = default;

    // Runs program (looked up in PATH) with the arguments and waits for it
    // without a time limit. Throws std::runtime_error when the process cannot
    // be started. Must be safe to call from several threads at once.
    virtual ProcessResult run(const QString& program, const QStringList& arguments) const = 0;
};

// Starts the process with posix_spawn; standard output and standard error go
// to one pipe that is read to its end.
class ProcessRunner : public IProcessRunner {
public:
    ProcessResult run(const QString& program, const QStringList& arguments) const override;
};
