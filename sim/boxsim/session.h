// One run of the box: the framebuffer, the remote, the loaded plugin on its thread, the events
// that can cut a run short (the plugin returning, a signal, the timeout, a closed window), and
// the way each kind of ending is finished into boxsim's exit status.
#pragma once

#include <signal.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string_view>

#include "sim/boxsim/framebuffer.h"
#include "sim/boxsim/options.h"
#include "sim/boxsim/plugin_host.h"
#include "sim/boxsim/remote.h"

namespace boxsim {

using Clock = std::chrono::steady_clock;

enum class Ending {
    PluginReturned, // plugin_exec returned on its own
    ScriptDone,     // the script ended (or ran `exit`): the box presses EXIT and waits
    ExpectFailed,   // an expect never came true
    TimedOut,       // --timeout passed
    WindowClosed,   // the user closed the window
};

constexpr int kExitUsage = 2;
constexpr int kExitSetupFailed = 3;
constexpr int kExitExpectFailed = 90;
constexpr int kExitTimeout = 124;

class Session {
  public:
    explicit Session(const Options& options); // throws on a failed memfd, pipe or dlopen
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Starts plugin_exec on its thread, which runs with this signal mask.
    void start_plugin(const sigset_t& mask);

    const Options& options() const { return options_; }
    const Framebuffer& framebuffer() const { return framebuffer_; }
    Remote& remote() { return remote_; }

    // Sleeps until `until`; returns early with the reason when the run is cut short.
    std::optional<Ending> sleep_until(Clock::time_point until);
    std::optional<Ending> sleep_for(Clock::duration d) { return sleep_until(Clock::now() + d); }
    std::optional<Ending> cut_short(); // the reason the run is cut short now, if any

    // Ends the run from another thread (the window's close button): waits return `why`.
    void stop(Ending why);

    bool plugin_returned();
    int plugin_result();

    // Presses a key as a remote does: down, held, up. Returns early when the run is cut short.
    std::optional<Ending> press(uint8_t code, Clock::duration hold);
    bool shot(std::string_view name); // reports a failure on stderr
    // Whether the plugin's return is recorded in a shot "final" (a window run without a shot
    // directory leaves no files behind).
    void set_final_shot(bool take) { final_shot_ = take; }

    // Brings the run to its end and returns boxsim's exit status.
    int finish(Ending why);

  private:
    bool wait_for_plugin(Clock::time_point until); // true once the plugin has returned
    int press_exit_and_wait(Clock::time_point until);
    void take_final_shot();

    Options options_;
    Framebuffer framebuffer_;
    Remote remote_;
    PluginRun plugin_;
    std::optional<Clock::time_point> deadline_; // start + --timeout
    bool final_shot_ = true;

    std::mutex mutex_;
    std::condition_variable changed_;
    bool returned_ = false; // guarded by mutex_, as are the three below
    int result_ = 0;
    std::optional<Ending> stop_;
};

} // namespace boxsim
