#pragma once

#include <QString>

// What the GUI request handler needs of the backend.
class IGuiBackend {
public:
    virtual ~IGuiBackend() = default;
    virtual void setLanguage(const QString& language) = 0;
    virtual void setTheme(const QString& theme) = 0;
    // Writes the settings file.
    virtual void saveSettings() = 0;
};
