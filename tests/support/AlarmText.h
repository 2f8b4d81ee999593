#pragma once

#include <QChar>
#include <QMap>
#include <QString>
#include <QStringList>

namespace AlarmText {

// A station alarm as the dispatch computer sends it: fields 0 to 15, with this keyword and units.
inline QString station(const QString& keyword, const QStringList& units)
{
    return QStringList { "WACHALARM", "Einsatz 4711", "06.12.2026 19:42", "Meldbild", keyword, "80331", "München",
        "Hauptstraße", "12", "Vermerk", "", "", "", "", (QStringList(units) << "").join(QChar(7)), "0" }
        .join(QChar(9));
}

// A station alarm of 19 fields; field i replaced where given, cut after `count` fields.
inline QString alarm(const QMap<int, QString>& fields = {}, int count = 19)
{
    QStringList f { "WACHALARM", "Brand", "B3 Y", "Wohnungsbrand", "B3", "44135", "Dortmund", "Kampstraße", "12",
        "Zufahrt\r\nHof", "", "Stadthaus", "3. OG", "", "ELW 1\aRTW(D)\a", "1", "51,5", "7,4", "Herr Meier" };
    for (auto it = fields.begin(); it != fields.end(); ++it)
        f[it.key()] = it.value();
    return f.mid(0, count).join(QChar(9));
}

} // namespace AlarmText
