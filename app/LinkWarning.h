#pragma once

#include "paths/PathStates.h"

#include <QDateTime>
#include <QLabel>
#include <QList>
#include <QTimer>

// The band that shows a dead link to the dispatch computer from across the room: once the link has
// been down for the set time, a broad red band across the window says since when; it goes the
// moment the link is up again. With several paths (dispatch hosts, the radio pager decoder) it
// names each path that has been down or silent for the set time.
class LinkWarning : public QLabel {
    Q_OBJECT

public:
    explicit LinkWarning(QWidget* parent);

    // The time the link may be down before the band shows; 0 never shows it.
    void setDelaySeconds(int seconds);
    // The paths' states, each with the time it changed: one dispatch host down alone reads "Keine
    // Verbindung zur Leitstelle seit 10:42".
    void setPaths(const QList<PathStates::Path>& paths);

    // Places the band across a window of this client size, in the middle of `area` when one is
    // given (the wall screen keeps it off the alarm's texts), else in the window's middle.
    void place(QSize client, const QRect& area = {});

private:
    // A path that is not as it should be: its text, with %1 for the time, and since when.
    struct Trouble {
        QString text;
        QDateTime since;
    };
    void setTroubles(const QList<Trouble>& troubles);
    void showBand();

    int m_delaySeconds = 0;
    QList<Trouble> m_troubles;
    QTimer m_delay;
};
