// Key events into the remote-control pipe, in the stand-in library's two-byte record format.
#include "sim/boxsim/remote.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "sim/gx9/gx9_sim.h"

namespace boxsim {
namespace {

struct NamedKey {
    std::string_view name;
    uint8_t code;
};

// Script name, key code.
constexpr std::array<NamedKey, 21> kKeys{{
    {"0", 0},
    {"1", 1},
    {"2", 2},
    {"3", 3},
    {"4", 4},
    {"5", 5},
    {"6", 6},
    {"7", 7},
    {"8", 8},
    {"9", 9},
    {"RIGHT", 10},
    {"LEFT", 11},
    {"UP", 12},
    {"DOWN", 13},
    {"OK", 14},
    {"YELLOW", 18},
    {"RED", 19},
    {"BLUE", 20},
    {"HELP", 23},
    {"MUTE", gx9::kCodeMute},
    {"EXIT", gx9::kCodeExit},
}};

} // namespace

std::optional<uint8_t> key_code(std::string_view name)
{
    for (const NamedKey& key : kKeys)
        if (key.name == name)
            return key.code;
    return std::nullopt;
}

Remote::Remote()
{
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0)
        throw std::system_error(errno, std::generic_category(), "pipe2");
    read_end_.reset(ends[0]);
    write_end_.reset(ends[1]);
    // A plugin that stops polling must not stall the box: a full pipe drops the event instead.
    if (fcntl(write_end_.get(), F_SETFL, O_NONBLOCK) != 0)
        throw std::system_error(errno, std::generic_category(), "fcntl(O_NONBLOCK)");
}

bool Remote::press(uint8_t code)
{
    return send(gx9::kEventPress, code);
}
bool Remote::release(uint8_t code)
{
    return send(gx9::kEventRelease, code);
}
bool Remote::restart()
{
    return send(gx9::kEventRestart, 0);
}

bool Remote::send(uint8_t type, uint8_t code)
{
    const gx9::RcEvent event{type, code};
    ssize_t n;
    do
        n = write(write_end_.get(), &event, sizeof event);
    while (n < 0 && errno == EINTR);
    if (n == static_cast<ssize_t>(sizeof event))
        return true;
    std::fprintf(stderr, "boxsim: remote event %u/%u lost: write: %s\n", type, code,
                 n < 0 ? std::strerror(errno) : "short write");
    return false;
}

} // namespace boxsim
