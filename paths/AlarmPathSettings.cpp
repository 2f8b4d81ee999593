#include "paths/AlarmPathSettings.h"

#include "config/ConfigValues.h"

#include <QRegularExpression>

namespace {

constexpr quint16 kDispatchPort = 4750;

// A RIC as the decoder prints it: the number without leading noughts.
QString plainRic(QStringView ric)
{
    return QString::number(ric.toInt());
}

} // namespace

std::optional<DispatchHost> DispatchHost::parse(QStringView text)
{
    text = text.trimmed();
    QStringView host = text;
    QStringView port;
    if (text.startsWith(u'[')) {
        // "[fd00::5]" or "[fd00::5]:4751"
        const qsizetype close = text.indexOf(u']');
        if (close < 0)
            return std::nullopt;
        host = text.mid(1, close - 1);
        const QStringView rest = text.mid(close + 1);
        if (!rest.isEmpty()) {
            if (!rest.startsWith(u':'))
                return std::nullopt;
            port = rest.mid(1);
        }
    } else if (text.count(u':') == 1) {
        const qsizetype colon = text.indexOf(u':');
        host = text.left(colon);
        port = text.mid(colon + 1);
    }
    // A name, an IPv4 address or an IPv6 address: letters, digits, '.', '-', '_' and ':'.
    static const QRegularExpression hostName(QStringLiteral("^[A-Za-z0-9._:-]+$"));
    if (host.isEmpty() || !hostName.match(host).hasMatch())
        return std::nullopt;
    DispatchHost parsed { host.toString(), kDispatchPort };
    if (text.count(u':') == 1 || text.startsWith(u'[')) {
        if (port.isEmpty() && !text.startsWith(u'['))
            return std::nullopt;
        if (!port.isEmpty()) {
            bool ok = false;
            const int number = port.toInt(&ok);
            if (!ok || number < 1 || number > 65535 || port.startsWith(u'+'))
                return std::nullopt;
            parsed.port = quint16(number);
        }
    }
    return parsed;
}

QStringList DispatchHost::split(const QString& list)
{
    static const QRegularExpression gap(QStringLiteral("[\\s,]+"));
    return list.split(gap, Qt::SkipEmptyParts);
}

QString DispatchHost::text() const
{
    const QString name = host.contains(u':') ? QLatin1Char('[') + host + QLatin1Char(']') : host;
    return port == kDispatchPort && !host.contains(u':') ? name : name + QLatin1Char(':') + QString::number(port);
}

bool StationRic::validRic(QStringView ric)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,7}$"));
    return digits.match(ric).hasMatch() && ric.toInt() <= kHighestRic;
}

AlarmPathSettings AlarmPathSettings::from(const ConfigValues& values)
{
    AlarmPathSettings settings;
    // A host that cannot be used leaves the others in place: a typo must not cost the backup.
    for (const QString& item : DispatchHost::split(values.at(u"dispatch").text)) {
        const std::optional<DispatchHost> host = DispatchHost::parse(item);
        if (host && !settings.dispatch.contains(*host))
            settings.dispatch.append(*host);
    }
    settings.mergeMinutes = values.whole(u"merge_minutes");
    settings.silentMinutes = values.whole(u"silent_minutes");
    settings.radio.command = values.text(u"radio.command").trimmed();
    if (const QString test = values.text(u"radio.test_ric"); StationRic::validRic(test))
        settings.radio.testRic = plainRic(test);
    settings.radio.testMinutes = values.whole(u"radio.test_minutes");
    if (const ConfigKey* ricKey = findConfigKey(values.file(), u"radio.ric.0")) {
        for (const auto& [name, value] : values.matching(*ricKey)) {
            // radio.ric.1234567 or radio.ric.1234567.a
            const QStringList parts = name.split(QLatin1Char('.'));
            const QString text = value.value.toString().trimmed();
            if (parts.size() < 3 || !StationRic::validRic(parts[2]) || text.isEmpty())
                continue;
            StationRic ric { plainRic(parts[2]), parts.size() > 3 ? parts[3].at(0).toUpper() : QChar(), text };
            // The last line for a RIC is the one in force, as for any key.
            const auto same = std::find_if(settings.radio.rics.begin(), settings.radio.rics.end(),
                [&](const StationRic& known) { return known.ric == ric.ric && known.subAddress == ric.subAddress; });
            if (same != settings.radio.rics.end())
                *same = ric;
            else
                settings.radio.rics.append(ric);
        }
    }
    return settings;
}
