// The connection to the chess server: name or dotted-quad lookup, connect, and sending.
#include "ics/connection.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "ics/game_state.h"
#include "ics/tokens.h"
#include "shell/exit_on.h"

namespace {

constexpr int kQuadNumbers = 4;

bool only_digits_and_points(const char* text)
{
    if (*text == 0)
        return false;
    for (; *text != 0; ++text)
        if (!is_digit(*text) && *text != '.')
            return false;
    return true;
}

// Reads "%d.%d.%d.%d" the way sscanf counts it: the number of leading numbers read, each kept
// as its low 8 bits (taken digit by digit, so no number can overflow).
int read_dotted_quad(const char* text, unsigned char (&bytes)[kQuadNumbers])
{
    int numbers = 0;
    while (numbers < kQuadNumbers) {
        if (numbers > 0) {
            if (*text != '.')
                break;
            ++text;
        }
        text = skip_white_space(text);
        bool negative = *text == '-';
        if (*text == '-' || *text == '+')
            ++text;
        if (!is_digit(*text))
            break;
        unsigned low_bits = 0;
        for (; is_digit(*text); ++text)
            low_bits = (low_bits * 10 + unsigned(*text - '0')) & 0xffu;
        bytes[numbers++] = (unsigned char)(negative ? (0x100u - low_bits) & 0xffu : low_bits);
    }
    return numbers;
}

// The address of host: a dotted quad read by read_dotted_quad, else the resolver's first IPv4
// address. A text of digits and points never goes to the resolver: glibc would read "1.2.3" as
// 1.2.0.3, and an impossible quad would cost a pointless name query.
bool find_address(const char* host, in_addr* address)
{
    if (!only_digits_and_points(host)) {
        const hostent* entry = gethostbyname(host);
        if (entry != nullptr && entry->h_addrtype == AF_INET &&
            entry->h_length == int(sizeof(address->s_addr)) && entry->h_addr_list[0] != nullptr) {
            memcpy(&address->s_addr, entry->h_addr_list[0], sizeof(address->s_addr));
            return true;
        }
    }
    unsigned char bytes[kQuadNumbers] = {};
    if (read_dotted_quad(host, bytes) < kQuadNumbers)
        return false;
    static_assert(sizeof(bytes) == sizeof(address->s_addr));
    memcpy(&address->s_addr, bytes, sizeof(bytes)); // network order: the bytes as written
    return true;
}

// icsFd 0 means "not connected", so a socket that came out as descriptor 0 is moved up.
int descriptor_above_zero(int fd)
{
    if (fd != 0)
        return fd;
    int moved = fcntl(fd, F_DUPFD, 1);
    close(fd);
    return moved;
}

// Writes all length bytes, going on after short writes, interruptions and a full send buffer.
// Returns false (errno set) when the descriptor fails.
bool write_all(int fd, const char* text, int length)
{
    while (length > 0) {
        ssize_t written = write(fd, text, size_t(length));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                pollfd writable = {fd, POLLOUT, 0};
                if (poll(&writable, 1, -1) < 0 && errno != EINTR)
                    return false;
                continue;
            }
            return false;
        }
        text += written;
        length -= int(written);
    }
    return true;
}

// SIGALRM is held off while a text is formatted and written; afterwards it is unblocked
// whatever the mask held before.
void change_alarm_mask(int how)
{
    sigset_t alarm_only;
    sigemptyset(&alarm_only);
    sigaddset(&alarm_only, SIGALRM);
    sigprocmask(how, &alarm_only, nullptr);
}

// Formats into text (text_bytes with its terminator); returns the length to send. A text that
// does not fit is cut and still ends its line.
int format_text(char* text, int text_bytes, const char* format, va_list arguments)
{
    int length = vsnprintf(text, size_t(text_bytes), format, arguments);
    if (length < 0)
        return 0;
    if (length >= text_bytes) {
        length = text_bytes - 1;
        text[length - 2] = '\r';
        text[length - 1] = '\n';
    }
    return length;
}

} // namespace

int OpenTCP(const char* host, int port)
{
    in_addr address{};
    if (!find_address(host, &address)) {
        ExitOn("Failed to resolve address.");
        return 0;
    }
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(uint16_t(port));
    server.sin_addr = address;

    int fd = descriptor_above_zero(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (fd < 0)
        return 0;
    if (connect(fd, reinterpret_cast<const sockaddr*>(&server), sizeof(server)) != 0) {
        close(fd);
        return 0;
    }
    return fd;
}

void SendToIcs(const char* format, ...)
{
    change_alarm_mask(SIG_BLOCK);
    char text[kSendBufferBytes];
    va_list arguments;
    va_start(arguments, format);
    int length = format_text(text, int(sizeof(text)), format, arguments);
    va_end(arguments);
    if (!write_all(icsFd, text, length))
        ExitOnSystemError("write to server");
    change_alarm_mask(SIG_UNBLOCK);
}

void bytezero(char* destination, int count)
{
    for (int i = 0; i < count; ++i)
        destination[i] = 0;
}

void bytecopy(char* destination, const char* source, int count)
{
    for (int i = 0; i < count; ++i)
        destination[i] = source[i];
}

void stringcopy(char* destination, const char* source, int count)
{
    bytecopy(destination, source, count);
    destination[count > 0 ? count : 0] = 0;
}

void stringcat(char* destination, const char* source, int count)
{
    stringcopy(destination + strlen(destination), source, count);
}
