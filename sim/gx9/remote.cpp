// The remote control of libgx9: reads the box's two-byte key events from a non-blocking pipe
// or socket and reports them through actcode, realcode and doexit.
#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "host/gx9.h"
#include "sim/gx9/gx9_sim.h"

namespace {

// The descriptor given to RcInitialize (-1 while none); the host owns it, RcClose only forgets it.
int remote_fd = -1;

// Bytes read but not yet consumed: a partial record, or the record read ahead to see whether a
// release follows a press.
std::array<uint8_t, sizeof(gx9::RcEvent)> unread{};
size_t unread_count = 0;

// Makes sure at least `wanted` bytes are held, reading no more than that; false if they have
// not arrived yet (or the box closed its end).
bool hold_bytes(size_t wanted)
{
    while (unread_count < wanted) {
        const ssize_t got = read(remote_fd, unread.data() + unread_count, wanted - unread_count);
        if (got > 0) {
            unread_count += static_cast<size_t>(got);
            continue;
        }
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            std::fprintf(stderr, "RcGetActCode: read(%d): %s\n", remote_fd, std::strerror(errno));
        return false;
    }
    return true;
}

// The record at the front of the held bytes, if a whole one has arrived.
bool peek_event(gx9::RcEvent& event)
{
    if (!hold_bytes(sizeof(gx9::RcEvent)))
        return false;
    event = {unread[0], unread[1]};
    return true;
}

void drop_event()
{
    std::memmove(unread.data(), unread.data() + sizeof(gx9::RcEvent),
                 unread_count - sizeof(gx9::RcEvent));
    unread_count -= sizeof(gx9::RcEvent);
}

// EXIT asks the plugin to leave; a later restart in the same poll does not take that back.
void apply_press(uint8_t code)
{
    actcode = code;
    realcode = code;
    if (code == gx9::kCodeExit)
        doexit = 3;
}

void apply_restart()
{
    if (doexit != 3)
        doexit = 1;
}

} // namespace

extern "C" {

int RcInitialize(int fd)
{
    remote_fd = -1;
    unread_count = 0;
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0) {
        std::fprintf(stderr, "RcInitialize: fcntl(%d, F_GETFL): %s\n", fd, std::strerror(errno));
        return -1;
    }
    if (fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) {
        std::fprintf(stderr, "RcInitialize: fcntl(%d, F_SETFL): %s\n", fd, std::strerror(errno));
        return -1;
    }
    remote_fd = fd;
    return 0;
}

// Consumes events up to and including the first press, plus a release directly after it;
// everything later waits for the next poll. Unknown event types are skipped.
void RcGetActCode(void)
{
    if (remote_fd < 0)
        return;
    gx9::RcEvent event{};
    while (peek_event(event)) {
        drop_event();
        switch (event.type) {
        case gx9::kEventPress:
            apply_press(event.code);
            if (peek_event(event) && event.type == gx9::kEventRelease) {
                drop_event();
                realcode = gx9::kCodeNone;
            }
            return;
        case gx9::kEventRelease:
            realcode = gx9::kCodeNone;
            break;
        case gx9::kEventRestart:
            apply_restart();
            break;
        default:
            break;
        }
    }
}

void RcClose(void)
{
    remote_fd = -1;
    unread_count = 0;
}

} // extern "C"
