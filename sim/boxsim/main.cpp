// boxsim: the set-top box on a PC. Loads libgx9.so and a plugin, serves the box's files, runs
// the plugin on its own thread and drives it from a window or a key script.
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <exception>
#include <filesystem>
#include <optional>

#include "sim/boxsim/box_fs.h"
#include "sim/boxsim/options.h"
#include "sim/boxsim/script.h"
#include "sim/boxsim/script_runner.h"
#include "sim/boxsim/session.h"
#include "sim/boxsim/window.h"

namespace {

using namespace boxsim;

// Process-directed signals belong to the plugin, as on a box: SIGINT, SIGTERM and the rest go
// to its handlers on its own thread. The box's threads block them, so a handler never runs on a
// thread of the box (a SIGPIPE from a write of the box then stays pending and the write fails
// with EPIPE); the plugin's thread gets the mask boxsim started with.
sigset_t signals_for_the_plugin()
{
    sigset_t set;
    sigemptyset(&set);
    for (const int number : {SIGINT, SIGTERM, SIGPIPE, SIGALRM, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2})
        sigaddset(&set, number);
    return set;
}

std::filesystem::path executable_directory()
{
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::current_path() : self.parent_path();
}

Ending run(Session& session, bool windowed, const std::vector<Command>* script)
{
    if (windowed) {
        if (const auto ending = run_window(session, script))
            return *ending;
        std::fprintf(stderr, "boxsim: no window: running headless\n");
    }
    if (script)
        return run_script(session, *script);
    Command wait;
    wait.duration = session.options().duration;
    return run_script(session, {wait});
}

int box_main(int argc, char** argv)
{
    const ParsedOptions parsed = parse_options(argc, argv, executable_directory());
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "boxsim: %s\n", parsed.error.c_str());
        return kExitUsage;
    }
    const Options& options = parsed.options;
    if (options.help) {
        std::fputs(help_text(), stdout);
        return 0;
    }
    std::optional<ParsedScript> script;
    if (options.script) {
        script = parse_script(*options.script);
        if (script->error) {
            std::fprintf(stderr, "boxsim: script line %d: %s\n", script->error->line,
                         script->error->message.c_str());
            return kExitUsage;
        }
    }
    const bool windowed = options.display == Display::Window ||
                          (options.display == Display::Automatic && display_available());
    set_config(options.config);

    const sigset_t signals = signals_for_the_plugin();
    sigset_t plugin_mask;
    pthread_sigmask(SIG_BLOCK, &signals, &plugin_mask); // before any thread starts

    std::optional<Session> session;
    try {
        session.emplace(options);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "boxsim: %s\n", e.what());
        return kExitSetupFailed;
    }
    session->set_final_shot(!windowed || options.shot_dir_given);
    session->start_plugin(plugin_mask);
    const Ending ending = run(*session, windowed, script ? &script->commands : nullptr);
    const int status = session->finish(ending);
    if (!session->plugin_returned()) {
        // The plugin's thread is stuck inside the plugin: nothing can be unloaded safely.
        std::fflush(nullptr);
        _exit(status);
    }
    return status;
}

} // namespace

int main(int argc, char** argv)
{
    return box_main(argc, argv);
}
