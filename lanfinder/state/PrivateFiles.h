#pragma once

#include <QString>

// The user's own files (settings, logs, the single-instance lock and socket)
// are no one else's business: folders 0700, files 0600, whatever the umask.
// Paths are examined without following symbolic links.

// True when path is a folder (not a link to one) owned by this user that
// nobody else may enter. Changes nothing.
bool isPrivateFolder(const QString& path);

// Creates the folder (its parents as usual) or tightens one of ours to 0700.
// False, changing nothing, when it is not a folder of this user's: a link,
// a file, or another user's folder.
bool ensurePrivateFolder(const QString& path);

// Tightens an existing file of ours to 0600; true when it is missing. False
// for a link or another user's file, which are left alone.
bool tightenPrivateFile(const QString& path);
