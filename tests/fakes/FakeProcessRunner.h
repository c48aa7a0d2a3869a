#pragma once

#include <QString>
#include <QStringList>

#include <condition_variable>
#include <mutex>
#include <vector>

#include "device/ProcessRunner.h"

namespace fakes {

// A process runner that starts nothing. Every run is recorded; its exit code
// comes from the last argument (the ping target) looked up in the table, 1
// when absent. While held, runs wait until released, so that a test can
// keep a probe running.
class FakeProcessRunner : public IProcessRunner {
public:
    ProcessResult run(const QString& program, const QStringList& arguments) const override;

    void setExitCode(const QString& lastArgument, int exitCode);
    // Makes run() throw std::runtime_error, as a process that cannot start.
    void setFailure(bool fail);
    void hold();
    void release();

    std::vector<QStringList> calls() const;
    int running() const;

private:
    mutable std::mutex m_lock;
    mutable std::condition_variable m_released;
    mutable std::vector<QStringList> m_calls;
    mutable int m_running = 0;
    std::vector<std::pair<QString, int>> m_exitCodes;
    bool m_held = false;
    bool m_fail = false;
};

}  // namespace fakes
