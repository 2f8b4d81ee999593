#pragma once

#include <QString>
#include <QStringView>

// Where the map service is: map.ini in the data folder, plain "key=value" lines with the keys
// "host" (scheme, host and optional port) and "key" (the API key). Read afresh for every request,
// so that a changed file counts without a restart.
struct MapConfig {
    static inline const QString DefaultHost = QStringLiteral("https://maps.googleapis.com");
    static inline const QString FileName = QStringLiteral("map.ini");

    QString host = DefaultHost;
    QString key;
    // True when map.ini names the host itself.
    bool hostGiven = false;

    // The service refuses requests without a key; so without a key requests go out only to a host
    // that map.ini names explicitly (a local or test service), never to the default one.
    [[nodiscard]] bool canSend() const { return hostGiven || !key.isEmpty(); }

    // Unknown keys, blank lines and lines starting with "#" or ";" are ignored; an empty value
    // keeps the default; the host loses trailing slashes.
    [[nodiscard]] static MapConfig parse(QStringView text);
    // map.ini of the data folder; the defaults when it is missing or unreadable.
    [[nodiscard]] static MapConfig read(const QString& dataFolder);
};
