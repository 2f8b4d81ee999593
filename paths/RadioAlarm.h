#pragma once

#include <QChar>
#include <QString>

// A message of the radio pagers' network for one of the station's RICs, as the decoder read it.
struct RadioAlarm {
    QString ric; // the address, digits only: "1234567"
    QChar subAddress; // 'A' to 'D' (the function bits 0 to 3); null when the station names the RIC alone
    QString label; // the station's text for the RIC: "Alarm Löschzug Mitte"
    QString text; // the decoded message; empty for a tone-only one

    bool operator==(const RadioAlarm&) const = default;
};
