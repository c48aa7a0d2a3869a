#include "app/GuiHandler.h"

#include "app/IGuiBackend.h"
#include "device/SecretText.h"
#include "state/IEventHandler.h"
#include "web/RequestRegistry.h"

namespace {

Result accepted() {
    Result result;
    result.status = ResultStatus::OK;
    return result;
}

// Once handled, a request's password is of no more use here: the engine
// took a copy of its own and wipes that after sending.
void wipeSecrets(WebGUIEvent& request) {
    if (auto* change = dynamic_cast<SetConfigurationRequest*>(&request)) {
        wipeText(change->password);
    } else if (auto* localize = dynamic_cast<LocalizeRequest*>(&request)) {
        wipeText(localize->password);
    }
}

}  // namespace

GuiHandler::GuiHandler(IGuiBackend* backend, IEventHandler* processor, QObject* parent)
    : QObject(parent), m_backend(backend), m_processor(processor) {}

Result GuiHandler::processMessage(uint64_t clientID, const QByteArray& message) {
    QString reqType = QStringLiteral("Unknown");
    QString reqId = QStringLiteral("Unknown");
    QStringList errors;

    Result result;
    if (std::unique_ptr<WebGUIEvent> request = parseRequest(message, errors, reqType, reqId)) {
        result = request->accept(*this);
        wipeSecrets(*request);
        result.clientID = clientID;
    } else {
        result.clientID = clientID;
        result.status = ResultStatus::ValidationError;
        result.details = errors;
    }
    result.reqType = reqType;
    result.reqId = reqId;
    return result;
}

Result GuiHandler::handle(const LocalizeRequest& request) {
    m_processor->handle(request);
    return accepted();
}

Result GuiHandler::handle(const SetLanguageRequest& request) {
    m_backend->setLanguage(request.language);
    m_backend->saveSettings();
    return accepted();
}

Result GuiHandler::handle(const SetThemeRequest& request) {
    m_backend->setTheme(request.theme);
    m_backend->saveSettings();
    return accepted();
}

Result GuiHandler::handle(const SetFavoriteRequest& request) {
    m_processor->handle(request);
    m_backend->saveSettings();
    return accepted();
}

Result GuiHandler::handle(const SetConfigurationRequest& request) {
    m_processor->handle(request);
    return accepted();
}
