#pragma once

#include <QString>
#include <QStringList>

// The rows a query gives on an SQLite file, each row's columns joined by '|'; empty when the file
// cannot be opened or the query fails. The connection is closed again before it returns.
[[nodiscard]] QStringList SqliteRows(const QString& path, const QString& query);
