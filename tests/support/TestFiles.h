#pragma once

#include <QByteArray>
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

} // namespace TestFiles
