// Shared by the ics, shell and dialogs tests: the chess server's end of a real socketpair whose
// other end is the plugin's icsFd, a loopback listener, and the telnet window's records.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>
#include <tuple>

#include <gtest/gtest.h>

#include "ics/game_state.h"
#include "panels/telnet.h"

namespace testutil {

// `ours` is the plugin's end (icsFd unless told otherwise), `theirs` the server's. Both are
// closed at the end, and icsFd is 0 again if it was ours.
struct ServerEnd {
    int ours = -1, theirs = -1;
    explicit ServerEnd(bool as_ics_fd = true)
    {
        int fds[2];
        EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0) << strerror(errno);
        ours = fds[0], theirs = fds[1];
        icsFd = as_ics_fd ? ours : icsFd;
    }
    ~ServerEnd()
    {
        icsFd = icsFd == ours ? 0 : icsFd;
        hang_up(ours), hang_up(theirs);
    }
    static void hang_up(int& fd) { fd = fd >= 0 ? close(fd), -1 : fd; }
    void send(std::string_view bytes) const
    {
        EXPECT_EQ(write(theirs, bytes.data(), bytes.size()), ssize_t(bytes.size())) << strerror(errno);
    }
    // What the plugin sent: with wanted 0 what is waiting now (sending is synchronous), else
    // until wanted bytes arrived or none came for two seconds.
    std::string received(size_t wanted = 0) const
    {
        std::string got;
        char chunk[4096];
        for (pollfd in = {theirs, POLLIN, 0}; wanted == 0 || got.size() < wanted;) {
            const int ready = poll(&in, 1, got.size() < wanted ? 2000 : 0);
            const ssize_t n = ready > 0 ? read(theirs, chunk, sizeof chunk) : 0;
            if (n <= 0 && !(ready < 0 && errno == EINTR))
                break;
            got.append(chunk, size_t(n > 0 ? n : 0));
        }
        return got;
    }
};

// A TCP listener on 127.0.0.1 with a port of the system's choosing.
struct Listener {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0), port = 0;
    Listener()
    {
        sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
        socklen_t length = sizeof address;
        EXPECT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), length) + listen(fd, 8), 0);
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
        port = ntohs(address.sin_port);
    }
    ~Listener() { close(fd); }
    // Everything the next waiting connection sent until it was closed ("+open" if it is not).
    std::string next_connection_text() const
    {
        ServerEnd connection(false);
        hang_up_and_take(connection.theirs, accept4(fd, nullptr, nullptr, SOCK_CLOEXEC));
        const std::string text = connection.received(1 << 20); // up to the end of the stream
        char byte;
        return text + (recv(connection.theirs, &byte, 1, MSG_DONTWAIT) == 0 ? "" : "+open");
    }
    static void hang_up_and_take(int& fd, int other) { ServerEnd::hang_up(fd), fd = other; }
};

// A telnet record: its text (up to its first zero byte), ink and paper. Age 0 is the newest.
using Shown = std::tuple<std::string, int, int>;
inline Shown shown(int age)
{
    const TelnetLine& line = from_fics[kTelnetLines - 1 - age];
    return {std::string(line.text, strnlen(line.text, sizeof line.text)), line.ink, line.paper};
}
inline std::string telnet_text() // the whole window, for failure messages
{
    char dump[kTelnetLines * 100];
    telnet_dump(dump, sizeof dump);
    return std::string("telnet window:\n") + dump;
}

} // namespace testutil
