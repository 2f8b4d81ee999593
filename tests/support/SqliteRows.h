#pragma once

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>

// The rows a query gives on an SQLite file, each row's columns joined by '|'; empty when the file
// cannot be opened or the query fails. The connection is closed again before it returns.
[[nodiscard]] inline QStringList SqliteRows(const QString& path, const QString& query)
{
    static int connections = 0;
    const QString name = QStringLiteral("rows%1").arg(++connections);
    QStringList rows;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        QSqlQuery q(db.open() ? db : QSqlDatabase());
        for (bool ran = q.exec(query); ran && q.next();) {
            QStringList columns;
            for (int c = 0; c < q.record().count(); ++c)
                columns << q.value(c).toString();
            rows << columns.join(QLatin1Char('|'));
        }
    }
    QSqlDatabase::removeDatabase(name);
    return rows;
}
