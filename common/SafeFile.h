#pragma once

#include <QByteArray>
#include <QFileDevice>
#include <QString>

// Replaces a file as a whole: the bytes go to a temporary file in the same folder, which is
// flushed, checked and only then renamed over the old one. Any error (a full disk among them)
// cancels the write and leaves the old file as it was. Returns false when the file was not replaced.
// `permissions`, when given, are set on the new file before it takes the old one's place.
[[nodiscard]] bool ReplaceFileWhole(
    const QString& path, const QByteArray& bytes, QFileDevice::Permissions permissions = {});
