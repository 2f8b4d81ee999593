#include "paths/AlarmInbox.h"

#include "alarm/AlarmCore.h"

// The handlers of one dispatch host: every message goes on to the core, tagged with its path.
class AlarmInbox::Path : public MessageHandlers {
public:
    Path(AlarmInbox& inbox, int index)
        : m_inbox(inbox)
        , m_index(index)
    {
    }

    void HandleStationAlarm(const QString& message, int replay) override
    {
        m_inbox.m_core.HandleStationAlarm(message, replay);
        emit m_inbox.delivered(m_index, message.toUtf8(), true);
    }
    void HandleUnitAlarm(const QString& message) override
    {
        m_inbox.m_core.HandleUnitAlarm(message);
        emit m_inbox.delivered(m_index, message.toUtf8(), true);
    }
    void HandleTickerMessage(const QString& message) override { pass(message, &AlarmCore::HandleTickerMessage); }
    void InsertStatusRow(const QString& message) override { pass(message, &AlarmCore::InsertStatusRow); }
    void InsertPagerRow(const QString& message) override { pass(message, &AlarmCore::InsertPagerRow); }
    void DeleteTicker() override
    {
        m_inbox.m_core.DeleteTicker();
        emit m_inbox.delivered(m_index, QByteArrayLiteral("WACHALARM_DEL"), true);
    }
    void HandleFeedback(const QString& message) override { pass(message, &AlarmCore::HandleFeedback); }
    void AnnounceAhead(const QString& message) override { m_inbox.m_core.AnnounceAhead(message); }

private:
    void pass(const QString& message, void (AlarmCore::*handler)(const QString&))
    {
        (m_inbox.m_core.*handler)(message);
        emit m_inbox.delivered(m_index, message.toUtf8(), true);
    }

    AlarmInbox& m_inbox;
    int m_index;
};

AlarmInbox::AlarmInbox(AppContext& ctx, AlarmCore& core, QObject* parent)
    : QObject(parent)
    , m_core(core)
{
    Q_UNUSED(ctx);
}

AlarmInbox::~AlarmInbox() = default;

MessageHandlers& AlarmInbox::dispatchPath(int index)
{
    while (qsizetype(m_paths.size()) <= index)
        m_paths.push_back(std::make_unique<Path>(*this, int(m_paths.size())));
    return *m_paths[size_t(index)];
}

void AlarmInbox::takeRadioAlarm(const RadioAlarm& alarm)
{
    m_core.HandleRadioAlarm(alarm);
    emit delivered(RadioPath, (alarm.ric + alarm.subAddress + alarm.text).toUtf8(), true);
}
