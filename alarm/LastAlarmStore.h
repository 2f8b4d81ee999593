#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

// last.dat: the latest live station alarm, one field per line (fields 0 to 17), every CR LF inside
// a field stored as "<CR>", lines ended by CR LF, Windows-1252.
namespace LastAlarmStore {

// The file's bytes for the fields of a message; fields past 17 are not stored.
[[nodiscard]] QByteArray bytes(const QStringList& fields);

// Replaces the file whole, so that a crash or a full disk never leaves it missing or half written.
// False, and a line in the log, when it could not be written; the old file then stays.
bool store(const QString& path, const QStringList& fields);
bool storeBytes(const QString& path, const QByteArray& bytes);

// The message rebuilt from the file: every line with "<CR>" turned back into CR LF and followed
// by a TAB. Lines may end with CR LF or a bare LF. Empty when there is no readable file.
[[nodiscard]] std::optional<QString> read(const QString& path);

// The same from the file's bytes.
[[nodiscard]] QString messageFromBytes(const QByteArray& bytes);

} // namespace LastAlarmStore
