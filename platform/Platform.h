#pragma once

#include <QByteArray>
#include <QString>

// Stand-ins for the few operating-system services the plug-in needs. On
// Windows they are the shell and file calls; elsewhere the nearest Qt
// equivalents, so the program builds and runs on every desktop.
namespace Platform {

// The per-user roaming application-data folder, with native separators and
// no trailing separator. Empty when the system cannot tell.
QString appDataFolder();

// Another folder as appDataFolder() for the rest of the process (a tool's
// --data-dir, a test's own folder), on every system; empty gives the
// system's back. Set it before any window or worker asks.
void setAppDataFolder(const QString &folder);

// The gift image cache: appDataFolder() + "kiva" + "head", native separators.
QString imageCacheFolder();

// The vote records: appDataFolder() + "kiva" + "votes", native separators;
// or the same under another data folder (a tool's --data-dir).
QString voteRecordsFolder();
QString voteRecordsFolder(const QString &dataFolder);

// A file of the plug-in's own in the user's data folder: appDataFolder() +
// "kiva" + `name`; or the same under another data folder (a tool's --data-dir).
QString kivaFile(const QString &name);
QString kivaFile(const QString &dataFolder, const QString &name);

// Joins folder and name with the native separator.
QString joinPath(const QString &folder, const QString &name);

bool fileExists(const QString &path);

// Creates or truncates the file and writes all bytes. False when the file
// cannot be opened or not every byte was written.
bool writeFile(const QString &path, const QByteArray &bytes);

// Makes what was written to the open file reach the disk. False when the
// system reports a failure.
bool syncFile(int fileDescriptor);

} // namespace Platform
