#include "config/ConfigSchema.h"

#include "paths/AlarmPathSettings.h"
#include "print/CupsQueue.h"

#include <QRegularExpression>

namespace {

ConfigKey key(
    ConfigFile file, const char* name, KeyType type, const char* defaultText, const char* label, const char* help)
{
    ConfigKey schemaKey;
    schemaKey.file = file;
    schemaKey.key = QString::fromUtf8(name);
    schemaKey.type = type;
    schemaKey.defaultText = QString::fromUtf8(defaultText);
    schemaKey.label = QString::fromUtf8(label);
    schemaKey.help = QString::fromUtf8(help);
    return schemaKey;
}

ConfigKey ranged(ConfigKey schemaKey, double lowest, double highest)
{
    schemaKey.lowest = lowest;
    schemaKey.highest = highest;
    return schemaKey;
}

ConfigKey choice(ConfigKey schemaKey, const QStringList& choices)
{
    schemaKey.choices = choices;
    return schemaKey;
}

// settings.dat: the line's number, its name and its type. Its flags and numbers are 16-bit numbers
// in the file; inside the program a flag is a flag.
ConfigKey line(int number, const char* name, KeyType type, const char* defaultText, const char* label, const char* help)
{
    ConfigKey schemaKey = key(ConfigFile::Settings, name, type, defaultText, label, help);
    schemaKey.line = number;
    return schemaKey;
}

ConfigKey settingsFlag(int number, const char* name, const char* label, const char* help)
{
    return line(number, name, KeyType::Flag, "0", label, help);
}

// A route key whose value cannot be used leaves the route off.
ConfigKey routeKey(ConfigKey schemaKey)
{
    schemaKey.insteadNote = QStringLiteral("no route");
    return schemaKey;
}

QString oneWord(const QString& value)
{
    // A profile goes into a command line and an address.
    static const QRegularExpression word(QStringLiteral("^[A-Za-z0-9_-]*$"));
    return word.match(value).hasMatch() ? QString() : QStringLiteral("is not one word (letters, digits, '_', '-')");
}

QString queueName(const QString& value)
{
    return value.isEmpty() || CupsQueue::isQueueName(value)
        ? QString()
        : QStringLiteral("is not a CUPS queue name (no blanks, control characters, '/' or '#')");
}

QString hostList(const QString& value)
{
    for (const QString& item : DispatchHost::split(value)) {
        if (!DispatchHost::parse(item))
            return QStringLiteral("holds \"%1\", which is no host or host:port with a port from 1 to 65535").arg(item);
    }
    return {};
}

QString ricNumber(const QString& value)
{
    return value.isEmpty() || StationRic::validRic(value)
        ? QString()
        : QStringLiteral("is no RIC (a number from 0 to %1)").arg(StationRic::kHighestRic);
}

QString notEmpty(const QString& value)
{
    return value.trimmed().isEmpty() ? QStringLiteral("is empty") : QString();
}

QList<ConfigKey> makeSchema()
{
    using T = KeyType;
    const auto D = ConfigFile::Display;
    const auto M = ConfigFile::Map;
    const auto P = ConfigFile::Print;
    const auto H = ConfigFile::History;
    const auto W = ConfigFile::Paths;
    constexpr int kMostDays = 100 * 366;

    QList<ConfigKey> all {
        // settings.dat
        line(1, "server", T::Text, "localhost", "Rechner der Leitstelle",
            "Name oder IP-Adresse des ELS-Rechners, der die Alarme sendet."),
        settingsFlag(2, "speech", "Alarmtext ansagen", "Ein vorhandenes Sprachprogramm sagt den Alarmtext an."),
        settingsFlag(3, "alarm_wav", "alarm.wav abspielen", "Bei einem Alarmeingang die Datei alarm.wav abspielen."),
        line(4, "speech_program", T::Path, "", "Sprachprogramm",
            "Programmpfad des Sprachprogramms, das die Ansage spricht."),
        line(5, "speech_text", T::Path, "", "Ansagetext-Datei",
            "In diese Datei schreibt der Monitor den Ansagetext; leer oder ohne Ordner: sabbel.txt im Datenordner."),
        line(6, "speech_args_before", T::Text, "", "Aufrufparameter vor dem Dateinamen",
            "Parameter des Sprachprogramms vor dem Namen der Ansagetext-Datei."),
        line(7, "speech_args_after", T::Text, "", "Aufrufparameter nach dem Dateinamen",
            "Parameter des Sprachprogramms nach dem Namen der Ansagetext-Datei."),
        line(8, "lead_text", T::Text, "", "Freitext vorweg", "Dieser Text wird vor den Einsatzdaten angesagt."),
        line(9, "trail_text", T::Text, "", "Freitext hinterher", "Dieser Text wird nach den Einsatzdaten angesagt."),
        settingsFlag(10, "speak_lead_text", "Freitext vorweg ansagen", "Den Freitext vor den Einsatzdaten ansagen."),
        settingsFlag(
            11, "speak_trail_text", "Freitext hinterher ansagen", "Den Freitext nach den Einsatzdaten ansagen."),
        settingsFlag(12, "speak_type", "Meldebild", "Das Meldebild des Einsatzes ansagen."),
        settingsFlag(13, "speak_keyword", "Stichwort", "Das Stichwort des Einsatzes ansagen."),
        settingsFlag(14, "speak_town", "Ortsname", "Den Ortsnamen des Einsatzorts ansagen."),
        settingsFlag(15, "speak_street", "Straße + HNr", "Straße und Hausnummer des Einsatzorts ansagen."),
        settingsFlag(16, "speak_supplement", "Zusatz", "Den Zusatz zum Einsatzort ansagen."),
        settingsFlag(17, "speak_district", "Stadtteil", "Den Stadtteil des Einsatzorts ansagen."),
        settingsFlag(18, "speak_object", "Objekt", "Das Objekt am Einsatzort ansagen."),
        settingsFlag(19, "speak_outside_town", "a.g.O.",
            "Ansagen, dass der Einsatzort außerhalb geschlossener Ortschaften liegt."),
        settingsFlag(20, "speak_units", "eingesetzte EM", "Die alarmierten Einsatzmittel ansagen."),
        settingsFlag(21, "unit_wavs", "Wavedateien der Einsatzmittel",
            "Für jedes alarmierte Einsatzmittel seine Wavedatei aus dem Ordner \"Sounds\" abspielen (Rufname + "
            "\".wav\")."),
        settingsFlag(
            22, "proxy", "Proxyserver verwenden", "Die Internetverbindung der Karte geht über einen Proxyserver."),
        line(23, "proxy_server", T::Text, "", "Proxyserver", "Name oder Adresse des Proxyservers."),
        ranged(line(24, "proxy_port", T::Whole, "0", "Port", "Port des Proxyservers, eine ganze Zahl bis 32767."), 0,
            32767),
        settingsFlag(25, "proxy_auth", "Authentisierung erforderlich", "Der Proxyserver verlangt Login und Passwort."),
        line(26, "proxy_login", T::Text, "", "Login", "Login am Proxyserver."),
        line(27, "proxy_password", T::Secret, "", "Passwort", "Passwort am Proxyserver."),

        // display.ini
        key(D, "fullscreen", T::Flag, "0", "Vollbild", "Das Fenster füllt den Bildschirm ohne Rahmen."),
        key(D, "screen", T::Text, "", "Bildschirm",
            "Der Bildschirm des Fensters, mit seinem Namen oder seiner Nummer; leer: der erste Bildschirm."),
        choice(key(D, "layout", T::Choice, "classic", "Ansicht",
                   "classic: das gewohnte Fenster; wall: die Wandansicht mit Ruheanzeige zwischen den Alarmen."),
            { QStringLiteral("classic"), QStringLiteral("wall") }),
        ranged(key(D, "standby_minutes", T::TimeSpan, "60", "Alarm in der Wandansicht (Minuten)",
                   "So lange bleibt ein Alarm in der Wandansicht stehen, dann kommt die Ruheanzeige; 0: bis er "
                   "gelöscht wird."),
            0, 7 * 24 * 60),
        key(D, "station_name", T::Text, "", "Name der Wache",
            "Der Name der Wache in der Ruheanzeige und im Kopf; leer: der Name des Monitors."),
        key(D, "privacy", T::Flag, "0", "Hallenanzeige",
            "Keine Namen von Meldern und Mannschaft, keine Bemerkung und kein Archiv auf dem Bildschirm."),
        key(D, "calendar", T::Path, "", "Kalender", "Die Termine der Wache, eine iCalendar-Datei; leer: keine."),
        choice(key(D, "wake", T::Choice, "off", "Bildschirm wecken",
                   "off: der Bildschirm bleibt, wie er ist; x11: über den X-Server; command: mit den Befehlen "
                   "unten."),
            { QStringLiteral("off"), QStringLiteral("x11"), QStringLiteral("command") }),
        key(D, "wake.on", T::Command, "", "Befehl zum Einschalten",
            "Schaltet den Bildschirm bei einem Alarm ein (mit wake=command)."),
        key(D, "wake.off", T::Command, "", "Befehl zum Ausschalten",
            "Schaltet den Bildschirm nach der Wachzeit aus (mit wake=command)."),
        ranged(key(D, "awake_minutes", T::TimeSpan, "30", "Wachzeit (Minuten)",
                   "So lange bleibt der Bildschirm nach einem Alarm an; 0: der Bildschirm bleibt, wie er ist."),
            0, 24 * 60),
        ranged(key(D, "replay_announce_minutes", T::TimeSpan, "0", "Ansage nach Neustart (Minuten)",
                   "Beim Start wird der letzte Alarm nur angesagt, wenn er jünger ist; 0: immer."),
            0, 365 * 24 * 60),
        ranged(key(D, "link_warning_seconds", T::Whole, "0", "Warnung bei Verbindungsausfall (Sekunden)",
                   "Ist die Verbindung zur Leitstelle so lange unterbrochen, steht es quer über dem Fenster; 0: "
                   "keine Warnung."),
            0, 24 * 3600),
        key(D, "strength.leaders", T::Words, "ZF GF", "Führungskräfte",
            "Qualifikationen aus mannschaft.csv, die als Führung zählen, die höchste zuerst."),
        key(D, "strength.show", T::Words, "AGT Ma C", "Gezählte Qualifikationen",
            "Qualifikationen aus mannschaft.csv, die bei der Stärke gezählt werden."),

        // map.ini
        choice(key(M, "provider", T::Choice, "static", "Kartendienst",
                   "static: statische Karten mit API-Schlüssel; osm: Kacheln ohne Schlüssel."),
            { QStringLiteral("static"), QStringLiteral("osm") }),
        key(M, "host", T::Url, "https://maps.googleapis.com", "Adresse des Kartendienstes",
            "Schema, Rechner und Port des statischen Kartendienstes."),
        key(M, "key", T::Secret, "", "API-Schlüssel", "Der Schlüssel des statischen Kartendienstes."),
        key(M, "tiles", T::Url, "https://tile.openstreetmap.org/{z}/{x}/{y}.png", "Kacheln (Straßenkarte)",
            "Adresse der Kacheln mit {z}, {x} und {y}."),
        key(M, "tiles.satellite", T::Url, "", "Kacheln (Satellit)",
            "Adresse der Satellitenkacheln; leer: die Straßenkarte."),
        key(M, "tiles.terrain", T::Url, "", "Kacheln (Gelände)", "Adresse der Geländekacheln; leer: die Straßenkarte."),
        key(M, "search", T::Url, "https://nominatim.openstreetmap.org", "Adresssuche",
            "Adresse der Adresssuche (Nominatim)."),
        key(M, "contact", T::Text, "", "Kontakt", "E-Mail-Adresse der Wache, sie geht mit jeder Anfrage mit."),
        key(M, "countrycodes", T::Text, "", "Länder der Suche",
            "Die Adresssuche sucht nur in diesen Ländern, etwa de,at."),
        key(M, "attribution", T::Text, "\u00A9 OpenStreetMap-Mitwirkende", "Quellenangabe",
            "Der Hinweis auf die Herkunft der Karte, auf der Karte gezeigt."),
        routeKey(key(M, "station", T::Coordinates, "", "Standort der Wache",
            "Breite,Länge in Grad, wo die Mannschaft ausrückt; leer: keine Route.")),
        routeKey(choice(key(M, "route", T::Url, "", "Routenplaner",
                            "routino für den Routenplaner auf diesem Rechner, die Adresse eines OSRM-Servers; leer: "
                            "keine Route."),
            { QStringLiteral("routino") })),
        routeKey(key(M, "route.data", T::Path, "", "Routendaten", "Der Ordner, den planetsplitter geschrieben hat.")),
        routeKey(key(M, "route.profile", T::Text, "", "Fahrzeugprofil",
            "Das Profil des Routenplaners; leer: motorcar bei routino, driving bei OSRM.")),
        routeKey(ranged(key(M, "route.factor", T::Decimal, "1", "Zeitfaktor",
                            "Die berechnete Fahrzeit wird damit malgenommen, über 0 bis 10."),
            0, 10)),
        key(M, "water", T::Path, "", "Wasserentnahmestellen",
            "Der Index der Wasserentnahmestellen; leer: keine werden gesucht."),

        // print.ini
        key(P, "printer", T::Text, "", "Drucker", "Die CUPS-Warteschlange; leer: der Standarddrucker."),
        ranged(key(P, "copies", T::Whole, "1", "Kopien",
                   "So viele Ausdrucke je Alarm der Wache; 0: kein Ausdruck von selbst (Strg+P druckt)."),
            0, 99),
        key(P, "unit_alarms", T::Flag, "0", "Alarme der Einsatzmittel drucken",
            "Auch Alarme einzelner Einsatzmittel drucken."),
        key(P, "test_pages", T::Flag, "0", "Probealarme drucken", "Auch Probealarme drucken."),
        ranged(key(P, "wait_seconds", T::Whole, "15", "Wartezeit (Sekunden)",
                   "So lange wartet der Ausdruck höchstens auf die Adresssuche und die Karte."),
            0, 300),
        key(P, "informant", T::Flag, "", "Melder drucken",
            "Melder und Bemerkung drucken; leer: nur, wenn der Monitor keine Hallenanzeige ist."),
        ranged(key(P, "keep_days", T::Whole, "30", "PDF-Kopien aufbewahren (Tage)",
                   "Ältere PDF-Kopien der Ausdrucke werden gelöscht; 0: für immer aufbewahren."),
            0, 3650),
        choice(key(P, "paper", T::Choice, "a4", "Papier", "Das Papierformat, hochkant."),
            { QStringLiteral("a4"), QStringLiteral("a5"), QStringLiteral("letter") }),

        // history.ini
        ranged(key(H, "keep_personal_days", T::Whole, "180", "Persönliche Daten aufbewahren (Tage)",
                   "Melder, Bemerkung und die Namen der Mannschaft werden danach gelöscht; 0: für immer."),
            0, kMostDays),
        ranged(key(H, "keep_days", T::Whole, "0", "Alarme aufbewahren (Tage)",
                   "Ganze Alarme werden danach gelöscht; 0: für immer."),
            0, kMostDays),

        // alarmwege.ini
        key(W, "dispatch", T::Words, "", "Weitere Leitstellenrechner",
            "Rechner oder Rechner:Port, durch Komma getrennt; jeder bleibt zugleich verbunden. Der Rechner der "
            "Leitstelle aus den Einstellungen bleibt der erste."),
        ranged(key(W, "merge_minutes", T::Whole, "10", "Zusammenführen (Minuten)",
                   "Kopien eines Alarms über verschiedene Wege in dieser Zeit sind ein Alarm."),
            1, 24 * 60),
        ranged(key(W, "silent_minutes", T::Whole, "0", "Stille Leitstelle melden (Minuten)",
                   "Kommt so lange von einem Leitstellenrechner nichts, wird er als still gemeldet und neu "
                   "verbunden; 0: aus."),
            0, 7 * 24 * 60),
        key(W, "radio.command", T::Text, "", "Befehl des Funkmeldeempfängers",
            "Dekodiert die Funkmeldungen (etwa rtl_fm … | multimon-ng …), läuft mit /bin/sh; leer: kein "
            "Funkmeldeempfänger."),
        key(W, "radio.ric.<ric>", T::Text, "", "Text einer RIC",
            "radio.ric.1234567=Alarm Löschzug Mitte: eine RIC der Wache, mit .A bis .D für die Unteradresse, und "
            "der Text, der gezeigt und angesagt wird."),
        key(W, "radio.test_ric", T::Text, "", "RIC der Funkprobe",
            "Die Probemeldung des Funknetzes; leer: nicht überwacht."),
        ranged(key(W, "radio.test_minutes", T::Whole, "0", "Funkprobe erwartet (Minuten)",
                   "So oft kommt die Funkprobe mindestens; bleibt sie aus, wird es gemeldet; 0: nicht überwacht."),
            0, 7 * 24 * 60),
    };
    for (ConfigKey& schemaKey : all) {
        if (schemaKey.key == QLatin1String("route.factor"))
            schemaKey.lowestExcluded = true;
        else if (schemaKey.key == QLatin1String("route.profile"))
            schemaKey.check = oneWord;
        else if (schemaKey.key == QLatin1String("printer")) {
            schemaKey.check = queueName;
            schemaKey.keepBad = true;
            schemaKey.insteadNote = QStringLiteral("kept as written, so nothing is printed on another queue");
        } else if (schemaKey.key == QLatin1String("informant")) {
            schemaKey.badText = QStringLiteral("0");
            schemaKey.insteadNote = QStringLiteral("the informant stays off the paper");
        } else if (schemaKey.key == QLatin1String("dispatch")) {
            schemaKey.check = hostList;
            schemaKey.keepBad = true;
            schemaKey.insteadNote = QStringLiteral("the other hosts are used");
        } else if (schemaKey.key == QLatin1String("radio.ric.<ric>")) {
            schemaKey.pattern = QStringLiteral("radio\\.ric\\.[0-9]{1,7}(\\.[a-d])?");
            schemaKey.check = notEmpty;
            schemaKey.insteadNote = QStringLiteral("the RIC is not the station's");
        } else if (schemaKey.key == QLatin1String("radio.test_ric")) {
            schemaKey.check = ricNumber;
            schemaKey.insteadNote = QStringLiteral("the test message is not watched");
        }
    }
    return all;
}

} // namespace

QString configFileName(ConfigFile file)
{
    switch (file) {
    case ConfigFile::Settings:
        return QStringLiteral("settings.dat");
    case ConfigFile::Display:
        return QStringLiteral("display.ini");
    case ConfigFile::Map:
        return QStringLiteral("map.ini");
    case ConfigFile::Print:
        return QStringLiteral("print.ini");
    case ConfigFile::History:
        return QStringLiteral("history.ini");
    case ConfigFile::Paths:
        return QStringLiteral("alarmwege.ini");
    }
    return {};
}

const QList<ConfigFile>& configFiles()
{
    static const QList<ConfigFile> files { ConfigFile::Settings, ConfigFile::Display, ConfigFile::Map,
        ConfigFile::Print, ConfigFile::History, ConfigFile::Paths };
    return files;
}

const QList<ConfigKey>& configSchema()
{
    static const QList<ConfigKey> schema = makeSchema();
    return schema;
}

QList<const ConfigKey*> configKeys(ConfigFile file)
{
    QList<const ConfigKey*> keys;
    for (const ConfigKey& schemaKey : configSchema()) {
        if (schemaKey.file == file)
            keys.append(&schemaKey);
    }
    return keys;
}

const ConfigKey* findConfigKey(ConfigFile file, QStringView key)
{
    for (const ConfigKey& schemaKey : configSchema()) {
        if (schemaKey.file == file && schemaKey.key == key && schemaKey.pattern.isEmpty())
            return &schemaKey;
    }
    // The pattern keys' expressions, made once: a file may have many lines to look up.
    static const QList<std::pair<const ConfigKey*, QRegularExpression>> patterns = [] {
        QList<std::pair<const ConfigKey*, QRegularExpression>> made;
        for (const ConfigKey& schemaKey : configSchema()) {
            if (!schemaKey.pattern.isEmpty())
                made.append({ &schemaKey, QRegularExpression(QRegularExpression::anchoredPattern(schemaKey.pattern)) });
        }
        return made;
    }();
    for (const auto& [schemaKey, name] : patterns) {
        if (schemaKey->file == file && name.match(key).hasMatch())
            return schemaKey;
    }
    return nullptr;
}
