#include "FakeProcessRunner.h"

#include <stdexcept>

namespace fakes {

ProcessResult FakeProcessRunner::run(const QString& program, const QStringList& arguments) const {
    std::unique_lock<std::mutex> guard(m_lock);
    m_calls.push_back(QStringList{program} + arguments);
    if (m_fail) {
        throw std::runtime_error("posix_spawnp failed!");
    }
    ++m_running;
    m_released.wait(guard, [this] { return !m_held; });
    --m_running;
    ProcessResult result;
    result.exitCode = 1;
    for (const auto& [target, code] : m_exitCodes) {
        if (!arguments.isEmpty() && arguments.last() == target) {
            result.exitCode = code;
        }
    }
    return result;
}

void FakeProcessRunner::setExitCode(const QString& lastArgument, int exitCode) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_exitCodes.emplace_back(lastArgument, exitCode);
}

void FakeProcessRunner::setFailure(bool fail) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_fail = fail;
}

void FakeProcessRunner::hold() {
    std::lock_guard<std::mutex> guard(m_lock);
    m_held = true;
}

void FakeProcessRunner::release() {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_held = false;
    }
    m_released.notify_all();
}

std::vector<QStringList> FakeProcessRunner::calls() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_calls;
}

int FakeProcessRunner::running() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_running;
}

}  // namespace fakes
