#pragma once

#include "announce/Announcement.h"

#include <QObject>

#include <deque>

class AnnouncementOutput;
class AppContext;

// Announces in the one order the station knows: the alarm sound, the speech, the unit sounds, each
// step to its end before the next begins, so that nothing is ever heard twice at once.
//
// A station alarm ends whatever is being announced (a sound is cut off, the speech program ended
// with its process group, everything still waiting dropped) and is then announced from its start.
// A unit alarm waits for what is being announced and follows it. Nothing here ever waits on the
// thread: each step's end arrives through the event loop.
//
// A speech program that is not a readable file is skipped; a speech text that cannot be written
// is logged and the speech skipped, and the unit sounds still play. Once the program is ending,
// the step under way is ended and nothing more starts.
class AnnouncementQueue : public QObject {
    Q_OBJECT

public:
    // The output must outlive the queue.
    AnnouncementQueue(AppContext& ctx, AnnouncementOutput& output, QObject* parent = nullptr);

    // A station alarm: ends what is announced or waiting and announces this instead.
    void announceNow(const Announcement& announcement);
    // A unit alarm: follows what is announced or waiting.
    void announceNext(const Announcement& announcement);

    // True from an announcement until its last step has ended.
    [[nodiscard]] bool busy() const { return m_stepUnderWay || !m_steps.empty(); }

signals:
    // The last step has ended and nothing waits.
    void idle();

private:
    struct Step {
        std::optional<QString> wave;
        std::optional<Announcement::Speech> speech;
    };

    void append(const Announcement& announcement);
    void startNext();
    void onStepEnded();

    AppContext& m_ctx;
    AnnouncementOutput& m_output;
    std::deque<Step> m_steps;
    bool m_stepUnderWay = false;
    bool m_stopping = false;
};
