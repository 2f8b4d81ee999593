#pragma once

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMap>
#include <QProcess>
#include <QStringList>

// What the history's tests store and read back.
namespace HistoryRows {

// A station alarm of 19 fields, field i replaced where given.
inline QStringList fields(const QMap<int, QString>& changed = {})
{
    QStringList f { "WACHALARM", "Brand", "B3 Y", "Wohnungsbrand", "B3", "44135", "Dortmund", "Kampstraße", "12",
        "Zufahrt; über \"Hof\"\r\nTür öffnen", "Mitte", "Stadthaus", "3. OG", "", "ELW 1\aRTW(D)\a", "1", "", "",
        "Frau Müller" };
    for (auto it = changed.begin(); it != changed.end(); ++it)
        f[it.key()] = it.value();
    return f;
}

// The rows of a CSV file as Python's csv module reads them with ';'.
inline QList<QStringList> readCsv(const QString& path)
{
    QProcess python;
    python.start(QStringLiteral("python3"),
        { "-c",
            "import csv, json, sys\n"
            "with open(sys.argv[1], newline='', encoding='utf-8-sig') as f:\n"
            "    print(json.dumps(list(csv.reader(f, delimiter=';', strict=True))))",
            path });
    python.waitForFinished(30000);
    QList<QStringList> rows;
    for (const QJsonValue& row : QJsonDocument::fromJson(python.readAllStandardOutput()).array())
        rows << row.toVariant().toStringList();
    return rows;
}

inline QDateTime at(const char* text)
{
    return QDateTime::fromString(QString::fromLatin1(text), Qt::ISODate);
}

} // namespace HistoryRows
