#pragma once

#include <QByteArray>
#include <QObject>
#include <cstdint>
#include <functional>
#include <memory>

#include "device/BatchJob.h"

#include "state/Result.h"
#include "state/WebGUIEvent.h"

class IGuiBackend;
class IEventHandler;

// Turns one browser message into a typed request, validates it and hands it
// to the part of the system that carries it out. Runs on the main thread.
class GuiHandler : public QObject, public IWebGUIEventHandler {
    Q_OBJECT

public:
    // Owns neither.
    GuiHandler(IGuiBackend* backend, IEventHandler* processor, QObject* parent = nullptr);

    // Never throws: a rejected message comes back as ValidationError with its
    // one failure text in details. Once the request is handled its password
    // is wiped, together with every copy that still shares its characters;
    // a processor that keeps one keeps a copy of its own (secretCopy).
    Result processMessage(uint64_t clientID, const QByteArray& message);

    Result handle(const LocalizeRequest& request) override;
    Result handle(const SetLanguageRequest& request) override;
    Result handle(const SetThemeRequest& request) override;
    Result handle(const SetFavoriteRequest& request) override;
    Result handle(const SetConfigurationRequest& request) override;
    // Starts a batch job, or posts anotherBatchRunning while one runs.
    Result handle(const ChangeDevicesRequest& request) override;
    Result handle(const CancelBatchRequest& request) override;

    // What a batch job needs; without it ChangeDevices does nothing.
    struct BatchSetup {
        // Not owned; outlives the handler.
        BatchReport* report = nullptr;
        BatchJob::Environment environment;
        // Posts a notification for the user.
        std::function<void(const QString& message)> post;
    };
    void setBatchSetup(BatchSetup setup);
    // The pre-flight check of every batch item from now on.
    void setBatchPreFlight(BatchJob::PreFlight preFlight);

    static const QString anotherBatchRunning;

public slots:
    // Connected to the event processor's configurationStep.
    void onConfigurationStep(const QString& deviceId, ConfigurationStep step,
                             const QString& message);

private:
    IGuiBackend* m_backend;
    IEventHandler* m_processor;
    BatchSetup m_batchSetup;
    // The running job, or the last one (its report stays on view).
    std::unique_ptr<BatchJob> m_batch;
};
