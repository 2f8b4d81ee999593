#include "settings/VehiclePage.h"

#include "crew/VehicleBoard.h"

#include <QFile>
#include <QSet>

VehiclePage::VehiclePage(const QString& path, QWidget* parent)
    : TablePage(path, { QStringLiteral("Funkrufname"), QStringLiteral("Kurzname") }, parent)
{
    setObjectName(QStringLiteral("Fahrzeuge"));
    QFile file(path);
    QList<QStringList> rows;
    if (file.open(QIODevice::ReadOnly)) {
        for (const VehicleBoard::Vehicle& vehicle : VehicleBoard::parseVehicles(file.read(1024 * 1024), path))
            rows.append({ vehicle.callName, vehicle.shortName });
    }
    setRows(rows, true);
}

bool VehiclePage::valid(QString* why) const
{
    QSet<QString> seen;
    const QList<QStringList> all = rows();
    for (int r = 0; r < all.size(); ++r) {
        QString problem;
        if (all[r][0].isEmpty())
            problem = QStringLiteral("in Zeile %1 fehlt der Funkrufname.").arg(r + 1);
        else if (all[r][0].contains(QLatin1Char('=')) || all[r][0].startsWith(QLatin1Char('#')))
            problem
                = QStringLiteral("ein Funkrufname darf kein \"=\" enthalten und nicht mit \"#\" beginnen (Zeile %1).")
                      .arg(r + 1);
        else if (seen.contains(all[r][0]))
            problem = QStringLiteral("\"%1\" steht zweimal in der Liste.").arg(all[r][0]);
        else if (all[r].join(QString()).contains(QLatin1Char('\n')))
            problem = QStringLiteral("Zeile %1 enthält einen Zeilenumbruch.").arg(r + 1);
        seen.insert(all[r][0]);
        if (!problem.isEmpty()) {
            if (why)
                *why = QStringLiteral("Fahrzeuge: ") + problem;
            return false;
        }
    }
    return true;
}

QByteArray VehiclePage::bytesOf(const QList<QStringList>& rows) const
{
    QString text;
    for (const QStringList& row : rows)
        text += row[0] + QStringLiteral(" = ") + row[1] + QLatin1Char('\n');
    return text.toUtf8();
}
