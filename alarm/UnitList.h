#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>

// The alarmed units of a station alarm (field 14) or a unit alarm (field 1): each unit's text is
// followed by the character 7. The piece after the last character 7 is not a unit, so a field
// without any character 7 holds no unit.
namespace UnitList {

[[nodiscard]] QStringList split(QStringView field);

// The sound file of a unit: the program folder, the unit's text without its markers "(D)" and
// "(A)", and ".wav". A unit whose name could reach outside the program folder or cannot stand as a
// file name (a path separator, "..", a control character, nothing left) has no sound file.
[[nodiscard]] std::optional<QString> soundFile(const QString& programFolder, const QString& unit);

// The most unit sounds one alarm plays: a frame that lists hundreds of units must not hold the
// loudspeakers, and the next alarm, for hours.
constexpr int kMostUnitSounds = 30;

// The sound files of the units, in list order: each from the first of `folders` that has it (from
// the last when none has), each file once, at most kMostUnitSounds of them. Empty folders are skipped.
[[nodiscard]] QStringList soundFiles(const QStringList& folders, const QStringList& units);

} // namespace UnitList
