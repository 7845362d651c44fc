// Runs a parsed key script against a session: key presses, waits, shots and expectations.
#pragma once

#include <vector>

#include "sim/boxsim/script.h"
#include "sim/boxsim/session.h"

namespace boxsim {

// Returns how the script ended: ScriptDone after its last command or `exit`, ExpectFailed, or
// the reason the session cut it short. Failures are reported on stderr with their line.
Ending run_script(Session& session, const std::vector<Command>& commands);

} // namespace boxsim
