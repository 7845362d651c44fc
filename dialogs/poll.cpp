// The polling steps every modal dialog repeats: wait for release, pause, poll the remote once.
#include "dialogs/poll.h"

#include <sys/select.h>

#include "host/gx9.h"
#include "shell/screen_mode.h"
#include "shell/signals.h"

void dialog_pause(int usec)
{
    if (usec < 0)
        usec = 0;
    timeval pause{};
    pause.tv_sec = usec / 1000000;
    pause.tv_usec = usec % 1000000;
    // EINTR only shortens the pause; there is nothing to retry.
    select(0, nullptr, nullptr, nullptr, &pause);
    // A dialog's poll is a safe point for the reports of signals that arrived meanwhile.
    report_pending_signals();
}

bool dialog_wait_release()
{
    while (realcode != kKeyNone) {
        if (doexit != 0)
            return false;
        RcGetActCode();
    }
    return doexit == 0;
}

bool dialog_next_key(unsigned short cleared)
{
    actcode = cleared;
    if (!dialog_wait_release())
        return false;
    dialog_pause(tv_tv_usec);
    actcode = cleared;
    RcGetActCode();
    return doexit == 0;
}
