#include "app/DriveTimeLabel.h"

#include "alarm/Incident.h"

void DriveTimeLabel::follow(const Incident& incident)
{
    connect(&incident, &Incident::opened, this, &QLabel::clear);
    connect(&incident, &Incident::closed, this, &QLabel::clear);
    connect(&incident, &Incident::routed, this, [this, &incident](const std::optional<Route>& route) {
        if (route)
            setText(RouteText::summary(*route, incident.routeFactor()));
    });
}
