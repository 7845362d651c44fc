// The recording host of test_shell: interposed device, file, socket and host-library calls.
#include "tests/shell/shell_host_fakes.h"

#include <arpa/inet.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host/gx9.h"
#include "lcd/device.h"
#include "shell/config.h"

namespace shellfakes {

Host& host()
{
    // Never destroyed: descriptors are still closed after static destructors have run.
    static Host& the_host = *new Host;
    return the_host;
}

void reset()
{
    if (host().lcd_fd >= 0)
        close(host().lcd_fd);
    host() = Host{};
}

std::vector<std::string> events_starting(const std::string& prefix)
{
    std::vector<std::string> found;
    for (const std::string& e : host().events)
        if (e.compare(0, prefix.size(), prefix) == 0)
            found.push_back(e);
    return found;
}

std::string events_text()
{
    std::string text;
    for (const std::string& e : host().events)
        text += (text.empty() ? "" : ", ") + e;
    return text;
}

} // namespace shellfakes

namespace {

using shellfakes::host;

template <typename Function> Function* real(const char* name)
{
    void* symbol = dlsym(RTLD_NEXT, name);
    if (symbol == nullptr)
        std::abort(); // the real function must exist; nothing sensible can follow
    return reinterpret_cast<Function*>(symbol);
}

void log(const std::string& event)
{
    host().events.push_back(event);
}

std::string numbers(std::initializer_list<int> values)
{
    std::string text;
    for (int v : values)
        text += (text.empty() ? "" : " ") + std::to_string(v);
    return text;
}

bool is_path(const char* path, const char* wanted)
{
    return path != nullptr && std::strcmp(path, wanted) == 0;
}

bool is_lcd_fd(int fd)
{
    return fd >= 0 && fd == host().lcd_fd;
}

int peer_port(int fd)
{
    sockaddr_in peer{};
    socklen_t size = sizeof peer;
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &size) != 0 ||
        peer.sin_family != AF_INET)
        return -1;
    return ntohs(peer.sin_port);
}

bool is_watched_connection(int fd)
{
    return host().watched_port != 0 && peer_port(fd) == host().watched_port;
}

int watched_connections()
{
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    const int highest = static_cast<int>(limit.rlim_cur < 4096 ? limit.rlim_cur : 4096);
    int count = 0;
    for (int fd = 0; fd < highest; ++fd)
        count += is_watched_connection(fd);
    return count;
}

int fail_with(int error)
{
    errno = error;
    return -1;
}

} // namespace

extern "C" {

// ---- The LCD device -----------------------------------------------------------------------------

int open(const char* path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    const int mode = (flags & (O_CREAT | O_TMPFILE)) != 0 ? va_arg(args, int) : 0;
    va_end(args);
    static auto* real_open = real<int(const char*, int, ...)>("open");
    if (!is_path(path, kLcdDevicePath))
        return real_open(path, flags, mode);
    log("lcd open");
    host().lcd_fd = real_open("/dev/null", O_RDWR | O_CLOEXEC);
    return host().lcd_fd;
}

int ioctl(int fd, unsigned long request, ...) noexcept
{
    va_list args;
    va_start(args, request);
    void* argument = va_arg(args, void*);
    va_end(args);
    if (!is_lcd_fd(fd)) {
        static auto* real_ioctl = real<int(int, unsigned long, ...)>("ioctl");
        return real_ioctl(fd, request, argument);
    }
    log("lcd " + std::to_string(request));
    return 0;
}

ssize_t write(int fd, const void* data, size_t count)
{
    if (is_lcd_fd(fd)) {
        ++host().lcd_frames;
        return static_cast<ssize_t>(count);
    }
    static auto* real_write = real<ssize_t(int, const void*, size_t)>("write");
    return real_write(fd, data, count);
}

int close(int fd)
{
    if (is_lcd_fd(fd)) {
        log("lcd close");
        host().lcd_fd = -1;
    } else if (is_watched_connection(fd)) {
        log("close connection");
    }
    static auto* real_close = real<int(int)>("close");
    return real_close(fd);
}

// ---- The configuration file and the server connection ---------------------------------------

FILE* fopen(const char* path, const char* mode)
{
    static auto* real_fopen = real<FILE*(const char*, const char*)>("fopen");
    if (!is_path(path, kConfigPath))
        return real_fopen(path, mode);
    log("config open");
    const char* text = host().config_text;
    if (text == nullptr) {
        errno = ENOENT;
        return nullptr;
    }
    return fmemopen(const_cast<char*>(text), std::strlen(text), mode);
}

int connect(int fd, const sockaddr* address, socklen_t size)
{
    const auto* inet = reinterpret_cast<const sockaddr_in*>(address);
    if (address != nullptr && address->sa_family == AF_INET && host().watched_port != 0 &&
        ntohs(inet->sin_port) == host().watched_port) {
        host().connected_at_connect.push_back(watched_connections());
        log("connect");
    }
    static auto* real_connect = real<int(int, const sockaddr*, socklen_t)>("connect");
    return real_connect(fd, address, size);
}

// ---- The host library -----------------------------------------------------------------------

int FBInitialize(int width, int height, int depth, int fd)
{
    log("FBInitialize(" + std::to_string(fd) + ")");
    if (host().refuse_framebuffer)
        return -1;
    if (host().pretend_framebuffer)
        return 0;
    static auto* real_init = real<int(int, int, int, int)>("FBInitialize");
    return real_init(width, height, depth, fd);
}

void FBClose(void)
{
    log("FBClose");
    static auto* real_close_fb = real<void()>("FBClose");
    real_close_fb();
}

int RcInitialize(int fd)
{
    log("RcInitialize(" + std::to_string(fd) + ")");
    if (host().refuse_remote)
        return fail_with(EBADF);
    static auto* real_init = real<int(int)>("RcInitialize");
    return real_init(fd);
}

void RcClose(void)
{
    log("RcClose");
    static auto* real_close_rc = real<void()>("RcClose");
    real_close_rc();
}

void Gx9ShowPig(int x, int y, int width, int height)
{
    log("ShowPig(" + numbers({x, y, width, height}) + ")");
    static auto* real_show = real<void(int, int, int, int)>("Gx9ShowPig");
    real_show(x, y, width, height);
}

void Gx9StopPig(void)
{
    log("StopPig");
    static auto* real_stop = real<void()>("Gx9StopPig");
    real_stop();
}

void FBDrawRect(int x, int y, int width, int height, unsigned char color)
{
    if (host().log_rectangles)
        log("rect " + numbers({x, y, width, height, color}));
    static auto* real_rect = real<void(int, int, int, int, unsigned char)>("FBDrawRect");
    real_rect(x, y, width, height, color);
}

void FBFillRect(int x, int y, int width, int height, unsigned char color)
{
    if (host().log_rectangles)
        log("fill " + numbers({x, y, width, height, color}));
    static auto* real_fill = real<void(int, int, int, int, unsigned char)>("FBFillRect");
    real_fill(x, y, width, height, color);
}

} // extern "C"
