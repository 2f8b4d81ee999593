#include "announce/AnnouncementQueue.h"

#include "announce/AnnouncementOutput.h"
#include "common/AppContext.h"
#include "common/CodePage.h"
#include "common/FileExists.h"
#include "common/Log.h"
#include "common/SafeFile.h"
#include "settings/SettingsFile.h"

#include <QDebug>
#include <QFileInfo>

#include <algorithm>

AnnouncementQueue::AnnouncementQueue(AppContext& ctx, AnnouncementOutput& output, QObject* parent)
    : QObject(parent)
    , m_ctx(ctx)
    , m_output(output)
{
    connect(&m_output, &AnnouncementOutput::stepEnded, this, &AnnouncementQueue::onStepEnded);
    connect(&m_ctx, &AppContext::ending, this, [this] {
        m_current = {};
        m_waiting.clear();
        if (m_stepUnderWay && !m_stopping) {
            m_stopping = true;
            m_output.StopStep();
        }
    });
}

void AnnouncementQueue::announceNow(const Announcement& announcement)
{
    const bool wasIdle = !busy();
    if (!announcement.test)
        dropWaitingTests();
    m_waiting.push_front(stepsOf(announcement));
    if (wasIdle)
        emit begun();
    if (!m_begun) {
        // Nothing under way, or the step of one already cut, whose end starts this one.
        if (!m_stepUnderWay)
            startNext();
        return;
    }
    cutCurrent("a newer station alarm");
}

void AnnouncementQueue::announceNext(const Announcement& announcement)
{
    const bool wasIdle = !busy();
    if (!announcement.test)
        dropWaitingTests();
    m_waiting.push_back(stepsOf(announcement));
    if (wasIdle)
        emit begun();
    // A real alarm never waits for a test.
    if (!announcement.test && m_begun && m_current.test)
        return cutCurrent("a unit alarm");
    if (!m_stepUnderWay)
        startNext();
}

void AnnouncementQueue::cutCurrent(const char* by)
{
    // The announcement under way is cut; whatever has not begun still follows the newer one.
    qCInfo(lcAnnounce).noquote() << "Announcement of the" << m_current.name << "cut by" << by;
    m_current = {};
    m_begun = false;
    if (!m_stepUnderWay)
        return startNext();
    // The older announcement's step ends first; the newer one starts at its end.
    if (!m_stopping) {
        m_stopping = true;
        m_output.StopStep();
    }
}

void AnnouncementQueue::dropWaitingTests()
{
    const auto tests = std::remove_if(m_waiting.begin(), m_waiting.end(), [](const Steps& s) { return s.test; });
    if (tests == m_waiting.end())
        return;
    qCInfo(lcAnnounce) << "Waiting test alarm dropped for a real alarm";
    m_waiting.erase(tests, m_waiting.end());
}

AnnouncementQueue::Steps AnnouncementQueue::stepsOf(const Announcement& announcement)
{
    Steps steps { announcement.name.isEmpty() ? QStringLiteral("alarm") : announcement.name, {}, announcement.test };
    if (announcement.alarmSound)
        steps.steps.push_back({ announcement.alarmSound, std::nullopt });
    if (announcement.speech)
        steps.steps.push_back({ std::nullopt, announcement.speech });
    for (const QString& sound : announcement.unitSounds)
        steps.steps.push_back({ sound, std::nullopt });
    return steps;
}

void AnnouncementQueue::startNext()
{
    while (!m_ctx.ist_ende()) {
        if (m_current.steps.empty()) {
            m_begun = false;
            if (m_waiting.empty())
                break;
            m_current = std::move(m_waiting.front());
            m_waiting.pop_front();
            continue;
        }
        const Step step = m_current.steps.front();
        m_current.steps.pop_front();
        m_begun = true;
        if (step.wave) {
            m_stepUnderWay = true;
            m_output.PlayWave(*step.wave);
            return;
        }
        const Announcement::Speech& speech = *step.speech;
        if (!FileExists(speech.program))
            continue;
        // An empty or relative name (a fresh data folder, a name typed without its folder) means
        // the data folder's sabbel.txt, never a file beside wherever the program was started.
        const QString textFile = SpeechTextPath(m_ctx, speech.textFile);
        // The speech program is never started on a text it cannot read; a shell still reading
        // the previous text keeps the old file.
        if (!ReplaceFileWhole(textFile, CodePage::encode(speech.text))) {
            qCWarning(lcFiles).noquote() << "Speech text" << textFile
                                         << "could not be written; no speech. Name a file that the monitor may "
                                            "write in the settings (\"Sprachausgabe\"), or leave the name empty "
                                            "for the data folder's sabbel.txt";
            continue;
        }
        m_stepUnderWay = true;
        m_output.RunSpeechProgram(speech.program, textFile, speech.argsBefore, speech.argsAfter);
        return;
    }
    m_current = {};
    m_waiting.clear();
    m_begun = false;
    emit idle();
}

void AnnouncementQueue::onStepEnded()
{
    m_stepUnderWay = false;
    m_stopping = false;
    startNext();
}
