#pragma once

#include <QByteArray>
#include <QObject>
#include <cstdint>

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

private:
    IGuiBackend* m_backend;
    IEventHandler* m_processor;
};
