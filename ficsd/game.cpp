// One game on ficsd: move record, clocks and repetition.
#include "ficsd/game.h"

#include <algorithm>
#include <cassert>

#include "ficsd/move_notation.h"

namespace ficsd {

const char* TimeControl::category() const
{
    if (untimed())
        return "untimed";
    const double expected = minutes + increment * 2.0 / 3.0;
    if (expected < 3.0)
        return "lightning";
    if (expected < 15.0)
        return "blitz";
    return "standard";
}

GameMs TimeControl::starting_ms() const
{
    // With no base time, a player starts with ten seconds so that the first move is possible.
    if (minutes == 0 && increment > 0)
        return 10'000;
    return GameMs(minutes) * 60'000;
}

Game::Game(int number, TimeControl control, const Position& start)
    : number_(number), control_(control), start_(start), position_(start)
{
    clock_ = {control.starting_ms(), control.starting_ms()};
    keys_.push_back(position_.repetition_key());
}

GameMs Game::remaining_ms(Color side, GameMs now) const
{
    GameMs left = clock_[side];
    if (ticking_ && side == position_.side_to_move())
        left -= now - turn_started_;
    return left;
}

std::optional<GameMs> Game::flag_time() const
{
    if (!ticking_ || control_.untimed())
        return std::nullopt;
    return turn_started_ + clock_[position_.side_to_move()];
}

bool Game::out_of_time(Color side, GameMs now) const
{
    return !control_.untimed() && ticking_ && remaining_ms(side, now) <= 0;
}

void Game::charge_running_clock(GameMs now)
{
    if (ticking_)
        clock_[position_.side_to_move()] -= now - turn_started_;
    turn_started_ = now;
}

void Game::play(Move m, GameMs now)
{
    const Color mover = position_.side_to_move();
    const GameMs taken = ticking_ ? now - turn_started_ : 0;
    charge_running_clock(now);
    if (!control_.untimed())
        clock_[mover] += GameMs(control_.increment) * 1000;
    plies_.push_back({m, short_notation(position_, m), verbose_notation(position_, m), taken});
    before_.push_back(position_);
    position_.play(m);
    keys_.push_back(position_.repetition_key());
    ticking_ = true;
}

void Game::take_back(int count, GameMs now)
{
    assert(count >= 0 && count <= ply_count() && "takeback beyond the first move");
    charge_running_clock(now);
    for (int i = 0; i < count; ++i) {
        position_ = before_.back();
        before_.pop_back();
        plies_.pop_back();
        keys_.pop_back();
    }
    ticking_ = !plies_.empty();
}

int Game::repetitions() const
{
    const uint64_t now = keys_.back();
    // Only positions since the last irreversible move can repeat, and only with the same side
    // to move, so every second key back to there.
    const int span = std::min<int>(position_.halfmove_clock(), int(keys_.size()) - 1);
    int count = 0;
    for (int back = 0; back <= span; back += 2)
        if (keys_[keys_.size() - 1 - size_t(back)] == now)
            ++count;
    return count;
}

std::string Game::last_verbose() const
{
    return plies_.empty() ? "none" : plies_.back().verbose_move;
}

std::string Game::last_short() const
{
    return plies_.empty() ? "none" : plies_.back().short_move;
}

GameMs Game::last_taken_ms() const
{
    return plies_.empty() ? 0 : plies_.back().taken_ms;
}

std::vector<std::string> Game::uci_moves() const
{
    std::vector<std::string> out;
    out.reserve(plies_.size());
    for (const Ply& p : plies_)
        out.push_back(uci_notation(p.move));
    return out;
}

} // namespace ficsd
