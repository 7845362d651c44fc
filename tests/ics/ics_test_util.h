// Shared helpers of the server-connection tests: socket pairs, reading what arrived at the other
// end, recorded lines, and the telnet window's newest records.
#pragma once

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ics/game_state.h"
#include "panels/telnet.h"

namespace icstest {

// Two connected stream sockets; both closed at the end.
struct SocketPair {
    int ours = -1;   // the plugin's end (icsFd, or the descriptor ProcessRawInput reads)
    int theirs = -1; // the server's end
    SocketPair()
    {
        int fds[2];
        if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0)
            ADD_FAILURE() << "socketpair: " << strerror(errno);
        ours = fds[0];
        theirs = fds[1];
    }
    ~SocketPair()
    {
        close_ours();
        close_theirs();
    }
    void close_ours()
    {
        if (ours >= 0)
            close(ours);
        ours = -1;
    }
    void close_theirs()
    {
        if (theirs >= 0)
            close(theirs);
        theirs = -1;
    }
    SocketPair(const SocketPair&) = delete;
    SocketPair& operator=(const SocketPair&) = delete;
};

inline void send_bytes(int fd, const std::string& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        ASSERT_GT(n, 0) << "write: " << strerror(errno);
        done += size_t(n);
    }
}

// Reads until wanted bytes have arrived or nothing arrives for timeout_ms.
inline std::string receive(int fd, size_t wanted, int timeout_ms = 2000)
{
    std::string got;
    char chunk[4096];
    while (got.size() < wanted) {
        pollfd readable = {fd, POLLIN, 0};
        int ready = poll(&readable, 1, timeout_ms);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            break;
        ssize_t n = read(fd, chunk, std::min(sizeof(chunk), wanted - got.size()));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got.append(chunk, size_t(n));
    }
    return got;
}

// Whatever is waiting on fd now, without blocking.
inline std::string receive_pending(int fd)
{
    std::string got;
    char chunk[4096];
    for (;;) {
        pollfd readable = {fd, POLLIN, 0};
        if (poll(&readable, 1, 0) <= 0)
            return got;
        ssize_t n = read(fd, chunk, sizeof(chunk));
        if (n <= 0)
            return got;
        got.append(chunk, size_t(n));
    }
}

struct Shown {
    std::string text;
    int ink;
    int paper;
    bool operator==(const Shown&) const = default;
};
inline std::ostream& operator<<(std::ostream& out, const Shown& shown)
{
    return out << '"' << shown.text << "\" ink " << shown.ink << " paper " << shown.paper;
}

// Telnet record age 0 is the newest (record 27), 1 the one before it, and so on.
inline Shown shown(int age)
{
    const TelnetLine& line = from_fics[kTelnetLines - 1 - age];
    return {std::string(line.text, strnlen(line.text, sizeof(line.text))), line.ink, line.paper};
}

inline std::string telnet_dump_text()
{
    char dump[kTelnetLines * 100];
    telnet_dump(dump, sizeof(dump));
    return dump;
}

} // namespace icstest
