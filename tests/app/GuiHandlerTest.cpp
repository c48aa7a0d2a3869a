#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QStringList>
#include <vector>

#include "app/GuiHandler.h"
#include "app/IGuiBackend.h"
#include "device/SecretText.h"
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
                     "ip not found", "ChangeDevice", "8"}),
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
