// boxsim: the set-top box on a PC. Loads libgx9.so and a plugin, serves the box's files, runs
// the plugin on its own thread and drives it from a window or a key script.
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <exception>
#include <filesystem>
#include <thread>

#include "sim/boxsim/box_fs.h"
#include "sim/boxsim/options.h"
#include "sim/boxsim/script.h"
#include "sim/boxsim/script_runner.h"
#include "sim/boxsim/session.h"
#include "sim/boxsim/window.h"

namespace {

using namespace boxsim;

// SIGINT and SIGTERM are for the box, not the plugin: every thread blocks them and one thread
// takes them with sigwait. SIGUSR2 tells that thread to end.
sigset_t box_signals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGUSR2);
    return set;
}

// The first SIGINT or SIGTERM ends the run gently (EXIT pressed); a second one ends boxsim.
class SignalThread {
public:
    explicit SignalThread(Session& session)
        : thread_([&session] {
              const sigset_t set = box_signals();
              int interrupts = 0;
              while (true) {
                  int number = 0;
                  if (sigwait(&set, &number) != 0 || number == SIGUSR2)
                      return;
                  if (++interrupts > 1) {
                      std::fprintf(stderr, "boxsim: signal %d again: ending now\n", number);
                      _exit(128 + number);
                  }
                  session.stop(Ending::Interrupted, number);
              }
          })
    {
    }
    ~SignalThread()
    {
        pthread_kill(thread_.native_handle(), SIGUSR2);
        thread_.join();
    }

private:
    std::thread thread_;
};

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

    const sigset_t signals = box_signals();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);  // before any thread starts

    std::optional<Session> session;
    try {
        session.emplace(options);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "boxsim: %s\n", e.what());
        return kExitSetupFailed;
    }
    session->set_final_shot(!windowed || options.shot_dir_given);
    int status;
    {
        SignalThread signal_thread(*session);
        session->start_plugin();
        const Ending ending = run(*session, windowed, script ? &script->commands : nullptr);
        status = session->finish(ending);
    }
    if (!session->plugin_returned()) {
        // The plugin's thread is stuck inside the plugin: nothing can be unloaded safely.
        std::fflush(nullptr);
        _exit(status);
    }
    return status;
}

}  // namespace

int main(int argc, char** argv)
{
    return box_main(argc, argv);
}
