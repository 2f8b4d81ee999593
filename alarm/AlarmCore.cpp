#include "alarm/AlarmCore.h"

#include "alarm/LastAlarmStore.h"
#include "announce/AnnouncementQueue.h"
#include "common/AppContext.h"
#include "common/Log.h"

#include <QDateTime>
#include <QDebug>
#include <QScopedValueRollback>

AlarmCore::AlarmCore(AppContext& ctx, const StationSettings& settings, QObject* parent)
    : QObject(parent)
    , m_ctx(ctx)
    , m_settings(settings)
{
    // Counted first, before any other receiver: whatever emits a live station alarm numbers it.
    connect(this, &AlarmCore::stationAlarm, this, [this](const StationAlarmPlan&, bool replay) {
        if (!replay)
            ++m_liveStationAlarms;
    });
}

namespace {

// Alarms heard ahead and not yet in their turn. Each comes in its turn, so only a flood of
// thousands of alarms reaches this; the oldest of them is then heard again in its turn.
constexpr qsizetype kMaxAhead = 10000;

} // namespace

void AlarmCore::AnnounceAhead(const QString& message)
{
    if (!m_announcements)
        return;
    Ahead ahead { message, std::nullopt, std::nullopt };
    if (message.startsWith(QLatin1StringView("WACHALARM_EM"))) {
        ahead.unit = PlanUnitAlarm(message, m_ctx, m_settings);
        if (ahead.unit->units.isEmpty())
            return;
        m_announcements->announceNext(ahead.unit->announcement);
    } else {
        ahead.station = PlanStationAlarm(message, false, m_ctx, m_settings);
        if (!ahead.station)
            return;
        m_announcements->announceNow(ahead.station->announcement);
    }
    if (m_ahead.size() >= kMaxAhead)
        m_ahead.removeFirst();
    m_ahead.append(std::move(ahead));
}

std::optional<AlarmCore::Ahead> AlarmCore::takeAhead(const QString& message, bool station)
{
    for (qsizetype i = 0; i < m_ahead.size(); ++i) {
        if (m_ahead[i].station.has_value() == station && m_ahead[i].message == message)
            return m_ahead.takeAt(i);
    }
    return std::nullopt;
}

void AlarmCore::HandleStationAlarm(const QString& message, int replay)
{
    std::optional<Ahead> ahead = replay == 0 ? takeAhead(message, true) : std::nullopt;
    const std::optional<StationAlarmPlan> plan
        = ahead ? std::move(ahead->station) : PlanStationAlarm(message, replay != 0, m_ctx, m_settings);
    if (!plan)
        return;
    emit stationAlarm(*plan, replay != 0);
    // The keywords and the time; never who reported it.
    qCInfo(lcAlarm).noquote()
        << (replay != 0 ? "Stored station alarm shown again:" : "Station alarm received:")
        << QStringList { plan->header, plan->firstWord, plan->secondWord }.join(QLatin1Char(' ')).simplified() << "at"
        << QDateTime::currentDateTime().toString(Qt::ISODate);
    if (plan->lastAlarm)
        LastAlarmStore::storeBytes(m_ctx.LastAlarmPath, *plan->lastAlarm);
    if (m_announcements && !m_silentReplay && !ahead)
        m_announcements->announceNow(plan->announcement);
    emit stationAlarmAnnounced(*plan, replay != 0);
}

void AlarmCore::HandleRadioAlarm(const RadioAlarm& alarm)
{
    const StationAlarmPlan plan = PlanRadioAlarm(alarm, m_ctx, m_settings);
    emit stationAlarm(plan, false);
    qCInfo(lcAlarm).noquote() << "Radio alarm received:" << plan.announcement.name << "at"
                              << QDateTime::currentDateTime().toString(Qt::ISODate);
    if (m_announcements)
        m_announcements->announceNow(plan.announcement);
    emit stationAlarmAnnounced(plan, false);
}

bool AlarmCore::HandleTestAlarm()
{
    if (m_announcements && m_announcements->busy()) {
        qCInfo(lcAlarm) << "Test alarm refused: an announcement is under way";
        return false;
    }
    const StationAlarmPlan plan = PlanTestAlarm(m_ctx, m_settings);
    emit stationAlarm(plan, false);
    qCInfo(lcAlarm).noquote() << "Test alarm started at" << QDateTime::currentDateTime().toString(Qt::ISODate);
    if (m_announcements)
        m_announcements->announceNow(plan.announcement);
    emit stationAlarmAnnounced(plan, false);
    return true;
}

void AlarmCore::MergeStationAlarm(const StationAlarmPlan& plan, quint64 sequence, bool announceDetails)
{
    qCInfo(lcAlarm).noquote()
        << "Station alarm" << sequence << "completed by a later copy:"
        << QStringList { plan.header, plan.firstWord, plan.secondWord }.join(QLatin1Char(' ')).simplified();
    if (sequence != 0 && sequence == m_liveStationAlarms && plan.lastAlarm)
        LastAlarmStore::storeBytes(m_ctx.LastAlarmPath, *plan.lastAlarm);
    emit stationAlarmMerged(plan, sequence);
    if (!announceDetails || !m_announcements)
        return;
    Announcement details = plan.announcement;
    details.alarmSound.reset();
    details.name = plan.announcement.name + QStringLiteral(" (details)");
    if (details.speech || !details.unitSounds.isEmpty())
        m_announcements->announceNext(details);
}

void AlarmCore::HandleUnitAlarm(const QString& message)
{
    std::optional<Ahead> ahead = takeAhead(message, false);
    const UnitAlarmPlan plan = ahead ? std::move(*ahead->unit) : PlanUnitAlarm(message, m_ctx, m_settings);
    emit unitAlarm(plan);
    if (plan.units.isEmpty())
        return;
    qCInfo(lcAlarm).noquote() << "Unit alarm received:" << plan.units.join(QStringLiteral(", ")) << "at"
                              << QDateTime::currentDateTime().toString(Qt::ISODate);
    if (m_announcements && !ahead)
        m_announcements->announceNext(plan.announcement);
    emit unitAlarmAnnounced(plan);
}

bool AlarmCore::ReplayLastAlarm(bool announce, const QString& informant)
{
    std::optional<QString> message = LastAlarmStore::read(m_ctx.LastAlarmPath);
    if (!message)
        return false;
    if (!informant.isEmpty()) {
        constexpr qsizetype kInformantField = 18;
        QStringList fields = message->split(QChar(9));
        fields.resize(std::max(fields.size(), kInformantField + 1));
        fields[kInformantField] = informant;
        message = fields.join(QChar(9));
    }
    const QScopedValueRollback<bool> silent(m_silentReplay, !announce);
    HandleStationAlarm(*message, 1);
    return true;
}
