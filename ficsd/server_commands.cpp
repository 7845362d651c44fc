// The ficsd command interpreter: the command table and every command that is not about starting
// or playing a game.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <ctime>

#include "ficsd/board_line.h"
#include "ficsd/command_words.h"
#include "ficsd/move_notation.h"
#include "ficsd/server.h"

namespace ficsd {
namespace {

std::string duration_text(std::chrono::steady_clock::duration d)
{
    const long long seconds = std::chrono::duration_cast<std::chrono::seconds>(d).count();
    if (seconds < 60)
        return std::to_string(seconds) + " secs";
    if (seconds < 3600)
        return std::to_string(seconds / 60) + " mins";
    return std::to_string(seconds / 3600) + " hrs, " + std::to_string(seconds / 60 % 60) + " mins";
}

std::string clock_text(GameMs ms)
{
    const long long seconds = ms / 1000;
    char text[32];
    std::snprintf(text, sizeof text, "%s%lld:%02lld", ms < 0 ? "-" : "", std::llabs(seconds) / 60,
                  std::llabs(seconds) % 60);
    return text;
}

} // namespace

const std::vector<Server::Command>& Server::commands()
{
    // Alphabetical, so that "Ambiguous command" lists read well. A command without a handler
    // answers with its fixed reply (the second one when it is given words).
    static const std::vector<Command> table = {
        {"abort", &Server::cmd_abort},
        {"accept", &Server::cmd_accept},
        {"adjourn", &Server::cmd_adjourn},
        {"alias", nullptr, "You have no aliases.", "Aliases are not supported by this server."},
        {"backward", nullptr, "You are not examining any games."},
        {"best", nullptr,
         "Ratings are not supported by this server, so there is no list of best players."},
        {"clearmessages", nullptr, "You have no messages."},
        {"decline", &Server::cmd_decline},
        {"draw", &Server::cmd_draw},
        {"examine", nullptr, "Examining games is not supported by this server."},
        {"exit", &Server::cmd_quit},
        {"finger", &Server::cmd_finger},
        {"flag", &Server::cmd_flag},
        {"follow", nullptr, "You will not follow any player's games.",
         "Following players is not supported by this server; use \"observe\"."},
        {"forward", nullptr, "You are not examining any games."},
        {"games", &Server::cmd_games},
        {"help", &Server::cmd_help},
        {"history", &Server::cmd_history},
        {"iset", &Server::cmd_iset},
        {"kibitz", &Server::cmd_kibitz},
        {"match", &Server::cmd_match},
        {"messages", nullptr, "You have no messages.",
         "Messages are not supported by this server; use \"tell\" while both are online."},
        {"moretime", &Server::cmd_moretime},
        {"moves", &Server::cmd_moves},
        {"news", nullptr,
         "Index of news items:\n   1 ficsd: unrated games against people and the computer on your "
         "own machine\n   2 ficsd: ratings, adjourned games and examining are not supported"},
        {"next", nullptr, "There is no more."},
        {"observe", &Server::cmd_observe},
        {"pending", &Server::cmd_pending},
        {"play", &Server::cmd_play},
        {"promote", &Server::cmd_promote},
        {"quit", &Server::cmd_quit},
        {"rank", nullptr, "Ratings are not supported by this server, so there are no ranks."},
        {"refresh", &Server::cmd_refresh},
        {"resign", &Server::cmd_resign},
        {"resume", nullptr, "You have no adjourned games."},
        {"say", &Server::cmd_say},
        {"seek", &Server::cmd_seek},
        {"set", &Server::cmd_set},
        {"shout", &Server::cmd_shout},
        {"sought", &Server::cmd_sought},
        {"stored", &Server::cmd_stored},
        {"style", &Server::cmd_style},
        {"takeback", &Server::cmd_takeback},
        {"tell", &Server::cmd_tell},
        {"unalias", &Server::cmd_unalias},
        {"unexamine", nullptr, "You are not examining any games."},
        {"unobserve", &Server::cmd_unobserve},
        {"unseek", &Server::cmd_unseek},
        {"variables", &Server::cmd_variables},
        {"whisper", &Server::cmd_whisper},
        {"who", &Server::cmd_who},
        {"withdraw", &Server::cmd_withdraw},
    };
    return table;
}

void Server::run_command(Session& s, std::string_view line)
{
    line = trim(line);
    // "$" and "$$" run a command without alias expansion; this server has no aliases.
    if (line.starts_with('$'))
        line = trim(line.substr(line.starts_with("$$") ? 2 : 1));
    if (line.empty())
        return;
    if (looks_like_move(line)) {
        handle_move(s, line);
        return;
    }
    std::string_view args;
    const std::string word = lower_case(first_word(line, args));
    const Command* found = nullptr;
    std::vector<const Command*> prefixed;
    for (const Command& c : commands()) {
        if (c.name == word) {
            found = &c;
            break;
        }
        if (c.name.rfind(word, 0) == 0)
            prefixed.push_back(&c);
    }
    if (!found && prefixed.size() == 1)
        found = prefixed.front();
    if (!found && prefixed.size() > 1) {
        std::string names;
        for (const Command* c : prefixed)
            names += " " + std::string(c->name);
        send(s, "Ambiguous command \"" + word + "\". Matches:" + names);
        return;
    }
    if (!found) {
        send(s, std::string(first_word(line, args)) + ": Command not found.");
        return;
    }
    if (found->handler)
        (this->*found->handler)(s, args);
    else
        send(s, args.empty() || found->reply_with_args.empty() ? found->reply
                                                               : found->reply_with_args);
}

// ---- words the server answers without a game --------------------------------------------------

void Server::cmd_adjourn(Session& s, std::string_view)
{
    game_offer(s, OfferKind::Adjourn, 0);
}

void Server::cmd_unalias(Session& s, std::string_view args)
{
    if (args.empty())
        send(s, "Usage: unalias name");
    else
        send(s, "You have no alias named \"" + std::string(args) + "\".");
}

void Server::cmd_stored(Session& s, std::string_view args)
{
    std::string name = s.name;
    if (!args.empty()) {
        Session* other = find_user(s, first_word(args, args));
        if (!other)
            return;
        name = other->name;
    }
    send(s, name + " has no adjourned games.");
}

void Server::cmd_help(Session& s, std::string_view args)
{
    if (!args.empty()) {
        send(s, "There is no help on \"" + std::string(args) +
                    "\" on this server; \"help\" lists the commands.");
        return;
    }
    std::string text = "Commands of this server:\n";
    std::string line;
    for (const Command& c : commands()) {
        if (line.size() + c.name.size() + 1 > 70) {
            text += line + "\n";
            line.clear();
        }
        line += line.empty() ? "  " : " ";
        line += c.name;
    }
    text += line + "\n";
    text += "Moves: \"e2e4\", \"e7e8=q\", \"Nf3\", \"exd5\", \"O-O\", \"e8=Q\".";
    send(s, text);
}

void Server::cmd_quit(Session& s, std::string_view)
{
    send(s, "Logging you out.\n\nThank you for using ficsd.");
    leave(s);
    s.closing = true;
}

void Server::cmd_promote(Session& s, std::string_view args)
{
    constexpr std::pair<char, PieceType> kLetters[] = {
        {'q', Queen}, {'r', Rook}, {'b', Bishop}, {'n', Knight}, {'k', Knight}};
    constexpr const char* kNames[] = {"", "", "KNIGHT", "BISHOP", "ROOK", "QUEEN"};
    args = trim(args);
    if (!args.empty()) {
        const char letter = char(std::tolower(static_cast<unsigned char>(args[0])));
        const auto* found = std::find_if(std::begin(kLetters), std::end(kLetters),
                                         [&](const auto& l) { return l.first == letter; });
        if (args.size() != 1 || found == std::end(kLetters)) {
            send(s, "Usage: promote [q|r|b|n]");
            return;
        }
        s.promote = found->second;
    }
    send(s, std::string("Promotion piece set to ") + kNames[s.promote] + ".");
}

void Server::cmd_style(Session& s, std::string_view args)
{
    auto style = to_int(trim(args));
    if (!style) {
        send(s, "Usage: style number");
        return;
    }
    if (*style != 1 && *style != 12) {
        send(s, "Style " + std::to_string(*style) +
                    " is not supported by this server; styles 1 and 12 are.");
        return;
    }
    s.style = *style;
    send(s, "Style " + std::to_string(*style) + " set.");
}

void Server::cmd_set(Session& s, std::string_view args)
{
    std::string_view value;
    const std::string name = lower_case(first_word(args, value));
    if (name.empty()) {
        send(s, "Usage: set variable [value]");
        return;
    }
    auto number = to_int(value);
    // On/off variables toggle without a value.
    auto flag = [&](bool& var) -> bool {
        if (value.empty())
            var = !var;
        else if (number && (*number == 0 || *number == 1))
            var = *number == 1;
        else
            return false;
        return true;
    };
    if (name == "interface") // the client's name and version: noted by nobody
        return;
    if (name == "width") {
        if (!number || *number < kMinWidth || *number > kMaxWidth) {
            send(s, "Width must be between " + std::to_string(kMinWidth) + " and " +
                        std::to_string(kMaxWidth) + ".");
            return;
        }
        s.width = *number;
        send(s, "Width set to " + std::to_string(*number) + ".");
    } else if (name == "style") {
        cmd_style(s, value);
    } else if (name == "time" || name == "inc") {
        if (!number || *number < 0 || *number > 999) {
            send(s, "Bad value given for variable " + name + ".");
            return;
        }
        (name == "time" ? s.default_time : s.default_increment) = *number;
        send(s, (name == "time" ? "Default time set to " : "Default increment set to ") +
                    std::to_string(*number) + ".");
    } else if (name == "open") {
        if (!flag(s.open))
            send(s, "Bad value given for variable open.");
        else
            send(s, s.open ? "You are now open to receive match requests."
                           : "You are no longer receiving match requests.");
    } else if (name == "seek") {
        if (!flag(s.seek_ads))
            send(s, "Bad value given for variable seek.");
        else
            send(s, s.seek_ads ? "You will now hear seek ads." : "You will not hear seek ads.");
    } else if (name == "shout") {
        if (!flag(s.hear_shouts))
            send(s, "Bad value given for variable shout.");
        else
            send(s, s.hear_shouts ? "You will now hear shouts." : "You will not hear shouts.");
    } else {
        send(s, "No such variable \"" + name + "\".");
    }
}

void Server::cmd_iset(Session& s, std::string_view args)
{
    // Those ficsd acts on: ms (clocks in milliseconds), nowrap, lock. The rest are accepted for
    // the clients that set them and change nothing.
    static constexpr std::string_view kNames[] = {
        "allresults", "atomic",  "audiochat", "block",      "compressmove", "crazyhouse",
        "defprompt",  "fr",      "gameinfo",  "lock",       "ms",           "nowrap",
        "pendinfo",   "premove", "seekinfo",  "seekremove", "smartmove",    "startpos",
        "suicide",    "wild",    "xml"};
    std::string_view value;
    const std::string name = lower_case(first_word(args, value));
    if (name.empty()) {
        send(s, "Usage: iset variable [value]");
        return;
    }
    if (std::find(std::begin(kNames), std::end(kNames), name) == std::end(kNames)) {
        send(s, "No such ivariable \"" + name + "\".");
        return;
    }
    if (s.has("lock")) {
        send(s, "Cannot alter: Interface setting locked.");
        return;
    }
    const bool on = value.empty() ? !s.has(name) : value == "1";
    if (!value.empty() && value != "0" && value != "1") {
        send(s, "Bad value given for ivariable " + name + ".");
        return;
    }
    if (on)
        s.ivariables.insert(name);
    else
        s.ivariables.erase(name);
    send(s, name + (on ? " set." : " unset."));
}

void Server::cmd_variables(Session& s, std::string_view args)
{
    Session* who = &s;
    if (!args.empty()) {
        std::string_view rest;
        who = find_user(s, first_word(args, rest));
        if (!who)
            return;
    }
    char text[400];
    std::snprintf(text, sizeof text,
                  "Variable settings of %s:\n\n"
                  "time=%d    inc=%d    open=%d    seek=%d    shout=%d\n"
                  "width=%d   style=%d",
                  who->name.c_str(), who->default_time, who->default_increment, who->open ? 1 : 0,
                  who->seek_ads ? 1 : 0, who->hear_shouts ? 1 : 0, who->width, who->style);
    send(s, text);
}

// ---- lists --------------------------------------------------------------------------------------

void Server::cmd_who(Session& s, std::string_view)
{
    std::vector<std::string> entries;
    for (auto& [id, u] : sessions_) {
        if (u->stage != Stage::Online || u->closing)
            continue;
        std::string entry = rating_text(*u);
        entry += u->game || (u->computer && std::any_of(games_.begin(), games_.end(),
                                                        [&](auto& g) {
                                                            return g.second.white == u->id ||
                                                                   g.second.black == u->id;
                                                        }))
                     ? '^'
                     : ' ';
        entry += display_name(*u);
        entries.push_back(entry);
    }
    std::sort(entries.begin(), entries.end(),
              [](const std::string& a, const std::string& b) { return a.substr(5) < b.substr(5); });
    std::string text;
    const size_t column = 24;
    const size_t per_line = std::max<size_t>(1, size_t(s.width) / column);
    for (size_t i = 0; i < entries.size(); ++i) {
        std::string entry = " " + entries[i];
        if ((i + 1) % per_line != 0 && i + 1 != entries.size())
            entry.resize(std::max(entry.size(), column), ' ');
        text += entry;
        if ((i + 1) % per_line == 0 || i + 1 == entries.size())
            text += "\n";
    }
    text += "\n " + std::to_string(entries.size()) + " player" + (entries.size() == 1 ? "" : "s") +
            " displayed (of " + std::to_string(entries.size()) +
            "). (*) indicates system administrator.";
    send(s, text);
}

void Server::cmd_games(Session& s, std::string_view)
{
    std::string text;
    const GameMs now = game_now();
    for (auto& [number, g] : games_) {
        const TimeControl& tc = g.game.control();
        char line[200];
        std::snprintf(line, sizeof line,
                      "%3d %s %-11s %s %-11s [ %cu%3d %3d] %6s -%6s (%2d-%2d) %c: %2d\n", number,
                      g.white_rating.c_str(), g.white_name.c_str(), g.black_rating.c_str(),
                      g.black_name.c_str(), tc.category()[0], tc.minutes, tc.increment,
                      clock_text(g.game.remaining_ms(White, now)).c_str(),
                      clock_text(g.game.remaining_ms(Black, now)).c_str(),
                      g.game.position().strength(White), g.game.position().strength(Black),
                      g.game.position().side_to_move() == White ? 'W' : 'B',
                      g.game.position().fullmove_number());
        text += line;
    }
    text += "\n  " + std::to_string(games_.size()) + " game" + (games_.size() == 1 ? "" : "s") +
            " displayed.";
    send(s, text);
}

void Server::cmd_sought(Session& s, std::string_view)
{
    std::string text;
    for (const Seek& seek : seeks_) {
        Session* owner = session(seek.owner);
        if (!owner)
            continue;
        char line[200];
        std::snprintf(line, sizeof line, "%3d %s %-17s %3d %3d unrated %-10s%s%s\n", seek.index,
                      rating_text(*owner).c_str(), owner->name.c_str(), seek.control.minutes,
                      seek.control.increment, seek.control.category(),
                      seek.colour ? (*seek.colour == White ? " [white]" : " [black]") : "",
                      seek.manual ? " m" : "");
        text += line;
    }
    text += std::to_string(seeks_.size()) + (seeks_.size() == 1 ? " ad" : " ads") + " displayed.";
    send(s, text);
}

void Server::cmd_pending(Session& s, std::string_view)
{
    auto describe = [&](const Offer& o, bool mine) -> std::string {
        Session* from = session(o.from);
        Session* to = session(o.to);
        if (!from || !to)
            return {};
        const std::string other = mine ? to->name : from->name;
        std::string what;
        switch (o.kind) {
        case OfferKind::Match:
            what = "a challenge: " + match_text(*from, o.from_colour, *to, o.control);
            break;
        case OfferKind::Draw:
            what = "a draw";
            break;
        case OfferKind::Abort:
            what = "to abort the game";
            break;
        case OfferKind::Adjourn:
            what = "to adjourn the game";
            break;
        case OfferKind::Takeback:
            what = "to take back " + std::to_string(o.plies) + " half move(s)";
            break;
        }
        return " " + std::to_string(o.id) + ": " +
               (mine ? "You are offering " + other + " " + what : other + " is offering " + what) +
               "\n";
    };
    std::string to_others, from_others;
    for (const Offer& o : offers_) {
        if (o.from == s.id)
            to_others += describe(o, true);
        if (o.to == s.id)
            from_others += describe(o, false);
    }
    std::string text = to_others.empty() ? "There are no offers pending TO other players.\n"
                                         : "Offers TO other players:\n" + to_others;
    text += "\n";
    text += from_others.empty()
                ? "There are no offers pending FROM other players."
                : "Offers FROM other players:\n" + from_others +
                      "If you wish to accept any of these offers type \"accept n\"\n"
                      "or just \"accept\" if there is only one offer.";
    send(s, text);
}

void Server::cmd_finger(Session& s, std::string_view args)
{
    Session* who = &s;
    if (!args.empty()) {
        std::string_view rest;
        const std::string_view name = first_word(args, rest);
        who = online_by_name(name);
        if (!who) {
            if (auto account = options_.accounts.find(name))
                send(s, "Finger of " + account->handle + ":\n\n" + account->handle +
                            " is not logged in.");
            else
                send(s, "There is no player matching the name " + lower_case(name) + ".");
            return;
        }
    }
    const auto now = std::chrono::steady_clock::now();
    std::string text = "Finger of " + display_name(*who) + ":\n\n";
    text += "On for: " + duration_text(now - who->since) +
            "   Idle: " + duration_text(now - who->last_input) + "\n\n";
    if (who->computer)
        text += "computer is this server's own computer player; challenge it with \"match "
                "computer\".";
    else if (!who->registered)
        text += who->name + " is NOT a registered player.";
    else
        text += who->name + " has not played any rated games.";
    if (LiveGame* g = game_of(*who))
        text += "\n\n(playing game " + std::to_string(g->game.number()) + ": " + g->white_name +
                " vs. " + g->black_name + ")";
    send(s, text);
}

void Server::cmd_history(Session& s, std::string_view args)
{
    Session* who = &s;
    if (!args.empty()) {
        std::string_view rest;
        who = find_user(s, first_word(args, rest));
        if (!who)
            return;
    }
    if (who->history.empty()) {
        send(s, who->name + " has no history games.");
        return;
    }
    std::string text = "History for " + who->name + ":";
    for (size_t i = 0; i < who->history.size(); ++i)
        text += "\n" + std::to_string(i + 1) + ": " + who->history[i];
    send(s, text);
}

// ---- talk
// ----------------------------------------------------------------------------------------

void Server::cmd_tell(Session& s, std::string_view args)
{
    std::string_view message;
    const std::string_view target = first_word(args, message);
    if (target.empty() || message.empty()) {
        send(s, "Usage: tell name message");
        return;
    }
    if (to_int(target)) {
        send(s, "Channels are not supported by this server; tell a player by name.");
        return;
    }
    Session* to = find_user(s, target);
    if (!to)
        return;
    send(*to, display_name(s) + " tells you: " + std::string(message));
    send(s, "(told " + to->name + ")");
}

void Server::cmd_say(Session& s, std::string_view args)
{
    if (args.empty()) {
        send(s, "Usage: say message");
        return;
    }
    LiveGame* g = game_of(s);
    Session* to = g ? opponent_in(*g, s) : nullptr;
    if (!to) {
        send(s, "I don't know whom to say that to.");
        return;
    }
    send(*to,
         display_name(s) + "[" + std::to_string(g->game.number()) + "] says: " + std::string(args));
    send(s, "(told " + to->name + ", who is playing)");
}

void Server::cmd_shout(Session& s, std::string_view args)
{
    if (args.empty()) {
        send(s, "Usage: shout message");
        return;
    }
    int heard = 0;
    for (auto& [id, u] : sessions_) {
        if (u.get() == &s || u->stage != Stage::Online || u->closing || u->computer ||
            !u->hear_shouts)
            continue;
        send(*u, display_name(s) + " shouts: " + std::string(args));
        ++heard;
    }
    send(s, "(" + std::to_string(heard) + " player(s) heard you shout)");
}

void Server::cmd_kibitz(Session& s, std::string_view args)
{
    game_talk(s, args, "kibitz", true);
}

void Server::cmd_whisper(Session& s, std::string_view args)
{
    game_talk(s, args, "whisper", false);
}

void Server::game_talk(Session& s, std::string_view args, std::string_view verb, bool players_hear)
{
    const std::string word(verb);
    if (args.empty()) {
        send(s, "Usage: " + word + " message");
        return;
    }
    LiveGame* g = game_of(s);
    if (!g && !s.observing.empty())
        g = live_game(*s.observing.begin());
    if (!g) {
        send(s, "You are not playing or observing a game.");
        return;
    }
    const std::string line = display_name(s) + "(" + rating_text(s) + ")[" +
                             std::to_string(g->game.number()) + "] " + word +
                             (verb == "kibitz" ? "es: " : "s: ") + std::string(args);
    std::set<int> audience = g->observers;
    if (players_hear)
        audience.insert({g->white, g->black});
    int told = 0;
    for (int id : audience) {
        Session* u = session(id);
        if (!u || u == &s || u->computer)
            continue;
        send(*u, line);
        ++told;
    }
    send(s, "(" + word + "ed to " + std::to_string(told) + " player(s))");
}

// ---- observing
// -----------------------------------------------------------------------------------

Server::LiveGame* Server::game_named(Session& s, std::string_view what)
{
    if (auto number = to_int(what)) {
        LiveGame* g = live_game(*number);
        if (!g)
            send(s, "There is no such game.");
        return g;
    }
    Session* player = find_user(s, what);
    if (!player)
        return nullptr;
    for (auto& [number, g] : games_)
        if (g.white == player->id || g.black == player->id)
            return &g;
    send(s, player->name + " is not playing a game.");
    return nullptr;
}

void Server::cmd_observe(Session& s, std::string_view args)
{
    std::string_view rest;
    const std::string_view what = first_word(args, rest);
    if (what.empty()) {
        send(s, "Usage: observe game_number|name");
        return;
    }
    LiveGame* g = game_named(s, what);
    if (!g)
        return;
    const int number = g->game.number();
    if (g->white == s.id || g->black == s.id) {
        send(s, "You cannot observe a game that you are playing.");
        return;
    }
    if (s.observing.count(number)) {
        send(s, "You are already observing game " + std::to_string(number) + ".");
        return;
    }
    s.observing.insert(number);
    g->observers.insert(s.id);
    send(s, "You are now observing game " + std::to_string(number) + ".");
    send(s, "Game " + std::to_string(number) + ": " + game_title(*g));
    send_board(*g, s);
}

void Server::stop_observing(Session& s, int number)
{
    s.observing.erase(number);
    if (LiveGame* g = live_game(number))
        g->observers.erase(s.id);
}

void Server::cmd_unobserve(Session& s, std::string_view args)
{
    if (s.observing.empty()) {
        send(s, "You are not observing any games.");
        return;
    }
    std::vector<int> which;
    if (args.empty()) {
        which.assign(s.observing.begin(), s.observing.end());
    } else if (auto number = to_int(args); number && s.observing.count(*number)) {
        which.push_back(*number);
    } else {
        send(s, "You are not observing game " + std::string(args) + ".");
        return;
    }
    for (int number : which) {
        stop_observing(s, number);
        send(s, "Removing game " + std::to_string(number) + " from observation list.");
    }
}

void Server::cmd_refresh(Session& s, std::string_view args)
{
    if (!args.empty()) {
        if (LiveGame* named = game_named(s, args))
            send_board(*named, s);
        return;
    }
    if (LiveGame* own = game_of(s)) {
        send_board(*own, s);
        return;
    }
    if (s.observing.empty())
        send(s, "You are neither playing, observing nor examining a game.");
    for (int number : s.observing)
        if (LiveGame* g = live_game(number))
            send_board(*g, s);
}

// The move list in the lineage's layout, times as the user's board lines give them.
void Server::cmd_moves(Session& s, std::string_view args)
{
    LiveGame* g = nullptr;
    if (!args.empty()) {
        if (!(g = game_named(s, args)))
            return;
    } else if (!(g = game_of(s)) && !s.observing.empty()) {
        g = live_game(*s.observing.begin());
    }
    if (!g) {
        send(s, kNoGame);
        return;
    }
    const TimeControl& tc = g->game.control();
    std::string type = tc.category();
    char date[64];
    const std::time_t started = std::chrono::system_clock::to_time_t(g->started);
    std::tm local{};
    std::strftime(date, sizeof date, "%a %b %e, %H:%M %Z %Y", ::localtime_r(&started, &local));
    char line[512];
    std::snprintf(line, sizeof line,
                  "\n%s (UNR) vs. %s (UNR) --- %s\nUnrated %s match, initial time: %d minutes, "
                  "increment: %d seconds.\n\nMove  %-19s%-19s\n"
                  "----  ----------------   ----------------",
                  g->white_name.c_str(), g->black_name.c_str(), date, type.c_str(), tc.minutes,
                  tc.increment, g->white_name.c_str(), g->black_name.c_str());
    std::string text = "\nMovelist for game " + std::to_string(g->game.number()) + ":\n" + line;
    const auto& plies = g->game.plies();
    for (size_t i = 0; i < plies.size(); ++i) {
        char move[64];
        std::snprintf(move, sizeof move, "%-7s %s", plies[i].short_move.c_str(),
                      move_time_text(plies[i].taken_ms, s.has("ms")).c_str());
        if (i % 2 == 0)
            std::snprintf(line, sizeof line, "\n%3zu.  %-16s", i / 2 + 1, move);
        else
            std::snprintf(line, sizeof line, "   %-16s", move);
        text += line;
    }
    text += "\n      {Still in progress} *";
    send(s, text);
}

} // namespace ficsd
