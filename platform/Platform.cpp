#include "platform/Platform.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#ifdef Q_OS_WIN
#include <io.h>
#include <shlobj.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace Platform {

namespace {

QString &chosenDataFolder()
{
    static QString folder;
    return folder;
}

} // namespace

void setAppDataFolder(const QString &folder)
{
    chosenDataFolder() = folder;
}

QString appDataFolder()
{
    if (!chosenDataFolder().isEmpty())
        return QDir::toNativeSeparators(QDir::cleanPath(chosenDataFolder()));
#ifdef Q_OS_WIN
    wchar_t path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, 0, path)))
        return QString();
    return QDir::toNativeSeparators(QString::fromWCharArray(path));
#else
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return QDir::toNativeSeparators(QDir::cleanPath(folder));
#endif
}

QString joinPath(const QString &folder, const QString &name)
{
    return folder + QDir::separator() + name;
}

QString imageCacheFolder()
{
    return joinPath(joinPath(appDataFolder(), QStringLiteral("kiva")), QStringLiteral("head"));
}

QString voteRecordsFolder(const QString &dataFolder)
{
    return joinPath(joinPath(dataFolder, QStringLiteral("kiva")), QStringLiteral("votes"));
}

QString voteRecordsFolder()
{
    return voteRecordsFolder(appDataFolder());
}

QString kivaFile(const QString &dataFolder, const QString &name)
{
    return joinPath(joinPath(dataFolder, QStringLiteral("kiva")), name);
}

QString kivaFile(const QString &name)
{
    return kivaFile(appDataFolder(), name);
}

bool fileExists(const QString &path)
{
#ifdef Q_OS_WIN
    return _waccess(reinterpret_cast<const wchar_t *>(path.utf16()), 0) == 0;
#else
    return QFileInfo::exists(path);
#endif
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
#ifdef Q_OS_WIN
    HANDLE file = CreateFileW(reinterpret_cast<const wchar_t *>(path.utf16()), GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const BOOL ok = WriteFile(file, bytes.constData(), DWORD(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == DWORD(bytes.size());
#else
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(bytes) == bytes.size();
#endif
}

bool syncFile(int fileDescriptor)
{
#ifdef Q_OS_WIN
    return _commit(fileDescriptor) == 0;
#elif defined(Q_OS_LINUX)
    return fdatasync(fileDescriptor) == 0;
#else
    return fsync(fileDescriptor) == 0;
#endif
}

} // namespace Platform
