// The box's file system: the configuration file and the LCD device, served by interposing libc.
#undef _FORTIFY_SOURCE
#include "sim/boxsim/box_fs.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <mutex>

namespace boxsim {
namespace {

// ---- Which path is which ----------------------------------------------------------------------

enum class BoxPath { Other, Config, Lcd, Missing };

bool names_box_directory(std::string_view path)
{
    return path.find("mirlon") != std::string_view::npos ||
           path.find("omra") != std::string_view::npos;
}

bool is_inside(std::string_view path, std::string_view dir)
{
    return path == dir ||
           (path.size() > dir.size() && path.starts_with(dir) && path[dir.size()] == '/');
}

// Only absolute paths that mention a box directory are examined further, so the paths of the
// rest of the process cost one substring search.
BoxPath classify(const char* path)
{
    if (path == nullptr || path[0] != '/' || !names_box_directory(path))
        return BoxPath::Other;
    const std::string normal = std::filesystem::path(path).lexically_normal().string();
    if (normal == kConfigPath)
        return BoxPath::Config;
    if (normal == kLcdPath)
        return BoxPath::Lcd;
    if (is_inside(normal, "/var/mirlon") || is_inside(normal, "/dev/omra"))
        return BoxPath::Missing;
    return BoxPath::Other;
}

// ---- The real libc functions ------------------------------------------------------------------

using OpenFn = int (*)(const char*, int, ...);
using OpenatFn = int (*)(int, const char*, int, ...);
using Open2Fn = int (*)(const char*, int);
using Openat2Fn = int (*)(int, const char*, int);
using FopenFn = FILE* (*)(const char*, const char*);
using IoctlFn = int (*)(int, unsigned long, ...);
using WriteFn = ssize_t (*)(int, const void*, size_t);
using CloseFn = int (*)(int);

// The definition that comes after ours in the lookup order (libc's, or a sanitizer's wrapper of
// it), found on first use. Constant-initialised, so usable before main starts.
struct NextDefinition {
    const char* name;
    std::atomic<void*> address{nullptr};
};

template <typename Fn> Fn resolve(NextDefinition& next)
{
    void* address = next.address.load(std::memory_order_acquire);
    if (address == nullptr) {
        address = dlsym(RTLD_NEXT, next.name);
        next.address.store(address, std::memory_order_release);
    }
    if (address == nullptr)
        errno = ENOSYS;
    return reinterpret_cast<Fn>(address);
}

NextDefinition next_fopen{"fopen"}, next_fopen64{"fopen64"}, next_open{"open"},
    next_open64{"open64"}, next_open_2{"__open_2"}, next_open64_2{"__open64_2"},
    next_openat{"openat"}, next_openat64{"openat64"}, next_openat_2{"__openat_2"},
    next_openat64_2{"__openat64_2"}, next_ioctl{"ioctl"}, next_write{"write"}, next_close{"close"};

// Calls the next definition of an interposed function; `failed` when there is none (errno
// ENOSYS).
template <typename Fn, typename Result, typename... Args>
Result call_next(NextDefinition& next, Result failed, Args... args)
{
    const auto fn = resolve<Fn>(next);
    return fn != nullptr ? fn(args...) : failed;
}

int real_close(int fd)
{
    return call_next<CloseFn>(next_close, -1, fd);
}

ssize_t real_write(int fd, const void* data, size_t size)
{
    return call_next<WriteFn>(next_write, ssize_t{-1}, fd, data, size);
}

// ---- The configuration file -------------------------------------------------------------------

std::mutex config_mutex;
std::optional<std::string> config_text; // written by set_config

bool opens_for_writing(int flags)
{
    return (flags & O_ACCMODE) != O_RDONLY || (flags & (O_CREAT | O_TRUNC | O_APPEND)) != 0;
}

int write_all(int fd, const char* data, size_t size)
{
    while (size > 0) {
        const ssize_t n = real_write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return -1;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return 0;
}

// A new anonymous memory file standing for a box path opened with `flags`: neither box file is
// a directory.
int memory_file(const char* name, int flags)
{
    if (flags & O_DIRECTORY) {
        errno = ENOTDIR;
        return -1;
    }
    return memfd_create(name, (flags & O_CLOEXEC) ? MFD_CLOEXEC : 0);
}

// A fresh memory file holding the configuration text, positioned at its start.
int open_config(int flags)
{
    std::lock_guard lock(config_mutex);
    if (!config_text) {
        errno = opens_for_writing(flags) ? EROFS : ENOENT;
        return -1;
    }
    if (opens_for_writing(flags)) {
        errno = EROFS;
        return -1;
    }
    const int fd = memory_file("vitrel3.cfg", flags);
    if (fd < 0)
        return -1;
    if (write_all(fd, config_text->data(), config_text->size()) != 0 ||
        lseek(fd, 0, SEEK_SET) != 0) {
        const int saved = errno;
        real_close(fd);
        errno = saved;
        return -1;
    }
    return fd;
}

// ---- The LCD device ---------------------------------------------------------------------------

// Descriptors handed out for the LCD, stored as fd + 1 so that zero (static initialisation,
// before any constructor runs) means a free slot. Lookups take no lock: write() of every
// descriptor in the process passes through here.
constexpr int kMaxLcdDescriptors = 16;
std::atomic<int> lcd_slots[kMaxLcdDescriptors];
std::atomic<int> lcd_slots_used;

std::mutex lcd_mutex;
LcdState lcd; // written by the interposed calls below, under lcd_mutex

bool is_lcd_descriptor(int fd)
{
    if (fd < 0 || lcd_slots_used.load(std::memory_order_acquire) == 0)
        return false;
    for (const auto& slot : lcd_slots)
        if (slot.load(std::memory_order_acquire) == fd + 1)
            return true;
    return false;
}

bool track_lcd_descriptor(int fd)
{
    for (auto& slot : lcd_slots) {
        int expected = 0;
        if (slot.compare_exchange_strong(expected, fd + 1)) {
            lcd_slots_used.fetch_add(1);
            return true;
        }
    }
    return false;
}

bool untrack_lcd_descriptor(int fd)
{
    for (auto& slot : lcd_slots) {
        int expected = fd + 1;
        if (slot.compare_exchange_strong(expected, 0)) {
            lcd_slots_used.fetch_sub(1);
            return true;
        }
    }
    return false;
}

// A unique descriptor number that no other file owns: an empty memory file. Reading it gives
// end of file; writes never reach it, the device takes them.
int open_lcd(int flags)
{
    const int fd = memory_file("omra-lcd0", flags);
    if (fd < 0)
        return -1;
    if (!track_lcd_descriptor(fd)) {
        real_close(fd);
        errno = EMFILE;
        return -1;
    }
    std::lock_guard lock(lcd_mutex);
    ++lcd.open_descriptors;
    return fd;
}

int lcd_request(unsigned long request, void* argument)
{
    std::lock_guard lock(lcd_mutex);
    if (request == kLcdRequestClear) {
        lcd.frame.fill(0);
        ++lcd.clears;
        ++lcd.generation;
        return 0;
    }
    if (request == kLcdRequestMode) {
        if (argument == nullptr) {
            ++lcd.refused;
            errno = EFAULT;
            return -1;
        }
        int mode;
        std::memcpy(&mode, argument, sizeof mode);
        if (mode != kLcdFrameMode) {
            ++lcd.refused;
            errno = EINVAL;
            return -1;
        }
        lcd.frame_mode = true;
        ++lcd.mode_requests;
        return 0;
    }
    ++lcd.refused;
    errno = ENOTTY;
    return -1;
}

ssize_t lcd_write(const void* data, size_t size)
{
    std::lock_guard lock(lcd_mutex);
    if (data == nullptr) {
        ++lcd.refused;
        errno = EFAULT;
        return -1;
    }
    if (size != lcd.frame.size() || !lcd.frame_mode) {
        ++lcd.refused;
        errno = EINVAL;
        return -1;
    }
    std::memcpy(lcd.frame.data(), data, size);
    ++lcd.frames;
    ++lcd.generation;
    return static_cast<ssize_t>(size);
}

void lcd_closed()
{
    std::lock_guard lock(lcd_mutex);
    --lcd.open_descriptors;
}

// ---- Stdio on the two paths -------------------------------------------------------------------

bool mode_writes(const char* mode)
{
    return mode == nullptr || mode[0] != 'r' || std::strchr(mode, '+') != nullptr;
}

ssize_t lcd_cookie_write(void* cookie, const char* data, size_t size)
{
    (void)cookie;
    const ssize_t n = lcd_write(data, size);
    return n < 0 ? 0 : n; // stdio takes 0 as the error
}

int lcd_cookie_close(void* cookie)
{
    return close(static_cast<int>(reinterpret_cast<intptr_t>(cookie)));
}

// The LCD as a FILE: unbuffered, so each fwrite of a frame is one device write.
FILE* fopen_lcd(const char* mode)
{
    const int fd = open_lcd(O_RDWR);
    if (fd < 0)
        return nullptr;
    cookie_io_functions_t io{};
    io.write = lcd_cookie_write;
    io.close = lcd_cookie_close;
    FILE* file = fopencookie(reinterpret_cast<void*>(static_cast<intptr_t>(fd)), mode, io);
    if (file == nullptr) {
        const int saved = errno;
        close(fd);
        errno = saved;
        return nullptr;
    }
    setvbuf(file, nullptr, _IONBF, 0);
    return file;
}

FILE* fopen_box(BoxPath which, const char* mode)
{
    switch (which) {
    case BoxPath::Config: {
        const int fd = open_config(mode_writes(mode) ? O_WRONLY : O_RDONLY);
        if (fd < 0)
            return nullptr;
        FILE* file = fdopen(fd, "r");
        if (file == nullptr) {
            const int saved = errno;
            close(fd);
            errno = saved;
        }
        return file;
    }
    case BoxPath::Lcd:
        return fopen_lcd(mode);
    case BoxPath::Missing:
        errno = mode_writes(mode) ? EROFS : ENOENT;
        return nullptr;
    case BoxPath::Other:
        break;
    }
    errno = EINVAL;
    return nullptr;
}

int open_box(BoxPath which, int flags)
{
    switch (which) {
    case BoxPath::Config:
        return open_config(flags);
    case BoxPath::Lcd:
        return open_lcd(flags);
    case BoxPath::Missing:
        errno = (flags & O_CREAT) ? EROFS : ENOENT;
        return -1;
    case BoxPath::Other:
        break;
    }
    errno = EINVAL;
    return -1;
}

mode_t mode_argument(int flags, va_list args)
{
    return (flags & (O_CREAT | O_TMPFILE)) ? static_cast<mode_t>(va_arg(args, int)) : 0;
}

// The open family: a box path is opened here; any other path goes to the next definition of
// the same name with the caller's own arguments.
template <typename Fn, typename... Args>
int open_path(NextDefinition& next, const char* path, int flags, Args... args)
{
    const BoxPath which = classify(path);
    return which != BoxPath::Other ? open_box(which, flags) : call_next<Fn>(next, -1, args...);
}

FILE* fopen_path(NextDefinition& next, const char* path, const char* mode)
{
    const BoxPath which = classify(path);
    if (which != BoxPath::Other)
        return fopen_box(which, mode);
    return call_next<FopenFn>(next, static_cast<FILE*>(nullptr), path, mode);
}

} // namespace

bool lcd_pixel_lit(const LcdFrame& frame, int x, int y)
{
    if (x < 0 || x >= kLcdWidth || y < 0 || y >= kLcdHeight)
        return false;
    return (frame[static_cast<size_t>((y / kLcdBandRows) * kLcdWidth + x)] >> (y % kLcdBandRows)) &
           1;
}

void set_config(std::optional<std::string> text)
{
    std::lock_guard lock(config_mutex);
    config_text = std::move(text);
}

LcdState lcd_state()
{
    std::lock_guard lock(lcd_mutex);
    return lcd;
}

void reset_lcd()
{
    std::lock_guard lock(lcd_mutex);
    const int still_open = lcd.open_descriptors;
    lcd = LcdState{};
    lcd.open_descriptors = still_open;
}

} // namespace boxsim

// ---- The interposed entry points --------------------------------------------------------------

using namespace boxsim;

extern "C" {

FILE* fopen(const char* path, const char* mode)
{
    return fopen_path(next_fopen, path, mode);
}

FILE* fopen64(const char* path, const char* mode)
{
    return fopen_path(next_fopen64, path, mode);
}

// open and openat take a mode argument only when the flags create a file; va_start works only
// in the variadic function itself, so each of the four reads it before the shared code runs.
int open(const char* path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    const mode_t mode = mode_argument(flags, args);
    va_end(args);
    return open_path<OpenFn>(next_open, path, flags, path, flags, mode);
}

int open64(const char* path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    const mode_t mode = mode_argument(flags, args);
    va_end(args);
    return open_path<OpenFn>(next_open64, path, flags, path, flags, mode);
}

int __open_2(const char* path, int flags)
{
    return open_path<Open2Fn>(next_open_2, path, flags, path, flags);
}

int __open64_2(const char* path, int flags)
{
    return open_path<Open2Fn>(next_open64_2, path, flags, path, flags);
}

int openat(int dir, const char* path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    const mode_t mode = mode_argument(flags, args);
    va_end(args);
    return open_path<OpenatFn>(next_openat, path, flags, dir, path, flags, mode);
}

int openat64(int dir, const char* path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    const mode_t mode = mode_argument(flags, args);
    va_end(args);
    return open_path<OpenatFn>(next_openat64, path, flags, dir, path, flags, mode);
}

int __openat_2(int dir, const char* path, int flags)
{
    return open_path<Openat2Fn>(next_openat_2, path, flags, dir, path, flags);
}

int __openat64_2(int dir, const char* path, int flags)
{
    return open_path<Openat2Fn>(next_openat64_2, path, flags, dir, path, flags);
}

// ioctl's third argument is a pointer or an integer of pointer size on every request we know.
int ioctl(int fd, unsigned long request, ...) noexcept
{
    va_list args;
    va_start(args, request);
    void* argument = va_arg(args, void*);
    va_end(args);
    if (is_lcd_descriptor(fd))
        return lcd_request(request, argument);
    return call_next<IoctlFn>(next_ioctl, -1, fd, request, argument);
}

ssize_t write(int fd, const void* data, size_t size)
{
    return is_lcd_descriptor(fd) ? lcd_write(data, size) : real_write(fd, data, size);
}

int close(int fd)
{
    if (untrack_lcd_descriptor(fd))
        lcd_closed();
    return real_close(fd);
}

} // extern "C"
