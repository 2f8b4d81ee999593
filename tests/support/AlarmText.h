#pragma once

#include <QChar>
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

} // namespace AlarmText
