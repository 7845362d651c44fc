// ExitOn and ExitOnSystemError: a white-on-red telnet line and a pause with select.
#include "shell/exit_on.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/select.h>

#include "panels/telnet.h"

long exit_on_pause_usec = 2000000;

namespace {

// Sleeps in a select on no descriptors; a signal may cut the pause short.
void pause_after_message()
{
    timeval timeout{};
    timeout.tv_sec = exit_on_pause_usec / 1000000;
    timeout.tv_usec = exit_on_pause_usec % 1000000;
    select(0, nullptr, nullptr, nullptr, &timeout);
}

void show_and_pause(const char* line)
{
    add_to_telnet(line, kExitOnInk, kExitOnPaper);
    pause_after_message();
}

} // namespace

void ExitOn(const char* message)
{
    const int saved_errno = errno;
    char line[kExitOnMaxChars + 1];
    if (message)
        snprintf(line, sizeof line, "%s", message);
    else
        snprintf(line, sizeof line, "Error: %s", strerror(saved_errno));
    show_and_pause(line);
    errno = saved_errno;
}

void ExitOnSystemError(const char* what)
{
    const int saved_errno = errno;
    char line[kExitOnMaxChars + 1];
    snprintf(line, sizeof line, "%s: %s", what ? what : "Error", strerror(saved_errno));
    show_and_pause(line);
    errno = saved_errno;
}
