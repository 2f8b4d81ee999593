#include "tests/support/SqliteRows.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>

QStringList SqliteRows(const QString& path, const QString& query)
{
    static int connections = 0;
    const QString name = QStringLiteral("rows%1").arg(++connections);
    QStringList rows;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        QSqlQuery q(db.open() ? db : QSqlDatabase());
        if (q.exec(query)) {
            while (q.next()) {
                QStringList columns;
                for (int c = 0; c < q.record().count(); ++c)
                    columns << q.value(c).toString();
                rows << columns.join(QLatin1Char('|'));
            }
        }
    }
    QSqlDatabase::removeDatabase(name);
    return rows;
}
