#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <beacon/discovery_request.h>
#include <beacon/discovery_response.h>
#include <beacon/protocol_exception.h>

#include <mutex>
#include <stdexcept>

#include "DeviceTestSupport.h"
#include "FakeDeviceProtocol.h"
#include "QtWait.h"
#include "device/ProtocolEngine.h"

using fakes::FakeDeviceProtocol;
using fakes::FakeProtocolWire;
using testsupport::pumpUntil;
using State = IProtocolEngine::State;

namespace {

// Every log line of the process while it lives, with the number of requests
// the wire had recorded when the line was written.
class LogCapture {
public:
    struct Line {
        QString text;
        std::size_t requestsSoFar;
    };

    explicit LogCapture(std::shared_ptr<FakeProtocolWire> wire) {
        std::lock_guard<std::mutex> guard(lock());
        active() = this;
        m_wire = std::move(wire);
        m_previous = qInstallMessageHandler(&LogCapture::handler);
    }
    ~LogCapture() {
        qInstallMessageHandler(m_previous);
        std::lock_guard<std::mutex> guard(lock());
        active() = nullptr;
    }

    std::vector<Line> lines() const {
        std::lock_guard<std::mutex> guard(lock());
        return m_lines;
    }
    // The first line that starts with prefix, or an empty line.
    Line find(const QString& prefix) const {
        for (const auto& line : lines()) {
            if (line.text.startsWith(prefix)) {
                return line;
            }
        }
        return {QString(), 0};
    }
    bool contains(const QString& text) const {
        for (const auto& line : lines()) {
            if (line.text.contains(text)) {
                return true;
            }
        }
        return false;
    }

private:
    static std::mutex& lock() {
        static std::mutex m;
        return m;
    }
    static LogCapture*& active() {
        static LogCapture* current = nullptr;
        return current;
    }
    static void handler(QtMsgType, const QMessageLogContext&, const QString& text) {
        std::lock_guard<std::mutex> guard(lock());
        if (auto* self = active()) {
            self->m_lines.push_back({text, self->m_wire->requests().size()});
        }
    }

    std::shared_ptr<FakeProtocolWire> m_wire;
    std::vector<Line> m_lines;
    QtMessageHandler m_previous = nullptr;
};

// An engine over a fake provider that the test scripts, with every state
// change and delivered event recorded.
class ProtocolEngineTest : public ::testing::Test {
protected:
    using Step = std::function<std::unique_ptr<dp::idevice_protocol>()>;

    void makeEngine(std::vector<Step> script = {}) {
        m_script = std::move(script);
        engine = std::make_unique<ProtocolEngine>([this] { return provide(); });
        QObject::connect(engine.get(), &IProtocolEngine::stateChanged,
                         [this](State state, QString details) {
                             states.push_back(state);
                             detailsSeen.push_back(details);
                         });
        QObject::connect(engine.get(), &IProtocolEngine::protocolEventReceived,
                         [this](QSharedPointer<IProtocolEvent> event) {
                             onMainThread =
                                 onMainThread && QThread::currentThread() == qApp->thread();
                             events.push_back(event);
                         });
    }

    // The next scripted step, or a working instance once the script is done.
    std::unique_ptr<dp::idevice_protocol> provide() {
        ++providerCalls;
        std::size_t index = providerCalls - 1;
        if (index < m_script.size()) {
            return m_script[index]();
        }
        return std::make_unique<FakeDeviceProtocol>(wire);
    }

    Step working() {
        return [this] { return std::make_unique<FakeDeviceProtocol>(wire); };
    }

    bool reached(State state, int timeoutMs = 5000) {
        return pumpUntil([&] { return !states.empty() && states.back() == state; }, timeoutMs);
    }

    void runUntilRunning() {
        engine->start();
        ASSERT_TRUE(reached(IProtocolEngine::Running));
    }

    std::shared_ptr<FakeProtocolWire> wire = std::make_shared<FakeProtocolWire>();
    std::unique_ptr<ProtocolEngine> engine;
    std::vector<State> states;
    std::vector<QString> detailsSeen;
    std::vector<QSharedPointer<IProtocolEvent>> events;
    bool onMainThread = true;
    std::atomic<std::size_t> providerCalls{0};

private:
    std::vector<Step> m_script;
};

}  // namespace

// --- Lifecycle -------------------------------------------------------------------

TEST_F(ProtocolEngineTest, AnEmptyProviderIsRejectedAtConstruction) {
    try {
        ProtocolEngine engine{IProtocolProvider()};
        FAIL() << "no exception";
    } catch (const std::invalid_argument& e) {
        EXPECT_STREQ(e.what(), "IProtocolProvider must be a valid function");
    }
}

TEST_F(ProtocolEngineTest, ANewEngineIsStoppedAndStopChangesNothing) {
    makeEngine();
    EXPECT_EQ(engine->state(), IProtocolEngine::Stopped);
    engine->stop();
    QCoreApplication::processEvents();
    EXPECT_TRUE(states.empty());
    EXPECT_EQ(providerCalls, 0u);
}

TEST_F(ProtocolEngineTest, NormalRunGoesInitializingThenRunningAndStopsInterruptedThenStopped) {
    makeEngine();
    runUntilRunning();
    EXPECT_EQ(engine->state(), IProtocolEngine::Running);
    engine->stop();
    EXPECT_EQ(engine->state(), IProtocolEngine::Stopped);
    pumpUntil([&] { return states.size() == 4; });
    EXPECT_EQ(states, (std::vector<State>{IProtocolEngine::Initializing, IProtocolEngine::Running,
                                          IProtocolEngine::Interrupted, IProtocolEngine::Stopped}));
    for (const auto& details : detailsSeen) {
        EXPECT_TRUE(details.isEmpty());
    }
    // The instance is dropped once the worker has ended.
    EXPECT_EQ(wire->instancesAlive, 0);
}

TEST_F(ProtocolEngineTest, ARestartAsksTheProviderForANewInstance) {
    makeEngine();
    runUntilRunning();
    engine->stop();
    ASSERT_TRUE(reached(IProtocolEngine::Stopped));
    states.clear();
    runUntilRunning();
    EXPECT_EQ(states.front(), IProtocolEngine::Initializing);
    EXPECT_EQ(wire->instancesMade, 2);
    EXPECT_EQ(wire->instancesAlive, 1);
}

TEST_F(ProtocolEngineTest, StartWhileRunningDoesNothing) {
    makeEngine();
    runUntilRunning();
    engine->start();
    QCoreApplication::processEvents();
    EXPECT_EQ(providerCalls, 1u);
    EXPECT_EQ(states.size(), 2u);
}

TEST_F(ProtocolEngineTest, AProviderGivingNothingIsABadFactoryAndTheWorkerEnds) {
    makeEngine({[] { return std::unique_ptr<dp::idevice_protocol>(); }});
    engine->start();
    ASSERT_TRUE(reached(IProtocolEngine::Stopped));
    EXPECT_EQ(states,
              (std::vector<State>{IProtocolEngine::Initializing, IProtocolEngine::BadFactory,
                                  IProtocolEngine::Interrupted, IProtocolEngine::Stopped}));
    // A later start clears the interruption and asks again.
    states.clear();
    runUntilRunning();
    EXPECT_EQ(providerCalls, 2u);
}

TEST_F(ProtocolEngineTest, ABindFailureIsReportedWithAddressAndPortAndRetriedAfterASecond) {
    makeEngine({[]() -> std::unique_ptr<dp::idevice_protocol> {
        throw dp::protocol_exception("1.2.3.4", 50000);
    }});
    LogCapture log(wire);
    QElapsedTimer sinceStart;
    sinceStart.start();
    engine->start();
    ASSERT_TRUE(reached(IProtocolEngine::Running));
    EXPECT_GE(sinceStart.elapsed(), 900);
    EXPECT_EQ(states, (std::vector<State>{
                          IProtocolEngine::Initializing, IProtocolEngine::InitializationFailed,
                          IProtocolEngine::Initializing, IProtocolEngine::Running}));
    EXPECT_EQ(detailsSeen[1], "1.2.3.4:50000");
    EXPECT_TRUE(
        log.contains("Protocol Initialization Failed... Will retry in 1 sec (Socket bind "
                     "failed on 1.2.3.4:50000)"));
}

TEST_F(ProtocolEngineTest, OtherFailuresOfTheProviderAreRetriedToo) {
    makeEngine({[]() -> std::unique_ptr<dp::idevice_protocol> {
        throw std::runtime_error("Cannot activate broadcast on socket");
    }});
    engine->start();
    ASSERT_TRUE(reached(IProtocolEngine::Running));
    EXPECT_EQ(states, (std::vector<State>{
                          IProtocolEngine::Initializing, IProtocolEngine::InitializationFailed,
                          IProtocolEngine::Initializing, IProtocolEngine::Running}));
    EXPECT_EQ(providerCalls, 2u);
}

TEST_F(ProtocolEngineTest, StopDuringRetriesEndsInStopped) {
    makeEngine({[]() -> std::unique_ptr<dp::idevice_protocol> {
        throw dp::protocol_exception("1.2.3.4", 50000);
    }});
    engine->start();
    ASSERT_TRUE(reached(IProtocolEngine::InitializationFailed));
    QElapsedTimer stopping;
    stopping.start();
    engine->stop();
    EXPECT_LT(stopping.elapsed(), 1500);
    EXPECT_EQ(engine->state(), IProtocolEngine::Stopped);
}

TEST_F(ProtocolEngineTest, AFailingInstanceIsReplacedByANewOne) {
    makeEngine();
    runUntilRunning();
    states.clear();
    wire->failNextReceive = true;
    ASSERT_TRUE(pumpUntil([&] {
        return wire->instancesMade == 2 && !states.empty() &&
               states.back() == IProtocolEngine::Running;
    }));
    EXPECT_EQ(states.front(), IProtocolEngine::InitializationFailed);
    EXPECT_EQ(wire->instancesAlive, 1);
}

// --- Requests ---------------------------------------------------------------------

TEST_F(ProtocolEngineTest, RequestsBeforeRunningAreDropped) {
    makeEngine();
    engine->sendScan();
    engine->sendLocalizeRequest("10.0.0.1", "A", "S", "u", "p");
    runUntilRunning();
    engine->sendScan();
    ASSERT_TRUE(pumpUntil([&] { return wire->requestCount("discovery") == 1; }));
    // Queued calls are served in order, so the earlier ones have been seen
    // and dropped by now.
    EXPECT_EQ(wire->requestCount("discovery"), 1u);
    EXPECT_EQ(wire->requestCount("localize"), 0u);
}

TEST_F(ProtocolEngineTest, RequestsAfterStopAreDropped) {
    makeEngine();
    runUntilRunning();
    engine->stop();
    engine->sendScan();
    QCoreApplication::processEvents();
    EXPECT_EQ(wire->requestCount("discovery"), 0u);
}

TEST_F(ProtocolEngineTest, RunningEngineCarriesEveryRequestWithItsArguments) {
    makeEngine();
    runUntilRunning();
    engine->sendScan();
    engine->sendConfigurationRequest("10.0.0.1", "ART", "SER", "10.0.0.9", "255.255.255.0",
                                     "10.0.0.1", "Line 4", sdk::system::network_method_type::DHCP,
                                     "admin", "secret");
    engine->sendLocalizeRequest("192.168.7.2", "ART", "SER", "admin", "secret");
    ASSERT_TRUE(pumpUntil([&] { return wire->requests().size() == 3; }));
    const auto requests = wire->requests();
    EXPECT_EQ(requests[0].kind, "discovery");
    EXPECT_EQ(requests[1].kind, "configuration");
    EXPECT_EQ(requests[1].arguments,
              (std::vector<std::string>{"ART", "SER", "10.0.0.9", "255.255.255.0", "10.0.0.1",
                                        "Line 4", "admin", "secret"}));
    EXPECT_EQ(requests[1].networkMethod, 1);
    EXPECT_EQ(requests[1].card, "10.0.0.1");
    EXPECT_EQ(requests[2].kind, "localize");
    EXPECT_EQ(requests[2].arguments, (std::vector<std::string>{"ART", "SER", "admin", "secret"}));
    EXPECT_EQ(requests[2].card, "192.168.7.2");
}

TEST_F(ProtocolEngineTest, RequestLogsHideThePasswordAndKeepTheirOrder) {
    makeEngine();
    LogCapture log(wire);
    runUntilRunning();
    engine->sendConfigurationRequest(
        "10.0.0.1", "ART", "SER", "10.0.0.9", "255.255.255.0", "10.0.0.1", "Line 4",
        sdk::system::network_method_type::PERSISTENT_IP, "admin", "s3cr3t");
    engine->sendLocalizeRequest("10.0.0.1", "ART", "SER", "admin", "s3cr3t");
    ASSERT_TRUE(pumpUntil([&] { return wire->requests().size() == 2; }));
    const auto configuration = log.find("Protocol.send_configuration_request(");
    EXPECT_EQ(configuration.text,
              "Protocol.send_configuration_request(artNo = ART, serialNo = SER, ip = 10.0.0.9, "
              "netmask= 255.255.255.0, gateway = 10.0.0.1, deviceName = Line 4, networkMethod = "
              "0, username = admin, password = ***) through 10.0.0.1");
    // Written after the library took the request.
    EXPECT_EQ(configuration.requestsSoFar, 1u);
    const auto localize = log.find("Protocol.send_localize_request(");
    EXPECT_EQ(localize.text,
              "Protocol.send_localize_request(artNo = ART, serialNo = SER, username = admin, "
              "password = ***) through 10.0.0.1");
    // Written before the library took the request.
    EXPECT_EQ(localize.requestsSoFar, 1u);
    EXPECT_FALSE(log.contains("s3cr3t"));
}

TEST_F(ProtocolEngineTest, ALibraryRejectingARequestDoesNotStopTheEngine) {
    makeEngine();
    LogCapture log(wire);
    runUntilRunning();
    wire->setSendFailure("Invalid IP address");
    engine->sendConfigurationRequest("10.0.0.1", "ART", "SER", "", "", "", "n",
                                     sdk::system::network_method_type::DHCP, "u", "p");
    engine->sendScan();
    ASSERT_TRUE(pumpUntil([&] {
        return log.contains("Protocol.send_configuration_request failed: Invalid IP address") &&
               log.contains("Protocol.send_discovery_request failed: Invalid IP address");
    }));
    wire->setSendFailure("");
    engine->sendScan();
    ASSERT_TRUE(pumpUntil([&] { return wire->requestCount("discovery") == 1; }));
    EXPECT_EQ(engine->state(), IProtocolEngine::Running);
}

// --- Received messages --------------------------------------------------------------

// Counts the queued calls that reach an object: one per delivery from the
// worker thread.
class QueuedCallCounter : public QObject {
public:
    bool eventFilter(QObject*, QEvent* event) override {
        calls += event->type() == QEvent::MetaCall;
        return false;
    }
    int calls = 0;
};

TEST_F(ProtocolEngineTest, ABurstOfAnswersReachesTheMainThreadWholeInOrderAndInFewCalls) {
    constexpr int answers = 1000;
    makeEngine();
    for (int i = 0; i < answers; ++i) {
        auto answer = std::make_unique<dp::discovery_response>();
        answer->set_article_number("ABC");
        answer->set_serial_number("S" + std::to_string(i));
        wire->push(std::move(answer));
    }
    QueuedCallCounter counter;
    engine->installEventFilter(&counter);
    runUntilRunning();
    ASSERT_TRUE(pumpUntil([&] { return events.size() == answers; }, 20000));
    for (int i = 0; i < answers; ++i) {
        const auto* discovery = dynamic_cast<const DiscoveryResponse*>(events[i].data());
        ASSERT_NE(discovery, nullptr);
        EXPECT_EQ(discovery->serialNumber, QStringLiteral("S%1").arg(i));
    }
    EXPECT_TRUE(onMainThread);
    // One call per answer would starve the main thread's timers; batches of
    // up to 256 make four, a slow worker thread a few more.
    EXPECT_LT(counter.calls, answers / 2);
    engine->removeEventFilter(&counter);
}

TEST_F(ProtocolEngineTest, AnswersReachTheMainThreadAndUnsupportedKindsAreSkipped) {
    makeEngine();
    LogCapture log(wire);
    runUntilRunning();
    wire->push(std::make_unique<dp::discovery_request>());
    auto answer = std::make_unique<dp::discovery_response>();
    answer->set_article_number("ABC");
    answer->set_serial_number("X1");
    wire->push(std::move(answer), "10.9.8.7");
    ASSERT_TRUE(pumpUntil([&] { return events.size() == 1; }));
    const auto* discovery = dynamic_cast<const DiscoveryResponse*>(events[0].data());
    ASSERT_NE(discovery, nullptr);
    EXPECT_EQ(discovery->articleNumber, "ABC");
    EXPECT_EQ(discovery->ipOfAssociatedNic, "10.9.8.7");
    EXPECT_TRUE(onMainThread);
    EXPECT_TRUE(log.contains("Unsupported protocol event received"));
    EXPECT_TRUE(log.contains("Cannot convert event"));
}
