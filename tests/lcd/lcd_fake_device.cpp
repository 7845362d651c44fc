// The fake front-panel LCD: interposed open, ioctl, write and close for the test_lcd executable.
#include "tests/lcd/lcd_fake_device.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include "lcd/device.h"

namespace fakelcd {

Device& device()
{
    static Device the_device;
    return the_device;
}

void reset()
{
    if (device().fd >= 0)
        close(device().fd);
    device() = Device{};
}

std::string requests_text()
{
    std::string out;
    for (const Request& r : device().requests) {
        out += (out.empty() ? "" : " ") + std::to_string(r.number);
        if (r.has_argument)
            out += "(" + std::to_string(r.argument) + ")";
    }
    return out;
}

} // namespace fakelcd

namespace {

template <typename Function> Function* real(const char* name)
{
    void* symbol = dlsym(RTLD_NEXT, name);
    if (symbol == nullptr)
        std::abort(); // the real function must exist; nothing sensible can follow
    return reinterpret_cast<Function*>(symbol);
}

bool is_device_path(const char* path)
{
    return path != nullptr && std::strcmp(path, kLcdDevicePath) == 0;
}

bool is_device_fd(int fd)
{
    return fd >= 0 && fd == fakelcd::device().fd;
}

int fail_with(int error)
{
    errno = error;
    return -1;
}

int open_device(int flags)
{
    fakelcd::Device& d = fakelcd::device();
    d.open_flags = flags;
    if (d.open_error != 0)
        return fail_with(d.open_error);
    static auto* real_open = real<int(const char*, int, ...)>("open");
    d.fd = real_open("/dev/null", O_RDWR | O_CLOEXEC);
    return d.fd;
}

int mode_argument(int flags, va_list args)
{
    return (flags & (O_CREAT | O_TMPFILE)) != 0 ? va_arg(args, int) : 0;
}

} // namespace

extern "C" {

int open(const char* path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    const int mode = mode_argument(flags, args);
    va_end(args);
    if (is_device_path(path))
        return open_device(flags);
    static auto* real_open = real<int(const char*, int, ...)>("open");
    return real_open(path, flags, mode);
}

int ioctl(int fd, unsigned long request, ...) noexcept
{
    va_list args;
    va_start(args, request);
    void* argument = va_arg(args, void*);
    va_end(args);
    if (!is_device_fd(fd)) {
        static auto* real_ioctl = real<int(int, unsigned long, ...)>("ioctl");
        return real_ioctl(fd, request, argument);
    }
    // The clear request carries no argument; only the frame-mode request's pointer is read.
    fakelcd::Device& d = fakelcd::device();
    const bool has_argument = request == kLcdRequestFrameMode && argument != nullptr;
    d.requests.push_back({request, has_argument, has_argument ? *static_cast<int*>(argument) : 0});
    if (request == kLcdRequestClear && d.clear_error != 0)
        return fail_with(d.clear_error);
    if (request == kLcdRequestFrameMode && d.frame_mode_error != 0)
        return fail_with(d.frame_mode_error);
    return 0;
}

ssize_t write(int fd, const void* data, size_t count)
{
    if (!is_device_fd(fd)) {
        static auto* real_write = real<ssize_t(int, const void*, size_t)>("write");
        return real_write(fd, data, count);
    }
    fakelcd::Device& d = fakelcd::device();
    const auto* bytes = static_cast<const unsigned char*>(data);
    d.frames.emplace_back(bytes, bytes + count);
    if (d.write_error != 0)
        return fail_with(d.write_error);
    return static_cast<ssize_t>(count);
}

int close(int fd)
{
    if (is_device_fd(fd)) {
        ++fakelcd::device().closes;
        fakelcd::device().fd = -1;
    }
    static auto* real_close = real<int(int)>("close");
    return real_close(fd);
}

} // extern "C"
