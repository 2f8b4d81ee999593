#include "announce/AnnouncementQueue.h"

#include "announce/AnnouncementOutput.h"
#include "common/AppContext.h"
#include "common/CodePage.h"
#include "common/FileExists.h"
#include "common/Log.h"
#include "common/SafeFile.h"

#include <QDebug>

AnnouncementQueue::AnnouncementQueue(AppContext& ctx, AnnouncementOutput& output, QObject* parent)
    : QObject(parent)
    , m_ctx(ctx)
    , m_output(output)
{
    connect(&m_output, &AnnouncementOutput::stepEnded, this, &AnnouncementQueue::onStepEnded);
    connect(&m_ctx, &AppContext::ending, this, [this] {
        m_steps.clear();
        if (m_stepUnderWay && !m_stopping) {
            m_stopping = true;
            m_output.StopStep();
        }
    });
}

void AnnouncementQueue::announceNow(const Announcement& announcement)
{
    m_steps.clear();
    append(announcement);
    if (!m_stepUnderWay)
        return startNext();
    // The older announcement's step ends first; the newer one starts at its end.
    if (!m_stopping) {
        m_stopping = true;
        m_output.StopStep();
    }
}

void AnnouncementQueue::announceNext(const Announcement& announcement)
{
    append(announcement);
    if (!m_stepUnderWay)
        startNext();
}

void AnnouncementQueue::append(const Announcement& announcement)
{
    if (announcement.alarmSound)
        m_steps.push_back({ announcement.alarmSound, std::nullopt });
    if (announcement.speech)
        m_steps.push_back({ std::nullopt, announcement.speech });
    for (const QString& sound : announcement.unitSounds)
        m_steps.push_back({ sound, std::nullopt });
}

void AnnouncementQueue::startNext()
{
    while (!m_steps.empty() && m_ctx.ist_ende() == 0) {
        const Step step = m_steps.front();
        m_steps.pop_front();
        if (step.wave) {
            m_stepUnderWay = true;
            m_output.PlayWave(*step.wave);
            return;
        }
        const Announcement::Speech& speech = *step.speech;
        if (FileExists(speech.program) != 1)
            continue;
        // The speech program is never started on a text it cannot read; a shell still reading
        // the previous text keeps the old file.
        if (!ReplaceFileWhole(speech.textFile, CodePage::encode(speech.text))) {
            qCWarning(lcFiles).noquote() << "Speech text" << speech.textFile << "could not be written; no speech";
            continue;
        }
        m_stepUnderWay = true;
        m_output.RunSpeechProgram(speech.program, speech.textFile, speech.argsBefore, speech.argsAfter);
        return;
    }
    m_steps.clear();
    emit idle();
}

void AnnouncementQueue::onStepEnded()
{
    m_stepUnderWay = false;
    m_stopping = false;
    startNext();
}
