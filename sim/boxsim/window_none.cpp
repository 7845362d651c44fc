// Built without SDL2: there is no window, and boxsim runs headless.
#include <cstdio>

#include "sim/boxsim/window.h"

namespace boxsim {

bool display_available()
{
    return false;
}

std::optional<Ending> run_window(Session&, const std::vector<Command>*)
{
    std::fprintf(stderr, "boxsim: built without SDL2, no window\n");
    return std::nullopt;
}

} // namespace boxsim
