#pragma once

#include "alarm/AlarmHandler.h"

#include <QObject>

class AlarmCore;

// A screen in the vehicle hall (display.ini privacy=1), which visitors and passers-by can read:
// the window's controls never keep the informant, the remark or the pager holders' names. The
// alarm handler fills them as always; this takes them out again before anything is painted.
class HallPrivacy : public QObject {
    Q_OBJECT

public:
    // Connect after the alarm handler, so that this runs after it. The controls must outlive this.
    HallPrivacy(AlarmCore& core, const AlarmControls& controls, QObject* parent = nullptr);

private:
    void clearAlarm();
    // The pager holders' names in the pager grid's rows `from` to `to`.
    void clearNames(int from, int to);

    AlarmControls m_controls;
};
