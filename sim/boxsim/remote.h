// The box's remote control: key events written into the pipe whose read end the plugin polls.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "sim/unique_fd.h"

namespace boxsim {

using sim::UniqueFd;

// The keys of the remote by their script names: digits "0".."9", LEFT RIGHT UP DOWN OK RED
// YELLOW BLUE HELP MUTE EXIT. std::nullopt for any other word.
std::optional<uint8_t> key_code(std::string_view name);

class Remote {
  public:
    Remote(); // throws std::system_error naming the failing call
    int plugin_fd() const { return read_end_.get(); } // passed as "fd_rcinput"

    // Each writes one event at once; false (with a message on stderr) when it could not be
    // written, e.g. because the plugin stopped reading and the pipe is full.
    bool press(uint8_t code);
    bool release(uint8_t code);
    bool restart();

  private:
    bool send(uint8_t type, uint8_t code);
    UniqueFd read_end_;
    UniqueFd write_end_;
};

} // namespace boxsim
