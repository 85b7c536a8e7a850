#ifndef VESK_MODEL_INTU_H
#define VESK_MODEL_INTU_H

// Interruption unit: turns SIGINT, SIGTERM and SIGHUP into a request that the
// run checks at safe points. A run that is asked to stop starts no new
// evaluation, ends the commands that are running, and finishes its files as a
// finished run would; a second signal ends the process at once.
namespace INTU {

// Installs the handlers (once per process) and the wake-up descriptor.
void Install();
// True once a signal has asked the run to stop.
bool Requested();
// The signal that asked for it (0 when none).
int Signal();
// A descriptor that becomes readable when a stop is requested, so that a
// thread waiting for a child process wakes at once (-1 before Install).
int WakeFd();
// Requests a stop as the handler does (tests, and a run that must end early).
void Request(int signal);
// Forgets a request (tests only).
void Reset();
// "SIGINT", "SIGTERM", "SIGHUP" or "signal N".
const char* SignalName(int signal);

} // namespace INTU

#endif
