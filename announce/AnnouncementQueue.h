#pragma once

#include "announce/Announcement.h"

#include <QObject>

#include <deque>

class AnnouncementOutput;
class AppContext;

// Announces in the one order the station knows: the alarm sound, the speech, the unit sounds, each
// step to its end before the next begins, so that nothing is ever heard twice at once.
//
// A station alarm cuts the announcement under way (a sound is cut off, the speech program ended
// with its process group, that announcement's remaining steps dropped, and the journal says so)
// and is then announced from its start. Announcements that have not begun, such as a unit alarm
// waiting for the one cut, are never dropped: they follow, in the order they came. A unit alarm
// waits for what is being announced and follows it. Nothing here ever waits on the thread: each
// step's end arrives through the event loop.
//
// A test alarm is stopped by every real alarm, a unit alarm too: cut when under way, dropped when
// waiting.
//
// A speech program that is not a readable file is skipped; a speech text that cannot be written
// is logged and the speech skipped, and the unit sounds still play. Once the program is ending,
// the step under way is ended and nothing more starts.
class AnnouncementQueue : public QObject {
    Q_OBJECT

public:
    // The output must outlive the queue.
    AnnouncementQueue(AppContext& ctx, AnnouncementOutput& output, QObject* parent = nullptr);

    // A station alarm: cuts the announcement under way and is announced before all that waits.
    void announceNow(const Announcement& announcement);
    // A unit alarm: follows what is announced or waiting.
    void announceNext(const Announcement& announcement);

    // True from an announcement until its last step has ended.
    [[nodiscard]] bool busy() const { return m_stepUnderWay || !m_current.steps.empty() || !m_waiting.empty(); }

signals:
    // An announcement comes while nothing was announced or waiting; idle() follows its end.
    void begun();
    // The last step has ended and nothing waits.
    void idle();

private:
    struct Step {
        std::optional<QString> wave;
        std::optional<Announcement::Speech> speech;
    };
    // One alarm's steps, kept together so that cutting one never touches another.
    struct Steps {
        QString name;
        std::deque<Step> steps;
        bool test = false;
    };

    [[nodiscard]] static Steps stepsOf(const Announcement& announcement);
    // Cuts the announcement under way for a newer one (`by` names it in the journal).
    void cutCurrent(const char* by);
    // A real alarm came: test alarms that have not begun are dropped.
    void dropWaitingTests();
    void startNext();
    void onStepEnded();

    AppContext& m_ctx;
    AnnouncementOutput& m_output;
    // The announcement under way: its steps still to come.
    Steps m_current;
    // Whether m_current has begun, so that a newer station alarm cuts it.
    bool m_begun = false;
    // Announcements that have not begun, in the order they are to be heard.
    std::deque<Steps> m_waiting;
    bool m_stepUnderWay = false;
    bool m_stopping = false;
};
