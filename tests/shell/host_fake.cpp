// The recording host of test_shell: interposed device, file and host-library calls.
#include "tests/shell/host_fake.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "lcd/device.h"
#include "shell/config.h"

namespace hostfake {

Host& host()
{
    static Host& the_host = *new Host; // never destroyed: descriptors close after static dtors
    return the_host;
}

void reset()
{
    if (host().lcd_fd >= 0)
        close(host().lcd_fd);
    host() = Host{};
}

std::vector<std::string> events(const std::string& prefix)
{
    std::vector<std::string> found;
    for (const std::string& e : host().events)
        if (e.starts_with(prefix))
            found.push_back(e);
    return found;
}

std::string events_text()
{
    std::string text;
    for (const std::string& e : host().events)
        text += e + ", ";
    return text;
}

} // namespace hostfake

namespace {

template <typename Function> Function* real(const char* name)
{
    void* symbol = dlsym(RTLD_NEXT, name);
    if (symbol == nullptr)
        std::abort(); // the real function must exist; nothing sensible can follow
    return reinterpret_cast<Function*>(symbol);
}

void log(const std::string& event)
{
    hostfake::host().events.push_back(event);
}

} // namespace

extern "C" {

int open(const char* path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    const int mode = (flags & (O_CREAT | O_TMPFILE)) != 0 ? va_arg(args, int) : 0;
    va_end(args);
    static auto* real_open = real<int(const char*, int, ...)>("open");
    if (strcmp(path, kLcdDevicePath) != 0)
        return real_open(path, flags, mode);
    log("lcd open");
    return hostfake::host().lcd_fd = real_open("/dev/null", O_RDWR | O_CLOEXEC);
}

int ioctl(int fd, unsigned long request, ...) noexcept
{
    va_list args;
    va_start(args, request);
    void* argument = va_arg(args, void*);
    va_end(args);
    static auto* real_ioctl = real<int(int, unsigned long, ...)>("ioctl");
    if (fd < 0 || fd != hostfake::host().lcd_fd)
        return real_ioctl(fd, request, argument);
    log("lcd " + std::to_string(request));
    return 0;
}

ssize_t write(int fd, const void* data, size_t count)
{
    static auto* real_write = real<ssize_t(int, const void*, size_t)>("write");
    return fd >= 0 && fd == hostfake::host().lcd_fd ? ssize_t(count) : real_write(fd, data, count);
}

int close(int fd)
{
    if (fd >= 0 && fd == hostfake::host().lcd_fd)
        log("lcd close"), hostfake::host().lcd_fd = -1;
    static auto* real_close = real<int(int)>("close");
    return real_close(fd);
}

FILE* fopen(const char* path, const char* mode)
{
    static auto* real_fopen = real<FILE*(const char*, const char*)>("fopen");
    if (strcmp(path, kConfigPath) != 0)
        return real_fopen(path, mode);
    log("config open");
    errno = ENOENT;
    const char* text = hostfake::host().config_text;
    return text ? fmemopen(const_cast<char*>(text), strlen(text), mode) : nullptr;
}

int FBInitialize(int width, int height, int depth, int fd)
{
    log("FBInitialize(" + std::to_string(fd) + ")");
    static auto* real_init = real<int(int, int, int, int)>("FBInitialize");
    if (hostfake::host().refuse_framebuffer || hostfake::host().pretend_framebuffer)
        return hostfake::host().refuse_framebuffer ? -1 : 0;
    return real_init(width, height, depth, fd);
}

int RcInitialize(int fd)
{
    log("RcInitialize(" + std::to_string(fd) + ")");
    static auto* real_init = real<int(int)>("RcInitialize");
    return hostfake::host().refuse_remote ? -1 : real_init(fd);
}

} // extern "C"
