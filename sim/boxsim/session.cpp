// A run of the box from loading the plugin to boxsim's exit status.
#include "sim/boxsim/session.h"

#include <algorithm>
#include <cstdio>

#include "sim/boxsim/box_fs.h"
#include "sim/boxsim/shots.h"
#include "sim/gx9/gx9_sim.h"

namespace boxsim {

Session::Session(const Options& options) : options_(options), plugin_(options.gx9, options.plugin)
{
}

void Session::start_plugin(const sigset_t& mask)
{
    if (options_.timeout)
        deadline_ = Clock::now() + *options_.timeout;
    PluginParameters parameters;
    parameters.fd_framebuffer = framebuffer_.fd();
    parameters.fd_rcinput = remote_.plugin_fd();
    parameters.no_pig = options_.no_pig;
    parameters.fd_lcd = -1; // the plugin opens the LCD device by its path
    plugin_.start(parameters, mask, [this](int result) {
        std::lock_guard lock(mutex_);
        returned_ = true;
        result_ = result;
        changed_.notify_all();
    });
}

std::optional<Ending> Session::cut_short()
{
    std::lock_guard lock(mutex_);
    if (returned_)
        return Ending::PluginReturned;
    if (stop_)
        return stop_;
    if (deadline_ && Clock::now() >= *deadline_)
        return Ending::TimedOut;
    return std::nullopt;
}

std::optional<Ending> Session::sleep_until(Clock::time_point until)
{
    std::unique_lock lock(mutex_);
    while (true) {
        if (returned_)
            return Ending::PluginReturned;
        if (stop_)
            return stop_;
        const Clock::time_point now = Clock::now();
        if (deadline_ && now >= *deadline_)
            return Ending::TimedOut;
        if (now >= until)
            return std::nullopt;
        // Woken at least hourly, so that far-off times never overflow the clock's arithmetic.
        Clock::time_point wake = std::min(until, now + std::chrono::hours(1));
        if (deadline_)
            wake = std::min(wake, *deadline_);
        changed_.wait_until(lock, wake);
    }
}

void Session::stop(Ending why)
{
    std::lock_guard lock(mutex_);
    if (!stop_)
        stop_ = why;
    changed_.notify_all();
}

bool Session::plugin_returned()
{
    std::lock_guard lock(mutex_);
    return returned_;
}

int Session::plugin_result()
{
    std::lock_guard lock(mutex_);
    return result_;
}

bool Session::wait_for_plugin(Clock::time_point until)
{
    std::unique_lock lock(mutex_);
    return changed_.wait_until(lock, until, [this] { return returned_; });
}

std::optional<Ending> Session::press(uint8_t code, Clock::duration hold)
{
    remote_.press(code);
    const std::optional<Ending> cut = sleep_for(hold);
    remote_.release(code);
    return cut;
}

bool Session::shot(std::string_view name)
{
    const std::string error = take_shot(options_.shot_dir, name, framebuffer_, lcd_state().frame);
    if (error.empty())
        return true;
    std::fprintf(stderr, "boxsim: shot %.*s: %s\n", static_cast<int>(name.size()), name.data(),
                 error.c_str());
    return false;
}

void Session::take_final_shot()
{
    if (final_shot_)
        shot("final");
}

// EXIT pressed by the box itself: held as a press is, then the plugin has until `until`.
// Returns the plugin's result as an exit status, or -1 when it is still running.
int Session::press_exit_and_wait(Clock::time_point until)
{
    remote_.press(gx9::kCodeExit);
    wait_for_plugin(Clock::now() + kPressHold);
    remote_.release(gx9::kCodeExit);
    if (!wait_for_plugin(until)) {
        std::fprintf(stderr, "boxsim: the plugin did not return within %lld ms of EXIT\n",
                     static_cast<long long>(options_.grace.count()));
        return -1;
    }
    take_final_shot();
    return plugin_result() & 0xff;
}

int Session::finish(Ending why)
{
    const Clock::time_point grace_end = Clock::now() + options_.grace;
    switch (why) {
    case Ending::PluginReturned:
        take_final_shot();
        return plugin_result() & 0xff;
    case Ending::ScriptDone: {
        // The plugin leaves on EXIT; it gets the grace period, and no more than the timeout.
        if (const auto cut = press(gx9::kCodeExit, kPressHold))
            return finish(*cut);
        if (const auto cut = sleep_until(Clock::now() + options_.grace))
            return finish(*cut);
        std::fprintf(stderr, "boxsim: the plugin did not return within %lld ms of EXIT\n",
                     static_cast<long long>(options_.grace.count()));
        shot("timeout");
        return kExitTimeout;
    }
    case Ending::ExpectFailed:
        shot("expect-failed");
        press_exit_and_wait(grace_end);
        return kExitExpectFailed;
    case Ending::TimedOut:
        std::fprintf(stderr, "boxsim: timeout after %lld ms: shot \"timeout\", EXIT pressed\n",
                     static_cast<long long>(options_.timeout.value_or(Millis{0}).count()));
        shot("timeout");
        press_exit_and_wait(grace_end);
        return kExitTimeout;
    case Ending::WindowClosed: {
        const int status = press_exit_and_wait(grace_end);
        return status < 0 ? kExitTimeout : status;
    }
    }
    return kExitSetupFailed;
}

} // namespace boxsim
