#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <unistd.h>

// The readers take a path, as the program hands them the file a planner picked, so each input
// goes through a file of its own per fuzzing process (parallel jobs must not share one).
namespace FuzzInput {

inline QString path(const char* suffix)
{
    return QDir::temp().filePath(
        QStringLiteral("tarnhelm-fuzz-%1%2").arg(::getpid()).arg(QLatin1String(suffix)));
}

inline bool write(const QString& path, const uint8_t* data, size_t size)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const qint64 length = static_cast<qint64>(size);
    return file.write(reinterpret_cast<const char*>(data), length) == length;
}

// Qt's plugin loader (the SQLite driver) and temporary files want an application object.
inline void initApplication()
{
    static int argc = 1;
    static char name[] = "tarnhelm-fuzz";
    static char* argv[] = { name, nullptr };
    static QCoreApplication app(argc, argv);
}

} // namespace FuzzInput
