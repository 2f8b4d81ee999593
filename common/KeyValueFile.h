#pragma once

#include <QList>
#include <QString>
#include <QStringView>

// The station's small configuration files in the data folder (map.ini, display.ini): one
// `key=value` a line; blank lines and lines that begin with '#' or ';' are skipped.
namespace KeyValueFile {

struct Entry {
    QString name; // trimmed, lower case
    QString value; // the rest of the line after '=', as written
};

[[nodiscard]] QList<Entry> parse(QStringView text);

// The decoded text of `fileName` in `dataFolder`; empty when there is none. A configuration file
// is a few lines long: only its first 64 KiB are read.
[[nodiscard]] QString read(const QString& dataFolder, const QString& fileName);

} // namespace KeyValueFile
