#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

// One station alarm as the inbox knows it after each of its copies: which live alarm it is, the
// fields merged from every copy so far, and which paths brought it how much later.
struct AlarmCopies {
    quint64 sequence = 0; // the core's live station alarm (1, 2, …); 0: an alarm of before a restart
    QDateTime first; // when its first copy came (UTC)
    QStringList fields; // the dispatch fields merged; empty while only the radio path brought it
    QString paths; // "Leitstelle 1; Leitstelle 2 +3,2 s; Funkmeldeempfänger +0,8 s"
};
