// The box in a window (SDL2): the TV picture, the LCD panel beside it, the key map and the
// keyboard as the remote control.
#pragma once

#include <optional>
#include <vector>

#include "sim/boxsim/script.h"
#include "sim/boxsim/session.h"

namespace boxsim {

// True when a display can be expected (DISPLAY or WAYLAND_DISPLAY is set).
bool display_available();

// Shows the box until the run ends; a script, when given, runs on a thread of its own meanwhile.
// Returns how the run ended. std::nullopt: the window could not be opened (message on stderr).
std::optional<Ending> run_window(Session& session, const std::vector<Command>* script);

} // namespace boxsim
