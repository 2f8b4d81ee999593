#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>

// The PDF copies of the printouts: Ausdrucke/ in the data folder, one file per printout named
// "<YYYY-MM-DD_HHMMSS>_<keyword>.pdf" (the wire carries no incident number), each written whole.
namespace PrintArchive {

inline const QString FolderName = QStringLiteral("Ausdrucke");

// The keyword made safe for a file name on every platform: letters (umlauts included), digits,
// '-', '_' and '.' stay, every other run of characters becomes one '_'; at most 60 characters;
// "Alarm" when nothing is left.
[[nodiscard]] QString safeName(const QString& keyword);
[[nodiscard]] QString fileName(const QDateTime& alarmTime, const QString& keyword);

// Writes the PDF into the folder (created when missing) and returns its path; a second printout
// of the same second and keyword gets "-2", "-3" … appended. Nothing when it could not be written
// whole (a full disk, no permission).
[[nodiscard]] std::optional<QString> store(const QString& folder, const QString& name, const QByteArray& pdf);

// Deletes the copies of the folder last changed before now − keepDays: plain files named as this
// archive names them, never a link, another name or another case; keepDays 0 deletes nothing.
// Returns how many were deleted.
int prune(const QString& folder, int keepDays, const QDateTime& now);

} // namespace PrintArchive
