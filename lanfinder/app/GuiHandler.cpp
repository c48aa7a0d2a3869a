#include "app/GuiHandler.h"

#include <QDebug>

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
    } else if (auto* batch = dynamic_cast<ChangeDevicesRequest*>(&request)) {
        wipeText(batch->password);
    }
}

}  // namespace

const QString GuiHandler::anotherBatchRunning = QStringLiteral("Another batch is running");

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

void GuiHandler::setBatchSetup(BatchSetup setup) {
    m_batchSetup = std::move(setup);
}

void GuiHandler::setBatchPreFlight(BatchJob::PreFlight preFlight) {
    m_batchSetup.environment.preFlight = std::move(preFlight);
}

Result GuiHandler::handle(const ChangeDevicesRequest& request) {
    if (!m_batchSetup.report) {
        qWarning() << "Batch request without a batch report";
        return accepted();
    }
    if (m_batch && m_batch->isRunning()) {
        if (m_batchSetup.post) {
            m_batchSetup.post(anotherBatchRunning);
        }
        return accepted();
    }
    QVector<SetConfigurationRequest> items = request.devices;
    for (auto& item : items) {
        item.username = request.username;
        // Each item's own, so the job can wipe it the moment that item is
        // done with, whatever the others are doing.
        item.password = secretCopy(request.password);
    }
    m_batch.reset();
    m_batch = std::make_unique<BatchJob>(std::move(items), *m_batchSetup.report,
                                         m_batchSetup.environment);
    m_batch->start();
    return accepted();
}

Result GuiHandler::handle(const CancelBatchRequest&) {
    if (m_batch) {
        m_batch->cancel();
    }
    return accepted();
}

void GuiHandler::onConfigurationStep(const QString& deviceId, ConfigurationStep step,
                                     const QString& message) {
    if (m_batch) {
        m_batch->onStep(deviceId, step, message);
    }
}
