#pragma once

#include <QByteArray>
#include <QJsonDocument>
#include <QString>

// The per-user data location + "/Settings.json".
QString settingsFilePath();
// The per-user data location + "/logs/".
QString logFolderPath();
// The working directory + "/../www/lnf/".
QString webFolderPath();

// Makes the data folder and its log folder private (0700) and tightens the
// settings file and the log files already in them to 0600, so that what an
// older version or a loose umask left readable is no longer. Logs what it
// cannot make private; returns whether everything is.
bool securePrivateData();

// The file parsed as JSON, or a null document when it cannot be opened or is
// not valid JSON. A file that holds something but does not parse is first
// copied aside (keepInvalidSettingsFile), so a later save cannot destroy it.
QJsonDocument readJsonFile(const QString& path);

// Replaces the file's content atomically: a failed or interrupted write leaves
// the previous content whole. With createIfMissing the missing folders are
// created, the last one private (0700). The file is 0600 whatever the umask.
// Returns whether the new content is in place.
bool writeFile(const QString& path, const QByteArray& bytes, bool createIfMissing);

// writeFile(path, document.toJson(), true).
bool writeJsonFile(const QString& path, const QJsonDocument& document);

// Copies a settings file that failed to load (invalid JSON, or a validation
// error found by its reader) to path + ".invalid" (or, when that is taken,
// ".invalid.2", ".invalid.3", ...) and logs the copy's name, so the defaults
// saved later never destroy the user's favourites silently. Returns the
// copy's path, or "" when there was nothing to keep or the copy failed.
QString keepInvalidSettingsFile(const QString& path);
