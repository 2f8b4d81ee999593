#pragma once

#include <QByteArray>
#include <QFileDevice>
#include <QString>

// Replaces a file as a whole: the bytes go to a temporary file in the same folder, which is
// flushed, checked and only then renamed over the old one. Any error (a full disk among them)
// cancels the write and leaves the old file as it was. Returns false when the file was not replaced.
// `permissions`, when given, are set on the new file before it takes the old one's place; otherwise
// it keeps the old file's. A symbolic link at the path is replaced itself, with a warning: what it
// points to is never written (nor needs to exist).
[[nodiscard]] bool ReplaceFileWhole(
    const QString& path, const QByteArray& bytes, QFileDevice::Permissions permissions = {});

// Before a file is appended to: a symbolic link at the path is replaced, with a warning, by a file
// of its own (the owner's only) that holds what the link's target held, if that was a file. False
// when a link stays.
bool OwnFileInsteadOfLink(const QString& path);

// Files and folders that hold personal data are the owner's only.
inline constexpr QFileDevice::Permissions kOwnerOnlyFile = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
inline constexpr QFileDevice::Permissions kOwnerOnlyFolder = kOwnerOnlyFile | QFileDevice::ExeOwner;

// Mends the mode of a file (0600) or folder (0700) that stands at the path; a link, and what it
// points to, is left alone. False when it could not be mended.
bool KeepOwnerOnly(const QString& path);
