#include "paths/AlarmInbox.h"

#include "alarm/AlarmCore.h"
#include "alarm/UnitList.h"
#include "common/Log.h"
#include "common/SafeFile.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace {

// The fields a station alarm is known by: keyword, street, house number, town.
constexpr int kFingerprintFields[] = { 4, 7, 8, 6 };
// More alarms than this within the window come from a broken feed: the oldest are forgotten.
constexpr std::size_t kMostAlarms = 1000;
// Messages remembered for their copies; beyond, the oldest are forgotten (a copy then shows twice).
constexpr std::size_t kMostMessages = 20000;
// The state file is larger than any honest state; a larger one is not read.
constexpr qint64 kMostStateBytes = 16 * 1024 * 1024;
constexpr int kStateVersion = 1;

// Lower case, no blanks, umlauts and ß written out: "Hauptstraße 12" and "HAUPTSTRASSE12" agree.
QString normalised(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text.normalized(QString::NormalizationForm_C)) {
        if (c.isSpace())
            continue;
        switch (c.toLower().unicode()) {
        case u'ä':
            out += QLatin1StringView("ae");
            break;
        case u'ö':
            out += QLatin1StringView("oe");
            break;
        case u'ü':
            out += QLatin1StringView("ue");
            break;
        case u'ß':
        case u'ẞ':
            out += QLatin1StringView("ss");
            break;
        default:
            out += c.toLower();
        }
    }
    return out;
}

QString unitKey(const QString& message)
{
    QStringList units = UnitList::split(message.section(QChar(9), 1, 1));
    for (QString& unit : units)
        unit = normalised(unit);
    units.sort();
    units.removeDuplicates();
    return units.join(QChar(7));
}

// The remark and the informant stay out of the state file, as out of last.dat: it may lie there
// long after the window, and a copy after a restart goes to the history, which keeps them.
QStringList withoutPersonal(QStringList fields)
{
    for (const int personal : { 9, 18 }) {
        if (personal < fields.size())
            fields[personal].clear();
    }
    return fields;
}

bool isUnitAlarm(const QString& message)
{
    return message.startsWith(QLatin1StringView("WACHALARM_EM"));
}

QString radioAddress(const RadioAlarm& alarm)
{
    return alarm.subAddress.isNull() ? alarm.ric : alarm.ric + alarm.subAddress;
}

} // namespace

// The handlers of one dispatch host: every message goes through the inbox, tagged with its path.
class AlarmInbox::Path : public MessageHandlers {
public:
    Path(AlarmInbox& inbox, int index)
        : m_inbox(inbox)
        , m_index(index)
    {
    }

    void HandleStationAlarm(const QString& message, int replay) override { m_inbox.station(m_index, message, replay); }
    void HandleUnitAlarm(const QString& message) override { m_inbox.unit(m_index, message); }
    void HandleTickerMessage(const QString& message) override
    {
        m_inbox.passMessage(m_index, message, &AlarmCore::HandleTickerMessage);
    }
    void InsertStatusRow(const QString& message) override
    {
        m_inbox.passMessage(m_index, message, &AlarmCore::InsertStatusRow);
    }
    void InsertPagerRow(const QString& message) override
    {
        m_inbox.passMessage(m_index, message, &AlarmCore::InsertPagerRow);
    }
    void DeleteTicker() override
    {
        const QString message = QStringLiteral("WACHALARM_DEL");
        if (!m_inbox.firstOfMessage(m_index, message))
            return;
        m_inbox.m_core.DeleteTicker();
        emit m_inbox.delivered(m_index, message.toUtf8(), true);
    }
    void HandleFeedback(const QString& message) override
    {
        m_inbox.passMessage(m_index, message, &AlarmCore::HandleFeedback);
    }
    void AnnounceAhead(const QString& message) override { m_inbox.announceAhead(m_index, message); }

private:
    AlarmInbox& m_inbox;
    int m_index;
};

bool AlarmInbox::Tracked::brought(int path) const
{
    return std::any_of(copies.begin(), copies.end(), [path](const Copy& copy) { return copy.path == path; });
}

AlarmInbox::Tracked AlarmInbox::Tracked::opened(Kind kind, const QString& key, int path, const QDateTime& at)
{
    Tracked alarm;
    alarm.kind = kind;
    alarm.key = key;
    alarm.first = at;
    alarm.copies.append(Copy { path, 0 });
    alarm.delivery = (kind == Kind::Station ? "S:" : kind == Kind::Unit ? "E:" : "R:") + key.toUtf8();
    return alarm;
}

AlarmInbox::AlarmInbox(AppContext& ctx, AlarmCore& core, QObject* parent)
    : QObject(parent)
    , m_ctx(ctx)
    , m_core(core)
{
    // The state file is written once the alarm's way is done, a burst of copies at once.
    m_saveTimer.setSingleShot(true);
    m_saveTimer.setInterval(0);
    connect(&m_saveTimer, &QTimer::timeout, this, &AlarmInbox::saveState);
}

AlarmInbox::~AlarmInbox()
{
    if (m_saveTimer.isActive())
        saveState();
}

MessageHandlers& AlarmInbox::dispatchPath(int index)
{
    while (qsizetype(m_paths.size()) <= index)
        m_paths.push_back(std::make_unique<Path>(*this, int(m_paths.size())));
    return *m_paths[size_t(index)];
}

void AlarmInbox::setMergeWindow(std::chrono::minutes window)
{
    m_window = std::max(window, std::chrono::minutes(0));
}

QString AlarmInbox::pathName(int path)
{
    return path == RadioPath ? QStringLiteral("Funkmeldeempfänger") : QStringLiteral("Leitstelle %1").arg(path + 1);
}

QString AlarmInbox::fingerprint(const QStringList& fields)
{
    QString key;
    bool blank = true;
    for (const int i : kFingerprintFields) {
        const QString part = normalised(fields.value(i));
        blank = blank && part.isEmpty();
        key += part + QChar(0x1f);
    }
    // An alarm without keyword and address says nothing of which incident it is: never a copy.
    return blank ? QString() : key;
}

QStringList AlarmInbox::mergeFields(const QStringList& kept, const QStringList& copy)
{
    QStringList merged = kept;
    for (qsizetype i = 0; i < copy.size(); ++i) {
        if (i >= merged.size())
            merged.append(copy[i]);
        else if (copy[i].size() > merged[i].size())
            merged[i] = copy[i];
    }
    return merged;
}

void AlarmInbox::forgetOld(const QDateTime& now)
{
    const qint64 windowMs = std::chrono::milliseconds(std::max(m_window, kUnitWindow)).count();
    // An arrival from before the clock was set back counts as old as well: it can no longer be timed.
    // An alarm announced ahead waits for its turn, which comes within the same burst.
    while (!m_alarms.empty()
        && (m_alarms.size() > kMostAlarms
            || (!m_alarms.front().ahead
                && (m_alarms.front().first.msecsTo(now) > windowMs || m_alarms.front().first > now))))
        m_alarms.pop_front();
}

AlarmInbox::Tracked* AlarmInbox::findCopyOf(Tracked::Kind kind, const QString& key, int path, const QDateTime& now)
{
    const qint64 windowMs = std::chrono::milliseconds(kind == Tracked::Kind::Unit ? kUnitWindow : m_window).count();
    if (key.isEmpty())
        return nullptr;
    // The oldest the path has not brought: copies pair up in the order they came.
    for (Tracked& alarm : m_alarms) {
        if (alarm.kind == kind && alarm.key == key && !alarm.brought(path) && alarm.first.msecsTo(now) <= windowMs)
            return &alarm;
    }
    return nullptr;
}

AlarmInbox::Tracked* AlarmInbox::findRadioAwaitingData(int path, const QDateTime& now)
{
    // A radio alarm of this run that no dispatch alarm has joined yet; one of before a restart is
    // no longer on screen, so its dispatch alarm is announced as an alarm of its own.
    const qint64 windowMs = std::chrono::milliseconds(m_window).count();
    for (Tracked& alarm : m_alarms) {
        if (alarm.kind == Tracked::Kind::Radio && alarm.sequence != 0 && !alarm.brought(path)
            && alarm.first.msecsTo(now) <= windowMs)
            return &alarm;
    }
    return nullptr;
}

void AlarmInbox::addCopy(Tracked& alarm, int path, const QDateTime& now)
{
    if (!alarm.brought(path))
        alarm.copies.append(Copy { path, std::max<qint64>(0, alarm.first.msecsTo(now)) });
}

AlarmInbox::Tracked* AlarmInbox::takeAheadTurn(Tracked::Kind kind, int path, const QString& message)
{
    for (Tracked& alarm : m_alarms) {
        if (alarm.ahead && alarm.kind == kind && alarm.copies.value(0).path == path && alarm.aheadMessage == message) {
            alarm.ahead = false;
            alarm.aheadMessage.clear();
            return &alarm;
        }
    }
    return nullptr;
}

void AlarmInbox::station(int path, const QString& message, int replay)
{
    const QStringList fields = message.split(QChar(9));
    if (replay != 0 || fields.size() < 7) {
        m_core.HandleStationAlarm(message, replay);
        return;
    }
    const QDateTime now = clock();
    forgetOld(now);
    // Its own announcement ahead: the core takes it in its turn without a second sound.
    if (Tracked* alarm = takeAheadTurn(Tracked::Kind::Station, path, message)) {
        m_core.HandleStationAlarm(message, 0);
        alarm->sequence = m_core.liveStationAlarms();
        // Copies that came while it waited for its turn.
        if (alarm->fields != fields)
            merge(*alarm, alarm->fields, false);
        emit delivered(path, alarm->deliveryKey(), true);
        tell(*alarm);
        stateChanged();
        return;
    }
    const QString key = fingerprint(fields);
    if (Tracked* copy = findCopyOf(Tracked::Kind::Station, key, path, now)) {
        addCopy(*copy, path, now);
        const QStringList merged = mergeFields(copy->fields, fields);
        const bool filled = merged != copy->fields;
        copy->fields = merged;
        if (filled && !copy->ahead)
            merge(*copy, merged, false);
        emit delivered(path, copy->deliveryKey(), false);
        tell(*copy);
        stateChanged();
        return;
    }
    if (Tracked* radio = findRadioAwaitingData(path, now)) {
        // The dispatch data of the radio alarm: shown, and its details spoken, without the alarm sound.
        addCopy(*radio, path, now);
        radio->kind = Tracked::Kind::Station;
        radio->key = key;
        radio->fields = fields;
        merge(*radio, fields, true);
        emit delivered(path, radio->deliveryKey(), false);
        tell(*radio);
        stateChanged();
        return;
    }
    // A new alarm: nothing stands before the core but the fingerprint.
    const quint64 before = m_core.liveStationAlarms();
    m_core.HandleStationAlarm(message, 0);
    if (m_core.liveStationAlarms() == before)
        return;
    Tracked alarm = Tracked::opened(Tracked::Kind::Station, key, path, now);
    alarm.fields = fields;
    alarm.sequence = m_core.liveStationAlarms();
    m_alarms.push_back(std::move(alarm));
    emit delivered(path, m_alarms.back().deliveryKey(), true);
    tell(m_alarms.back());
    stateChanged();
}

void AlarmInbox::unit(int path, const QString& message)
{
    const QString key = unitKey(message);
    if (key.isEmpty()) {
        m_core.HandleUnitAlarm(message);
        return;
    }
    const QDateTime now = clock();
    forgetOld(now);
    if (Tracked* alarm = takeAheadTurn(Tracked::Kind::Unit, path, message)) {
        m_core.HandleUnitAlarm(message);
        emit delivered(path, alarm->deliveryKey(), true);
        stateChanged();
        return;
    }
    if (Tracked* copy = findCopyOf(Tracked::Kind::Unit, key, path, now)) {
        addCopy(*copy, path, now);
        emit delivered(path, copy->deliveryKey(), false);
        stateChanged();
        return;
    }
    m_core.HandleUnitAlarm(message);
    m_alarms.push_back(Tracked::opened(Tracked::Kind::Unit, key, path, now));
    emit delivered(path, m_alarms.back().deliveryKey(), true);
    stateChanged();
}

void AlarmInbox::announceAhead(int path, const QString& message)
{
    const bool unitAlarm = isUnitAlarm(message);
    const QStringList fields = unitAlarm ? QStringList() : message.split(QChar(9));
    if (!unitAlarm && fields.size() < 7)
        return;
    const QString key = unitAlarm ? unitKey(message) : fingerprint(fields);
    if (unitAlarm && key.isEmpty())
        return;
    const QDateTime now = clock();
    forgetOld(now);
    const Tracked::Kind kind = unitAlarm ? Tracked::Kind::Unit : Tracked::Kind::Station;
    // A copy, or the dispatch data of a radio alarm, is never heard ahead: it merges in its turn.
    if (findCopyOf(kind, key, path, now) || (!unitAlarm && findRadioAwaitingData(path, now)))
        return;
    m_core.AnnounceAhead(message);
    Tracked alarm = Tracked::opened(kind, key, path, now);
    alarm.fields = fields;
    alarm.ahead = true;
    alarm.aheadMessage = message;
    m_alarms.push_back(std::move(alarm));
}

void AlarmInbox::takeRadioAlarm(const RadioAlarm& radio)
{
    const QDateTime now = clock();
    forgetOld(now);
    const QString address = radioAddress(radio);
    const qint64 windowMs = std::chrono::milliseconds(m_window).count();
    // A repeat of the RIC within the window; a text after a tone-only message upgrades it.
    for (Tracked& alarm : m_alarms) {
        if (alarm.rics.contains(address) && alarm.first.msecsTo(now) <= windowMs) {
            addCopy(alarm, RadioPath, now);
            if (radio.text.size() > alarm.radio.text.size()) {
                alarm.radio.text = radio.text;
                if (alarm.kind == Tracked::Kind::Radio)
                    merge(alarm, {}, false);
            }
            emit delivered(RadioPath, alarm.deliveryKey(), false);
            tell(alarm);
            stateChanged();
            return;
        }
    }
    // After its dispatch alarm: taken silently; the newest dispatch alarm no RIC has brought yet.
    for (auto it = m_alarms.rbegin(); it != m_alarms.rend(); ++it) {
        if (it->kind == Tracked::Kind::Station && !it->brought(RadioPath) && it->first.msecsTo(now) <= windowMs) {
            addCopy(*it, RadioPath, now);
            it->rics.insert(address);
            it->radio = radio;
            emit delivered(RadioPath, it->deliveryKey(), false);
            tell(*it);
            stateChanged();
            return;
        }
    }
    const quint64 before = m_core.liveStationAlarms();
    m_core.HandleRadioAlarm(radio);
    Tracked alarm = Tracked::opened(Tracked::Kind::Radio, address, RadioPath, now);
    alarm.rics.insert(address);
    alarm.radio = radio;
    alarm.sequence = m_core.liveStationAlarms() != before ? m_core.liveStationAlarms() : 0;
    m_alarms.push_back(std::move(alarm));
    emit delivered(RadioPath, m_alarms.back().deliveryKey(), true);
    tell(m_alarms.back());
    stateChanged();
}

void AlarmInbox::merge(Tracked& alarm, const QStringList& fields, bool announceDetails)
{
    if (alarm.sequence == 0 && !announceDetails)
        return; // of before a restart: the history alone takes it (tell())
    if (fields.isEmpty()) {
        // A radio alarm whose text came after its tone.
        StationAlarmPlan plan = PlanRadioAlarm(alarm.radio, m_ctx, m_core.settings());
        m_core.MergeStationAlarm(plan, alarm.sequence, false);
        return;
    }
    std::optional<StationAlarmPlan> plan = PlanStationAlarm(fields.join(QChar(9)), false, m_ctx, m_core.settings());
    if (plan)
        m_core.MergeStationAlarm(*plan, alarm.sequence, announceDetails);
}

void AlarmInbox::tell(const Tracked& alarm)
{
    if (alarm.kind == Tracked::Kind::Unit)
        return;
    // The first copy's fields are in the history as it came; a radio alarm's, with the text that
    // may have followed its tone.
    const QStringList fields = alarm.kind == Tracked::Kind::Radio ? RadioAlarmFields(alarm.radio)
        : alarm.copies.size() > 1                                 ? alarm.fields
                                                                  : QStringList();
    emit copied(AlarmCopies { alarm.sequence, alarm.first, fields, pathsText(alarm) });
}

QString AlarmInbox::pathsText(const Tracked& alarm) const
{
    QStringList texts;
    for (const Copy& copy : alarm.copies) {
        QString text = pathName(copy.path);
        if (&copy != &alarm.copies.front())
            text += QStringLiteral(" +%1 s")
                        .arg(QString::number(double(copy.afterMs) / 1000.0, 'f', 1))
                        .replace(QLatin1Char('.'), QLatin1Char(','));
        texts << text;
    }
    return texts.join(QStringLiteral("; "));
}

bool AlarmInbox::firstOfMessage(int path, const QString& message)
{
    // One path alone brings no copies.
    if (m_paths.size() < 2)
        return true;
    const QDateTime now = clock();
    const qint64 windowMs = std::chrono::milliseconds(kMessageWindow).count();
    while (!m_seenOrder.empty()
        && (m_seenOrder.size() >= kMostMessages || m_seenOrder.front().first.msecsTo(now) > windowMs
            || m_seenOrder.front().first > now)) {
        const auto found = m_seen.find(m_seenOrder.front().second);
        if (found != m_seen.end()) {
            found->pop_front();
            if (found->empty())
                m_seen.erase(found);
        }
        m_seenOrder.pop_front();
    }
    std::deque<Seen>& seen = m_seen[message];
    for (Seen& earlier : seen) {
        if (!earlier.paths.contains(path)) {
            earlier.paths.append(path);
            emit delivered(path, message.toUtf8(), false);
            return false;
        }
    }
    seen.push_back(Seen { now, { path } });
    m_seenOrder.emplace_back(now, message);
    return true;
}

void AlarmInbox::passMessage(int path, const QString& message, void (AlarmCore::*handler)(const QString&))
{
    if (!firstOfMessage(path, message))
        return;
    (m_core.*handler)(message);
    emit delivered(path, message.toUtf8(), true);
}

void AlarmInbox::stateChanged()
{
    if (!m_stateFile.isEmpty() && !m_saveTimer.isActive())
        m_saveTimer.start();
}

void AlarmInbox::setStateFile(const QString& path)
{
    if (path == m_stateFile)
        return;
    m_stateFile = path;
    loadState();
}

void AlarmInbox::saveState()
{
    m_saveTimer.stop();
    if (m_stateFile.isEmpty())
        return;
    QJsonArray alarms;
    for (const Tracked& alarm : m_alarms) {
        if (alarm.ahead)
            continue; // not yet in the core; its turn comes within the same run
        QJsonArray copies;
        for (const Copy& copy : alarm.copies)
            copies.append(QJsonArray { copy.path, copy.afterMs });
        alarms.append(QJsonObject {
            { QStringLiteral("kind"), int(alarm.kind) },
            { QStringLiteral("key"), alarm.key },
            { QStringLiteral("delivery"), QString::fromUtf8(alarm.delivery) },
            { QStringLiteral("first"), alarm.first.toMSecsSinceEpoch() },
            { QStringLiteral("copies"), copies },
            { QStringLiteral("fields"), QJsonArray::fromStringList(withoutPersonal(alarm.fields)) },
            { QStringLiteral("rics"), QJsonArray::fromStringList(QStringList(alarm.rics.begin(), alarm.rics.end())) },
            { QStringLiteral("ric"), alarm.radio.ric },
            { QStringLiteral("sub"), QString(alarm.radio.subAddress) },
            { QStringLiteral("label"), alarm.radio.label },
            { QStringLiteral("text"), alarm.radio.text },
        });
    }
    const QByteArray bytes = QJsonDocument(
        QJsonObject { { QStringLiteral("version"), kStateVersion },
            { QStringLiteral("alarms"),
                alarms } }).toJson(QJsonDocument::Compact);
    if (!ReplaceFileWhole(m_stateFile, bytes, kOwnerOnlyFile))
        qCWarning(lcAlarm).noquote() << "The alarms' copies could not be kept in" << m_stateFile
                                     << "; a copy after a restart would be announced again";
}

void AlarmInbox::loadState()
{
    QFile file(m_stateFile);
    if (!file.exists())
        return;
    QJsonParseError error {};
    QJsonDocument document;
    if (file.size() <= kMostStateBytes && file.open(QIODevice::ReadOnly))
        document = QJsonDocument::fromJson(file.readAll(), &error);
    const QJsonObject root = document.object();
    if (!document.isObject() || root.value(QStringLiteral("version")).toInt() != kStateVersion) {
        qCWarning(lcAlarm).noquote() << "The alarms' copies in" << m_stateFile << "cannot be read and are dropped:"
                                     << (error.error != QJsonParseError::NoError
                                                ? error.errorString()
                                                : QStringLiteral("no state of this program"));
        return;
    }
    const QDateTime now = clock();
    qsizetype dropped = 0;
    for (const QJsonValue& value : root.value(QStringLiteral("alarms")).toArray()) {
        const QJsonObject o = value.toObject();
        Tracked alarm;
        const int kind = o.value(QStringLiteral("kind")).toInt(-1);
        const QJsonArray copies = o.value(QStringLiteral("copies")).toArray();
        // Milliseconds since 1970, before the year 5000.
        const double first = o.value(QStringLiteral("first")).toDouble(-1);
        if (first >= 0 && first < 1e14)
            alarm.first = QDateTime::fromMSecsSinceEpoch(qint64(first), Qt::UTC);
        if (kind < int(Tracked::Kind::Station) || kind > int(Tracked::Kind::Radio) || copies.isEmpty()
            || !o.value(QStringLiteral("key")).isString() || !alarm.first.isValid()) {
            ++dropped;
            continue;
        }
        alarm.kind = Tracked::Kind(kind);
        alarm.key = o.value(QStringLiteral("key")).toString();
        alarm.delivery = o.value(QStringLiteral("delivery")).toString().toUtf8();
        for (const QJsonValue& copy : copies) {
            const QJsonArray pair = copy.toArray();
            const int path = pair.at(0).toInt(-2);
            if (path >= RadioPath && path < 1000)
                alarm.copies.append(Copy { path, qint64(std::clamp(pair.at(1).toDouble(), 0.0, 1e12)) });
        }
        for (const QJsonValue& field : o.value(QStringLiteral("fields")).toArray())
            alarm.fields.append(field.toString());
        for (const QJsonValue& ric : o.value(QStringLiteral("rics")).toArray())
            alarm.rics.insert(ric.toString());
        alarm.radio.ric = o.value(QStringLiteral("ric")).toString();
        const QString sub = o.value(QStringLiteral("sub")).toString();
        alarm.radio.subAddress = sub.isEmpty() ? QChar() : sub.at(0);
        alarm.radio.label = o.value(QStringLiteral("label")).toString();
        alarm.radio.text = o.value(QStringLiteral("text")).toString();
        if (alarm.copies.isEmpty() || (alarm.kind == Tracked::Kind::Station && alarm.fields.size() < 7)) {
            ++dropped;
            continue;
        }
        m_alarms.push_back(std::move(alarm));
    }
    std::stable_sort(
        m_alarms.begin(), m_alarms.end(), [](const Tracked& a, const Tracked& b) { return a.first < b.first; });
    forgetOld(now);
    if (dropped > 0)
        qCWarning(lcAlarm).noquote() << dropped << "unreadable alarms dropped from" << m_stateFile;
    qCInfo(lcAlarm).noquote() << m_alarms.size() << "alarms of the merge window taken from" << m_stateFile;
}
