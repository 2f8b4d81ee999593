#pragma once

#include <chrono>

class QProcess;

#include <sys/types.h>

// Ending a helper program together with everything it started. The program is started in a process
// group of its own (setpgid(0, 0) in the child), whose id is its process id.

// Readies a helper program before its start: no pipes to it (nothing it prints is kept, so a
// program that writes without end cannot fill the monitor's memory) and a process group of its own.
void DetachIntoOwnGroup(QProcess& process);

// Whether a process of the group is still running. Members that have ended but wait to be reaped
// do not count: they take no signal any more.
[[nodiscard]] bool ProcessGroupAlive(pid_t group);

// SIGTERM to the group now, SIGKILL to what is left of it after `grace`. Returns at once: the
// SIGKILL is sent from the calling thread's event loop.
void EndProcessGroup(pid_t group, std::chrono::milliseconds grace);

// The same for a program that is ending, whose event loop turns no more: waits here, at most
// `grace`, for the group to go before the SIGKILL, and a moment after it.
void EndProcessGroupAndWait(pid_t group, std::chrono::milliseconds grace);
