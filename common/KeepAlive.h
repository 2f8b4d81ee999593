#pragma once

// A step that blocks the event loop for long but keeps working (a sound played to its end) beats
// now and then, so that a service watchdog does not take it for a hang. The main program sets what
// a beat does; until then a beat does nothing.
namespace KeepAlive {

void setBeat(void (*beat)());
void beat();

} // namespace KeepAlive
