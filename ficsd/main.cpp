// ficsd: a local chess server speaking the FICS protocol, with a computer opponent.
#include <signal.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>

#include "ficsd/server.h"

namespace {

constexpr const char* kUsage =
    "usage: ficsd [options]\n"
    "  --host ADDRESS          IPv4 address to listen on (127.0.0.1)\n"
    "  --port N                TCP port (5000); 0 picks a free port and prints it\n"
    "  --accounts FILE         registered users, one \"handle password\" per line\n"
    "  --engine PATH|none      UCI engine of the computer player (/usr/games/stockfish);\n"
    "                          none: the built-in mover\n"
    "  --engine-skill N        the engine's Skill Level, 0 to 20 (3)\n"
    "  --engine-movetime MS    time the engine thinks per move (200)\n"
    "  --no-computer           no computer player\n"
    "  --computer-seek-delay MS  how long a seek stays open before the computer takes it (1000)\n"
    "  --clock-scale F         game clocks run F times faster than real time (1)\n"
    "  --seed N                seed for guest names and the built-in mover\n"
    "  --log FILE              append every line a client sends to FILE (\"NAME: LINE\")\n"
    "  --help                  this text\n";

void on_signal(int)
{
    ficsd::Server::request_stop();
}

[[noreturn]] void usage_error(const std::string& message)
{
    std::fprintf(stderr, "ficsd: %s\n%s", message.c_str(), kUsage);
    std::exit(2);
}

long number_option(const char* name, const char* text, long low, long high)
{
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (errno || end == text || *end || value < low || value > high)
        usage_error(std::string(name) + " wants a number from " + std::to_string(low) + " to " +
                    std::to_string(high) + ", not \"" + text + "\"");
    return value;
}

} // namespace

int main(int argc, char** argv)
{
    ficsd::ServerOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        auto value = [&]() -> const char* {
            if (i + 1 >= argc)
                usage_error(std::string(arg) + " needs a value");
            return argv[++i];
        };
        try {
            if (arg == "--help" || arg == "-h") {
                std::fputs(kUsage, stdout);
                return 0;
            } else if (arg == "--host") {
                options.host = value();
            } else if (arg == "--port") {
                options.port = int(number_option("--port", value(), 0, 65535));
            } else if (arg == "--accounts") {
                options.accounts = ficsd::Accounts::load(value());
            } else if (arg == "--engine") {
                options.engine.path = value();
            } else if (arg == "--engine-skill") {
                options.engine.skill = int(number_option("--engine-skill", value(), 0, 20));
            } else if (arg == "--engine-movetime") {
                options.engine.movetime_ms =
                    int(number_option("--engine-movetime", value(), 10, 60000));
            } else if (arg == "--no-computer") {
                options.computer = false;
            } else if (arg == "--computer-seek-delay") {
                options.computer_seek_delay_ms =
                    int(number_option("--computer-seek-delay", value(), 0, 3600000));
            } else if (arg == "--clock-scale") {
                const char* text = value();
                char* end = nullptr;
                options.clock_scale = std::strtod(text, &end);
                if (end == text || *end || !(options.clock_scale >= 0.01) ||
                    options.clock_scale > 10000)
                    usage_error("--clock-scale wants a number from 0.01 to 10000");
            } else if (arg == "--log") {
                options.input_log = value();
            } else if (arg == "--seed") {
                options.seed = unsigned(number_option("--seed", value(), 0, 0x7fffffff));
            } else {
                usage_error("unknown option " + std::string(arg));
            }
        } catch (const std::exception& e) {
            std::fprintf(stderr, "ficsd: %s\n", e.what());
            return 1;
        }
    }

    signal(SIGPIPE, SIG_IGN);
    struct sigaction action {};
    action.sa_handler = on_signal;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    try {
        ficsd::Server server(std::move(options));
        std::printf("ficsd: listening on %s:%d\n", server.host().c_str(), server.port());
        std::fflush(stdout);
        server.run();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "ficsd: %s\n", e.what());
        return 1;
    }
    return 0;
}
