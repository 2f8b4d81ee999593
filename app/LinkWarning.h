#pragma once

#include <QDateTime>
#include <QLabel>
#include <QTimer>

// The band that shows a dead link to the dispatch computer from across the room: once the link has
// been down for the set time, a broad red band across the window says since when; it goes the
// moment the link is up again.
class LinkWarning : public QLabel {
    Q_OBJECT

public:
    explicit LinkWarning(QWidget* parent);

    // The time the link may be down before the band shows; 0 never shows it.
    void setDelaySeconds(int seconds);
    // The link's status: up (registered) or down. The first call with down starts the clock.
    void linkStatus(bool connected);

    // Places the band across a window of this client size, in the middle of `area` when one is
    // given (the wall screen keeps it off the alarm's texts), else in the window's middle.
    void place(QSize client, const QRect& area = {});

private:
    void showBand();

    int m_delaySeconds = 0;
    bool m_down = false; // told down since it was last up (or since it was made)
    QDateTime m_downSince;
    QTimer m_delay;
};
