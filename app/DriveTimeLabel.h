#pragma once

#include <QLabel>

class Incident;

// "Anfahrt 4 min · 3,6 km" in the top bar: the live incident's drive time and distance once its
// route is known; empty for a new incident, a failed route or a cleared screen.
class DriveTimeLabel : public QLabel {
    Q_OBJECT

public:
    using QLabel::QLabel;

    void follow(const Incident& incident);
};
