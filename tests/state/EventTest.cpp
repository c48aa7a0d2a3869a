#include <QJsonObject>

#include <gtest/gtest.h>

#include "StateTestSupport.h"
#include "state/Event.h"
#include "state/IEventHandler.h"

using namespace statetest;

namespace {

// Records which handler operation an event reached.
class Recorder : public IEventHandler {
public:
    using IEventHandler::handle;
    void handle(const AppStateChanged&) override { reached = "AppStateChanged"; }
    void handle(const AutoScannerChanged&) override { reached = "AutoScannerChanged"; }
    void handle(const DeviceChanged&) override { reached = "DeviceChanged"; }
    void handle(const DeviceRemoved&) override { reached = "DeviceRemoved"; }
    void handle(const DeviceAdded&) override { reached = "DeviceAdded"; }
    void handle(const DevicesDisconnected&) override { reached = "DevicesDisconnected"; }
    QString reached;
};

}  // namespace

TEST(Event, EachKindReachesItsOwnHandlerOperation) {
    Device device("a_1");
    const std::vector<std::pair<std::shared_ptr<Event>, QString>> table{
        {std::make_shared<AppStateChanged>("theme", QJsonValue("dark")), "AppStateChanged"},
        {std::make_shared<AutoScannerChanged>("isActive", QJsonValue(true)), "AutoScannerChanged"},
        {std::make_shared<DeviceChanged>("a_1", "name", QJsonValue("x")), "DeviceChanged"},
        {std::make_shared<DeviceRemoved>("a_1"), "DeviceRemoved"},
        {std::make_shared<DeviceAdded>(&device), "DeviceAdded"},
        {std::make_shared<DevicesDisconnected>(QVector<QWeakPointer<Device>>()),
         "DevicesDisconnected"},
    };
    for (const auto& [event, expected] : table) {
        Recorder recorder;
        event->accept(recorder);
        EXPECT_EQ(recorder.reached, expected);
    }
}

TEST(Event, IsStampedWithTheApplicationClock) {
    const QDateTime now(QDate(2026, 1, 1), QTime(12, 0), Qt::UTC);
    FixedClock clock(now);
    ClockScope scope(&clock);
    EXPECT_EQ(DeviceRemoved("a_1").created, now);
}
