#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QStringList>
#include <vector>

#include "app/GuiHandler.h"
#include "app/IGuiBackend.h"
#include "device/SecretText.h"
#include "state/BatchReport.h"
#include "state/IEventHandler.h"

namespace {

// Records what the handler asked of the backend, in order.
class RecordingBackend : public IGuiBackend {
public:
    void setLanguage(const QString& language) override { calls << "language:" + language; }
    void setTheme(const QString& theme) override { calls << "theme:" + theme; }
    void saveSettings() override { calls << "save"; }

    QStringList calls;
};

// Records the requests the handler dispatched to the event processor.
class RecordingProcessor : public IEventHandler {
public:
    using IEventHandler::handle;
    void handle(const LocalizeRequest& request) override {
        calls << "localize:" + request.deviceId + "/" + request.username + "/" + request.password;
    }
    void handle(const SetFavoriteRequest& request) override {
        calls << QStringLiteral("favorite:%1/%2")
                     .arg(request.deviceId, request.isFavorite ? "true" : "false");
        favorite = request;
    }
    void handle(const SetConfigurationRequest& request) override {
        calls << "configure:" + request.deviceId;
        configuration = request;
        // The handler wipes the request's password once this returns: a
        // processor keeps an unshared copy, as the engine does.
        configuration.password = secretCopy(request.password);
        sharedPassword = request.password;
    }

    QStringList calls;
    SetFavoriteRequest favorite;
    SetConfigurationRequest configuration;
    QString sharedPassword;
};

class GuiHandlerTest : public ::testing::Test {
protected:
    Result process(const QByteArray& message) { return handler.processMessage(42, message); }

    RecordingBackend backend;
    RecordingProcessor processor;
    GuiHandler handler{&backend, &processor};
};

const QByteArray changeDevice =
    R"({"reqType":"ChangeDevice","reqId":"r1","deviceId":"123_456","name":"Cam",)"
    R"("ip":"10.0.0.5","subnetMask":"255.255.255.0","networkMethod":"PersistentIP",)"
    R"("defaultGateway":"10.0.0.1","username":"admin","password":"pw"})";

}  // namespace

// One accepted message of each kind, with the calls it makes, in order.
struct AcceptedCase {
    const char* name;
    QByteArray message;
    QString reqType;
    QStringList backendCalls;
    QStringList processorCalls;
};

class GuiHandlerAccepts : public GuiHandlerTest,
                          public ::testing::WithParamInterface<AcceptedCase> {};

TEST_P(GuiHandlerAccepts, DispatchesAndAnswersOk) {
    const AcceptedCase& c = GetParam();
    const Result result = process(c.message);
    EXPECT_EQ(result.status, ResultStatus::OK);
    EXPECT_EQ(result.clientID, 42u);
    EXPECT_EQ(result.reqType, c.reqType);
    EXPECT_EQ(result.reqId, "7");
    EXPECT_TRUE(result.details.isEmpty());
    EXPECT_EQ(backend.calls, c.backendCalls);
    EXPECT_EQ(processor.calls, c.processorCalls);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, GuiHandlerAccepts,
    ::testing::Values(
        AcceptedCase{
            "Localize",
            R"({"reqType":"Localize","reqId":"7","deviceId":"a_1","username":"u","password":"p"})",
            "Localize",
            {},
            {"localize:a_1/u/p"}},
        AcceptedCase{"SetLanguage",
                     R"({"reqType":"SetLanguage","reqId":"7","language":"de"})",
                     "SetLanguage",
                     {"language:de", "save"},
                     {}},
        AcceptedCase{"SetTheme",
                     R"({"reqType":"SetTheme","reqId":"7","theme":"dark"})",
                     "SetTheme",
                     {"theme:dark", "save"},
                     {}},
        AcceptedCase{"SetFavorite",
                     R"({"reqType":"SetFavorite","reqId":"7","deviceId":"a_1","isFavorite":true})",
                     "SetFavorite",
                     {"save"},
                     {"favorite:a_1/true"}},
        AcceptedCase{
            "ChangeDevice",
            R"({"reqType":"ChangeDevice","reqId":"7","deviceId":"a_1","name":"n","ip":"i",)"
            R"("subnetMask":"m","networkMethod":"DHCP","defaultGateway":"g",)"
            R"("username":"u","password":"p"})",
            "ChangeDevice",
            {},
            {"configure:a_1"}}),
    [](const ::testing::TestParamInfo<AcceptedCase>& info) {
        return std::string(info.param.name);
    });

// One rejected message each: the single failure text, and what reqType and
// reqId the result carries.
struct RejectedCase {
    const char* name;
    QByteArray message;
    QString detail;
    QString reqType;
    QString reqId;
};

class GuiHandlerRejects : public GuiHandlerTest,
                          public ::testing::WithParamInterface<RejectedCase> {};

TEST_P(GuiHandlerRejects, ReportsOneFailureAndDispatchesNothing) {
    const RejectedCase& c = GetParam();
    const Result result = process(c.message);
    EXPECT_EQ(result.status, ResultStatus::ValidationError);
    EXPECT_EQ(result.clientID, 42u);
    EXPECT_EQ(result.details, QStringList{c.detail});
    EXPECT_EQ(result.reqType, c.reqType);
    EXPECT_EQ(result.reqId, c.reqId);
    EXPECT_TRUE(backend.calls.isEmpty());
    EXPECT_TRUE(processor.calls.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Failures, GuiHandlerRejects,
    ::testing::Values(
        RejectedCase{"NotJson", "hello", "Invalid Json doc: hello", "Unknown", "Unknown"},
        RejectedCase{"Empty", "", "Invalid Json doc: ", "Unknown", "Unknown"},
        RejectedCase{"TruncatedJson", R"({"reqType":"SetTheme")",
                     R"(Invalid Json doc: {"reqType":"SetTheme")", "Unknown", "Unknown"},
        RejectedCase{"MissingReqId", R"({"reqType":"SetTheme","theme":"dark"})", "reqId not found",
                     "Unknown", "Unknown"},
        RejectedCase{"MissingReqTypeKeepsUnknown", R"({"reqId":"9","theme":"dark"})",
                     "reqType not found", "Unknown", "Unknown"},
        RejectedCase{"ReqIdNumber", R"({"reqId":7,"reqType":"SetTheme","theme":"x"})",
                     "reqId value type mismatch. Expected string", "Unknown", "Unknown"},
        RejectedCase{"TopLevelArray", R"([{"reqId":"1","reqType":"SetTheme"}])", "reqId not found",
                     "Unknown", "Unknown"},
        RejectedCase{"UnregisteredType", R"({"reqId":"3","reqType":"Reboot"})",
                     "Unknown request type: Reboot", "Reboot", "3"},
        RejectedCase{"TypeIsCaseSensitive", R"({"reqId":"3","reqType":"settheme","theme":"x"})",
                     "Unknown request type: settheme", "settheme", "3"},
        RejectedCase{"MissingTheme", R"({"reqId":"4","reqType":"SetTheme"})", "theme not found",
                     "SetTheme", "4"},
        RejectedCase{"ThemeNotString", R"({"reqId":"4","reqType":"SetTheme","theme":true})",
                     "theme value type mismatch. Expected string", "SetTheme", "4"},
        RejectedCase{"MissingLanguage", R"({"reqId":"4","reqType":"SetLanguage"})",
                     "language not found", "SetLanguage", "4"},
        RejectedCase{"FavoriteIsNumber",
                     R"({"reqId":"5","reqType":"SetFavorite","deviceId":"d","isFavorite":1})",
                     "isFavorite value type mismatch. Expected bool", "SetFavorite", "5"},
        RejectedCase{"FavoriteMissing", R"({"reqId":"5","reqType":"SetFavorite","deviceId":"d"})",
                     "isFavorite not found", "SetFavorite", "5"},
        RejectedCase{"FavoriteWithoutDevice",
                     R"({"reqId":"5","reqType":"SetFavorite","isFavorite":true})",
                     "deviceId not found", "SetFavorite", "5"},
        RejectedCase{"LocalizeWithoutPassword",
                     R"({"reqId":"6","reqType":"Localize","deviceId":"d","username":"u"})",
                     "password not found", "Localize", "6"},
        RejectedCase{
            "ChangeDeviceMethodNotString",
            R"({"reqType":"ChangeDevice","reqId":"8","deviceId":"d","name":"n","ip":"i",)"
            R"("subnetMask":"m","networkMethod":1,"defaultGateway":"g","username":"u","password":"p"})",
            "networkMethod value type mismatch. Expected string", "ChangeDevice", "8"},
        // The first failing key in reading order is the one reported.
        RejectedCase{"ChangeDeviceReportsFirstMissingKey",
                     R"({"reqType":"ChangeDevice","reqId":"8","deviceId":"d","name":"n"})",
                     "ip not found", "ChangeDevice", "8"},
        RejectedCase{"BatchWithoutPassword",
                     R"({"reqType":"ChangeDevices","reqId":"9","username":"u","devices":[]})",
                     "password not found", "ChangeDevices", "9"},
        RejectedCase{"BatchWithoutDevices",
                     R"({"reqType":"ChangeDevices","reqId":"9","username":"u","password":"p"})",
                     "devices not found", "ChangeDevices", "9"},
        RejectedCase{"BatchDevicesNotArray",
                     R"({"reqType":"ChangeDevices","reqId":"9","username":"u","password":"p",)"
                     R"("devices":{}})",
                     "devices value type mismatch. Expected array", "ChangeDevices", "9"},
        RejectedCase{"BatchOfNothing",
                     R"({"reqType":"ChangeDevices","reqId":"9","username":"u","password":"p",)"
                     R"("devices":[]})",
                     "devices is empty", "ChangeDevices", "9"},
        RejectedCase{"BatchItemNotObject",
                     R"({"reqType":"ChangeDevices","reqId":"9","username":"u","password":"p",)"
                     R"("devices":["a_1"]})",
                     "devices value type mismatch. Expected object", "ChangeDevices", "9"},
        RejectedCase{"BatchItemReportsFirstMissingKey",
                     R"({"reqType":"ChangeDevices","reqId":"9","username":"u","password":"p",)"
                     R"("devices":[{"deviceId":"a_1","name":"n","ip":"i","subnetMask":"m"}]})",
                     "networkMethod not found", "ChangeDevices", "9"},
        RejectedCase{"BatchItemIpNotString",
                     R"({"reqType":"ChangeDevices","reqId":"9","username":"u","password":"p",)"
                     R"("devices":[{"deviceId":"a_1","name":"n","ip":5}]})",
                     "ip value type mismatch. Expected string", "ChangeDevices", "9"},
        RejectedCase{"BatchListsADeviceTwice",
                     R"({"reqType":"ChangeDevices","reqId":"9","username":"u","password":"p",)"
                     R"("devices":[{"deviceId":"a_1","name":"n","ip":"i","subnetMask":"m",)"
                     R"("networkMethod":"DHCP","defaultGateway":"g"},{"deviceId":"a_1","name":"n",)"
                     R"("ip":"i","subnetMask":"m","networkMethod":"DHCP","defaultGateway":"g"}]})",
                     "deviceId a_1 listed twice", "ChangeDevices", "9"},
        RejectedCase{"CancelWithoutReqId", R"({"reqType":"CancelBatch"})", "reqId not found",
                     "Unknown", "Unknown"}),
    [](const ::testing::TestParamInfo<RejectedCase>& info) {
        return std::string(info.param.name);
    });

TEST_F(GuiHandlerTest, NullReqIdReadsAsEmptyAndIsLeftOutOfTheAnswer) {
    const Result result = process(R"({"reqType":"SetTheme","reqId":null,"theme":"dark"})");
    EXPECT_EQ(result.status, ResultStatus::OK);
    EXPECT_EQ(result.reqId, "");
    EXPECT_EQ(result.toCompactJson(), R"({"reqType":"SetTheme","status":"OK"})");
}

TEST_F(GuiHandlerTest, ChangeDeviceCarriesEveryField) {
    ASSERT_EQ(process(changeDevice).status, ResultStatus::OK);
    const SetConfigurationRequest& r = processor.configuration;
    EXPECT_EQ(r.reqType, "ChangeDevice");
    EXPECT_EQ(r.reqId, "r1");
    EXPECT_EQ(r.deviceId, "123_456");
    EXPECT_EQ(r.name, "Cam");
    EXPECT_EQ(r.ip, "10.0.0.5");
    EXPECT_EQ(r.subnetMask, "255.255.255.0");
    EXPECT_EQ(r.defaultGateway, "10.0.0.1");
    EXPECT_EQ(r.username, "admin");
    EXPECT_EQ(r.password, "pw");
    EXPECT_EQ(r.networkMethod, sdk::system::network_method_type::PERSISTENT_IP);
}

TEST_F(GuiHandlerTest, TheRequestsPasswordIsWipedOnceHandled) {
    ASSERT_EQ(process(changeDevice).status, ResultStatus::OK);
    EXPECT_EQ(processor.sharedPassword, QString(2, QChar(0)))
        << "the characters the request held are overwritten";
}

TEST_F(GuiHandlerTest, NetworkMethodTextsMapExactly) {
    const std::vector<std::pair<QString, sdk::system::network_method_type>> table = {
        {"DHCP", sdk::system::network_method_type::DHCP},
        {"PersistentIP", sdk::system::network_method_type::PERSISTENT_IP},
        {"Unknown", sdk::system::network_method_type::UNKNOWN},
        {"dhcp", sdk::system::network_method_type::UNKNOWN},
        {"", sdk::system::network_method_type::UNKNOWN},
    };
    for (const auto& [text, method] : table) {
        QByteArray message = changeDevice;
        message.replace("\"PersistentIP\"", "\"" + text.toUtf8() + "\"");
        ASSERT_EQ(process(message).status, ResultStatus::OK) << text.toStdString();
        EXPECT_EQ(processor.configuration.networkMethod, method) << text.toStdString();
    }
}

TEST_F(GuiHandlerTest, FavoriteFalseIsCarried) {
    ASSERT_EQ(process(R"({"reqId":"1","reqType":"SetFavorite","deviceId":"d","isFavorite":false})")
                  .status,
              ResultStatus::OK);
    EXPECT_FALSE(processor.favorite.isFavorite);
    EXPECT_EQ(processor.favorite.deviceId, "d");
}

TEST_F(GuiHandlerTest, ExtraKeysAreIgnored) {
    const Result result =
        process(R"({"reqType":"SetTheme","reqId":"1","theme":"dark","extra":[1,2]})");
    EXPECT_EQ(result.status, ResultStatus::OK);
    EXPECT_EQ(backend.calls, (QStringList{"theme:dark", "save"}));
}

namespace {

// n devices a_0 ... on 10.0.0.1 ... as one ChangeDevices message.
QByteArray changeDevices(int n, const char* reqId = "b1") {
    QByteArray devices;
    for (int i = 0; i < n; ++i) {
        devices += (i ? "," : "") + QStringLiteral(R"({"deviceId":"a_%1","name":"n%1",)"
                                                   R"("ip":"10.0.0.%2","subnetMask":"255.0.0.0",)"
                                                   R"("networkMethod":"PersistentIP",)"
                                                   R"("defaultGateway":"10.0.0.254"})")
                                        .arg(i)
                                        .arg(i + 1)
                                        .toUtf8();
    }
    return QByteArray(R"({"reqType":"ChangeDevices","reqId":")") + reqId +
           R"(","username":"admin","password":"pw","devices":[)" + devices + "]}";
}

class GuiHandlerBatch : public GuiHandlerTest {
protected:
    GuiHandlerBatch() {
        GuiHandler::BatchSetup setup;
        setup.report = &report;
        setup.environment.send = [this](const SetConfigurationRequest& item) {
            processor.handle(item);
        };
        setup.environment.known = [](const QString&) { return true; };
        setup.post = [this](const QString& message) { posted << message; };
        handler.setBatchSetup(std::move(setup));
    }

    QStringList statuses() const {
        QStringList out;
        for (const auto& item : report.items()) {
            out << BatchReport::text(item.status);
        }
        return out;
    }

    BatchReport report;
    QStringList posted;
};

}  // namespace

TEST_F(GuiHandlerBatch, EveryItemGoesToTheProcessorWithTheSharedCredentials) {
    const Result result = process(changeDevices(2));
    EXPECT_EQ(result.status, ResultStatus::OK);
    EXPECT_EQ(result.reqType, "ChangeDevices");
    EXPECT_EQ(processor.calls, (QStringList{"configure:a_0", "configure:a_1"}));
    const SetConfigurationRequest& last = processor.configuration;
    EXPECT_EQ(last.name, "n1");
    EXPECT_EQ(last.ip, "10.0.0.2");
    EXPECT_EQ(last.subnetMask, "255.0.0.0");
    EXPECT_EQ(last.defaultGateway, "10.0.0.254");
    EXPECT_EQ(last.networkMethod, sdk::system::network_method_type::PERSISTENT_IP);
    EXPECT_EQ(last.username, "admin");
    EXPECT_EQ(last.password, "pw");
    EXPECT_EQ(processor.sharedPassword, QString(2, QChar(0)));
    EXPECT_EQ(statuses(), (QStringList{"sent", "sent"}));
}

TEST_F(GuiHandlerBatch, ASecondBatchWhileOneRunsIsAnsweredButNotStarted) {
    ASSERT_EQ(process(changeDevices(10)).status, ResultStatus::OK);
    ASSERT_EQ(processor.calls.size(), 8);

    const Result second = process(changeDevices(3, "b2"));
    EXPECT_EQ(second.status, ResultStatus::OK);
    EXPECT_EQ(second.reqId, "b2");
    EXPECT_EQ(posted, QStringList{GuiHandler::anotherBatchRunning});
    EXPECT_EQ(posted.first(), "Another batch is running");
    EXPECT_EQ(report.items().size(), 10);
    EXPECT_EQ(processor.calls.size(), 8);

    // Once the first has ended the next one starts and replaces the report.
    for (int i = 0; i < 10; ++i) {
        handler.onConfigurationStep(QStringLiteral("a_%1").arg(i), ConfigurationStep::Succeeded,
                                    QString());
    }
    EXPECT_EQ(report.state(), BatchReport::State::Done);
    ASSERT_EQ(process(changeDevices(3, "b3")).status, ResultStatus::OK);
    EXPECT_EQ(statuses(), (QStringList{"sent", "sent", "sent"}));
    EXPECT_EQ(posted.size(), 1);
}

TEST_F(GuiHandlerBatch, CancelEndsTheItemsNotYetSent) {
    ASSERT_EQ(process(changeDevices(10)).status, ResultStatus::OK);
    const Result cancel = process(R"({"reqType":"CancelBatch","reqId":"c1"})");
    EXPECT_EQ(cancel.status, ResultStatus::OK);
    EXPECT_EQ(statuses().count("sent"), 8);
    EXPECT_EQ(statuses().count("cancelled"), 2);
    handler.onConfigurationStep("a_0", ConfigurationStep::Failed, "Not authorized");
    EXPECT_EQ(processor.calls.size(), 8);
    EXPECT_EQ(report.items()[0].message, "Not authorized");
}

TEST_F(GuiHandlerBatch, CancelWithoutAJobDoesNothing) {
    EXPECT_EQ(process(R"({"reqType":"CancelBatch","reqId":"c1"})").status, ResultStatus::OK);
    EXPECT_FALSE(report.hasJob());
}
