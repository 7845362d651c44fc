// Recording signal handlers and their deferred reports.
#include "shell/signals.h"

#include <csignal>

#include "shell/exit_on.h"

namespace {

volatile sig_atomic_t terminate_pending;
volatile sig_atomic_t broken_pipe_pending;

struct SavedDisposition {
    int signal_number;
    struct sigaction previous;
    bool saved;
};

SavedDisposition saved_dispositions[] = {
    {SIGINT, {}, false},
    {SIGTERM, {}, false},
    {SIGPIPE, {}, false},
};

void install(SavedDisposition& entry, void (*handler)(int))
{
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    // The interrupted work goes on: reads, writes and a connect in progress are restarted.
    // select and poll still end with EINTR, which the loops take as a shortened wait.
    action.sa_flags = SA_RESTART;
    entry.saved = sigaction(entry.signal_number, &action, &entry.previous) == 0;
}

} // namespace

void TerminateProc(int)
{
    terminate_pending = 1;
}

void BrokenPipe(int)
{
    broken_pipe_pending = 1;
}

void install_signal_handlers()
{
    for (SavedDisposition& entry : saved_dispositions)
        install(entry, entry.signal_number == SIGPIPE ? BrokenPipe : TerminateProc);
}

void restore_signal_handlers()
{
    for (SavedDisposition& entry : saved_dispositions) {
        if (entry.saved)
            sigaction(entry.signal_number, &entry.previous, nullptr);
        entry.saved = false;
    }
}

void report_pending_signals()
{
    if (terminate_pending) {
        terminate_pending = 0;
        ExitOn("Got SIGINT/SIGTERM signal");
    }
    if (broken_pipe_pending) {
        broken_pipe_pending = 0;
        ExitOn("Got SIGPIPE signal");
    }
}
