#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QString>

// Whole-file reads and writes for the tests' fixtures and checks.
namespace TestFiles {

// The bytes of a file; empty when it cannot be read.
[[nodiscard]] inline QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Writes a file whole, replacing what it held; false when that failed.
[[nodiscard]] inline bool writeAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// Writes an executable /bin/sh script of the body's lines; false when that failed.
[[nodiscard]] inline bool writeScript(const QString& path, const QByteArray& body)
{
    return writeAll(path, "#!/bin/sh\n" + body + "\n")
        && QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

// Sets a file's time of change; false when that failed.
[[nodiscard]] inline bool setModified(const QString& path, const QDateTime& time)
{
    QFile f(path);
    return f.open(QIODevice::ReadWrite) && f.setFileTime(time, QFileDevice::FileModificationTime);
}

} // namespace TestFiles
