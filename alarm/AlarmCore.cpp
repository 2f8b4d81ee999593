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
}

void AlarmCore::HandleStationAlarm(const QString& message, int replay)
{
    const std::optional<StationAlarmPlan> plan = PlanStationAlarm(message, replay != 0, m_ctx, m_settings);
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
    if (m_announcements && !m_silentReplay)
        m_announcements->announceNow(plan->announcement);
    emit stationAlarmAnnounced(*plan, replay != 0);
}

void AlarmCore::HandleUnitAlarm(const QString& message)
{
    const UnitAlarmPlan plan = PlanUnitAlarm(message, m_ctx, m_settings);
    emit unitAlarm(plan);
    if (plan.units.isEmpty())
        return;
    qCInfo(lcAlarm).noquote() << "Unit alarm received:" << plan.units.join(QStringLiteral(", ")) << "at"
                              << QDateTime::currentDateTime().toString(Qt::ISODate);
    if (m_announcements)
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
