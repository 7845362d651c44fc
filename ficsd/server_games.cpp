// ficsd games: seeks, challenges and offers, moves with their clocks, the ends of games,
// board lines to players and observers, and the computer player.
#include <algorithm>

#include "ficsd/board_line.h"
#include "ficsd/command_words.h"
#include "ficsd/move_notation.h"
#include "ficsd/server.h"

namespace ficsd {
namespace {

constexpr int kMaxSeeksPerUser = 3;
constexpr int kMaxMoretimeSeconds = 3600;
constexpr size_t kHistoryLength = 10;

// Time control and colour words of "seek" and "match": up to two numbers (minutes, increment),
// "white"/"black" (or "w"/"b"), "rated"/"unrated", "manual"/"auto". Nothing on a bad word.
struct GameTerms {
    TimeControl control;
    std::optional<Color> colour;
    bool manual = false;
};
std::optional<GameTerms> read_terms(const std::vector<std::string_view>& words, int time, int inc)
{
    GameTerms terms;
    std::vector<int> numbers;
    for (std::string_view w : words) {
        const std::string word = lower_case(w);
        if (auto n = to_int(word)) {
            if (*n < 0 || *n > 999 || numbers.size() == 2)
                return std::nullopt;
            numbers.push_back(*n);
        } else if (word == "white" || word == "w") {
            terms.colour = White;
        } else if (word == "black" || word == "b") {
            terms.colour = Black;
        } else if (word == "manual" || word == "m") {
            terms.manual = true;
        } else if (word != "rated" && word != "unrated" && word != "r" && word != "u" &&
                   word != "auto" && word != "a") {
            return std::nullopt;
        }
    }
    terms.control.minutes = numbers.empty() ? time : numbers[0];
    terms.control.increment = numbers.empty() ? inc : numbers.size() == 2 ? numbers[1] : 0;
    return terms;
}

} // namespace

// ---- lookups
// ---------------------------------------------------------------------------------------

Server::LiveGame* Server::live_game(int number)
{
    auto it = games_.find(number);
    return it == games_.end() ? nullptr : &it->second;
}

Server::LiveGame* Server::game_of(const Session& s)
{
    return s.game ? live_game(s.game) : nullptr;
}

Color Server::colour_in(const LiveGame& g, const Session& s) const
{
    return g.white == s.id ? White : Black;
}

Server::Session* Server::opponent_in(const LiveGame& g, const Session& s)
{
    return session(g.white == s.id ? g.black : g.white);
}

std::string Server::game_title(const LiveGame& g) const
{
    const TimeControl& tc = g.game.control();
    return g.white_name + " (" + g.white_rating + ") " + g.black_name + " (" + g.black_rating +
           ") unrated " + tc.category() + " " + std::to_string(tc.minutes) + " " +
           std::to_string(tc.increment);
}

std::string Server::match_text(const Session& from, std::optional<Color> colour, const Session& to,
                               TimeControl control) const
{
    std::string text = from.name + " (" + rating_text(from) + ")";
    if (colour)
        text += *colour == White ? " [white]" : " [black]";
    text += " " + to.name + " (" + rating_text(to) + ") unrated " + control.category() + " " +
            std::to_string(control.minutes) + " " + std::to_string(control.increment) + ".";
    return text;
}

// ---- board lines
// -------------------------------------------------------------------------------------

void Server::send_board(LiveGame& g, Session& to)
{
    const Game& game = g.game;
    const GameMs now = game_now();
    BoardLineFields f;
    f.position = &game.position();
    f.game_number = game.number();
    f.white_name = g.white_name;
    f.black_name = g.black_name;
    const bool playing = to.id == g.white || to.id == g.black;
    if (playing) {
        const bool to_move = colour_in(g, to) == game.position().side_to_move();
        f.relation = to_move ? Relation::PlayingToMove : Relation::PlayingOpponentToMove;
        f.black_at_bottom = colour_in(g, to) == Black;
    }
    f.initial_minutes = game.control().minutes;
    f.increment_seconds = game.control().increment;
    f.white_ms = game.remaining_ms(White, now);
    f.black_ms = game.remaining_ms(Black, now);
    f.verbose_move = game.last_verbose();
    f.move_ms = game.last_taken_ms();
    f.short_move = game.last_short();
    f.clock_ticking = game.clock_ticking() && !game.control().untimed();
    f.milliseconds = to.has("ms");
    send(to, to.style == 12 ? style12_line(f) : ascii_board(f));
}

void Server::send_boards(LiveGame& g)
{
    for (int id : {g.white, g.black})
        if (Session* s = session(id))
            send_board(g, *s);
    for (int id : g.observers)
        if (Session* s = session(id))
            send_board(g, *s);
}

// ---- starting games
// ----------------------------------------------------------------------------------

int Server::free_game_number() const
{
    int number = 1;
    while (games_.count(number))
        ++number;
    return number;
}

void Server::start_game(Session& white, Session& black, TimeControl control)
{
    const int number = free_game_number();
    LiveGame live{Game(number, control), white.id,           black.id, white.name, black.name,
                  rating_text(white),    rating_text(black), {}};
    LiveGame& g = games_.emplace(number, std::move(live)).first->second;
    for (Session* p : {&white, &black}) {
        if (!p->computer)
            p->game = number;
        p->promote = Queen;
        remove_seeks_of(p->id);
        // Challenges to or from a player who starts a game lapse.
        for (size_t i = offers_.size(); i-- > 0;) {
            const Offer& o = offers_[i];
            if (o.kind == OfferKind::Match && !p->computer && (o.from == p->id || o.to == p->id))
                offers_.erase(offers_.begin() + long(i));
        }
    }
    ++white.games_as_white;
    ++black.games_as_black;
    const std::string creating = "Creating: " + game_title(g);
    const std::string announce = "{Game " + std::to_string(number) + " (" + g.white_name + " vs. " +
                                 g.black_name + ") Creating unrated " + control.category() +
                                 " match.}";
    for (Session* p : {&white, &black}) {
        send(*p, creating + "\n" + announce);
        send_board(g, *p);
    }
}

// Colours when nobody asked for one: the player who has had White less often gets it; on a tie,
// the one who made the offer.
void Server::start_offered_game(Session& offerer, Session& other, std::optional<Color> colour,
                                TimeControl control)
{
    const bool offerer_white = colour ? *colour == White
                                      : offerer.games_as_white - offerer.games_as_black <=
                                            other.games_as_white - other.games_as_black;
    if (offerer_white)
        start_game(offerer, other, control);
    else
        start_game(other, offerer, control);
}

void Server::cmd_seek(Session& s, std::string_view args)
{
    if (game_of(s)) {
        send(s, "You cannot seek while you are playing a game.");
        return;
    }
    auto terms = read_terms(words_of(args), s.default_time, s.default_increment);
    if (!terms) {
        send(s, "Usage: seek [time inc] [white|black] [manual]");
        return;
    }
    post_seek(s, terms->control, terms->colour, terms->manual);
}

void Server::post_seek(Session& s, TimeControl control, std::optional<Color> colour, bool manual)
{
    // A matching seek of someone else starts the game at once.
    for (const Seek& other : seeks_) {
        if (other.owner == s.id || other.manual || manual ||
            other.control.minutes != control.minutes ||
            other.control.increment != control.increment)
            continue;
        if (colour && other.colour && *colour == *other.colour)
            continue;
        Session* owner = session(other.owner);
        if (!owner)
            continue;
        send(s, "Your seek matches one already posted by " + owner->name + ".");
        const Seek matched = other;
        answer_seek(s, matched);
        return;
    }
    const int mine = int(std::count_if(seeks_.begin(), seeks_.end(),
                                       [&](const Seek& k) { return k.owner == s.id; }));
    if (mine >= kMaxSeeksPerUser) {
        send(s, "You can only have " + std::to_string(kMaxSeeksPerUser) + " active seeks.");
        return;
    }
    int index = 1;
    while (
        std::any_of(seeks_.begin(), seeks_.end(), [&](const Seek& k) { return k.index == index; }))
        ++index;
    seeks_.push_back({index, s.id, control, colour, manual, std::chrono::steady_clock::now()});
    const std::string ad =
        s.name + " (" + rating_text(s) + ") seeking " + std::to_string(control.minutes) + " " +
        std::to_string(control.increment) + " unrated " + control.category() +
        (colour ? (*colour == White ? " [white]" : " [black]") : "") + (manual ? " m" : "") +
        " (\"play " + std::to_string(index) + "\" to respond)";
    int saw = 0;
    for (auto& [id, u] : sessions_) {
        if (u.get() == &s || u->stage != Stage::Online || u->closing || u->computer ||
            !u->seek_ads || u->game)
            continue;
        send(*u, ad);
        ++saw;
    }
    send(s, "Your seek has been posted with index " + std::to_string(index) + ".\n(" +
                std::to_string(saw) + " player(s) saw the seek.)");
}

void Server::answer_seek(Session& s, const Seek& seek)
{
    Session* owner = session(seek.owner);
    if (!owner)
        return;
    if (seek.manual) {
        std::optional<Color> colour;
        if (seek.colour)
            colour = opposite(*seek.colour);
        offer_match(s, *owner, seek.control, colour);
        return;
    }
    start_offered_game(*owner, s, seek.colour, seek.control);
}

void Server::cmd_play(Session& s, std::string_view args)
{
    args = trim(args);
    if (args.empty()) {
        send(s, "Usage: play index|name");
        return;
    }
    if (game_of(s)) {
        send(s, "You are playing a game.");
        return;
    }
    const Seek* found = nullptr;
    if (auto index = to_int(args)) {
        for (const Seek& k : seeks_)
            if (k.index == *index)
                found = &k;
    } else {
        for (const Seek& k : seeks_)
            if (Session* owner = session(k.owner);
                owner && lower_case(owner->name) == lower_case(args)) {
                found = &k;
                break;
            }
    }
    if (!found) {
        send(s, "That seek is not available.");
        return;
    }
    if (found->owner == s.id) {
        send(s, "You cannot accept your own seeks.");
        return;
    }
    const Seek seek = *found;
    answer_seek(s, seek);
}

void Server::remove_seeks_of(int session_id)
{
    std::erase_if(seeks_, [&](const Seek& k) { return k.owner == session_id; });
}

void Server::cmd_unseek(Session& s, std::string_view args)
{
    const size_t before = seeks_.size();
    if (auto index = to_int(trim(args)))
        std::erase_if(seeks_, [&](const Seek& k) { return k.owner == s.id && k.index == *index; });
    else
        remove_seeks_of(s.id);
    send(s,
         seeks_.size() == before ? "You have no active seeks." : "Your seeks have been removed.");
}

// ---- challenges and offers
// -----------------------------------------------------------------------------

Server::Offer& Server::new_offer(OfferKind kind, int from, int to)
{
    Offer o;
    o.id = next_offer_id_++;
    o.kind = kind;
    o.from = from;
    o.to = to;
    offers_.push_back(o);
    return offers_.back();
}

Server::Offer* Server::find_offer(OfferKind kind, int from, int to)
{
    for (Offer& o : offers_)
        if (o.kind == kind && o.from == from && o.to == to)
            return &o;
    return nullptr;
}

void Server::remove_offer(int id)
{
    std::erase_if(offers_, [&](const Offer& o) { return o.id == id; });
}

void Server::remove_offers_involving(int session_id)
{
    for (size_t i = offers_.size(); i-- > 0;) {
        const Offer o = offers_[i];
        if (o.from != session_id && o.to != session_id)
            continue;
        offers_.erase(offers_.begin() + long(i));
        if (o.kind == OfferKind::Match && o.from == session_id)
            if (Session* to = session(o.to); to && to->stage == Stage::Online)
                if (Session* from = session(o.from))
                    send(*to, "Challenge from " + from->name + " removed.");
    }
}

void Server::remove_game_offers(int game, std::optional<int> to)
{
    std::erase_if(offers_, [&](const Offer& o) {
        return o.kind != OfferKind::Match && o.game == game && (!to || o.to == *to);
    });
}

void Server::cmd_match(Session& s, std::string_view args)
{
    auto words = words_of(args);
    if (words.empty()) {
        send(s, "Usage: match name [time inc] [white|black]");
        return;
    }
    if (game_of(s)) {
        send(s, "You can't challenge while you are playing a game.");
        return;
    }
    Session* to = find_user(s, words[0]);
    if (!to)
        return;
    if (to == &s) {
        send(s, "You can't match yourself.");
        return;
    }
    auto terms = read_terms({words.begin() + 1, words.end()}, s.default_time, s.default_increment);
    if (!terms) {
        send(s, "Usage: match name [time inc] [white|black]");
        return;
    }
    if (game_of(*to)) {
        send(s, to->name + " is playing a game.");
        return;
    }
    if (!to->open) {
        send(s, to->name + " is not open to match requests.");
        return;
    }
    offer_match(s, *to, terms->control, terms->colour);
}

void Server::offer_match(Session& from, Session& to, TimeControl control,
                         std::optional<Color> colour)
{
    // The same challenge the other way round is an acceptance.
    if (Offer* theirs = find_offer(OfferKind::Match, to.id, from.id)) {
        const bool colours_fit = !theirs->from_colour || !colour || *theirs->from_colour != *colour;
        if (theirs->control.minutes == control.minutes &&
            theirs->control.increment == control.increment && colours_fit) {
            const Offer o = *theirs;
            accept_offer(from, o);
            return;
        }
    }
    if (Offer* previous = find_offer(OfferKind::Match, from.id, to.id)) {
        send(from, "Updating offer already made to \"" + to.name + "\".");
        remove_offer(previous->id);
    }
    Offer& o = new_offer(OfferKind::Match, from.id, to.id);
    o.control = control;
    o.from_colour = colour;
    const std::string text = match_text(from, colour, to, control);
    send(from, "Issuing: " + text);
    send(to, "Challenge: " + text +
                 "\nYou can \"accept\" or \"decline\", or propose different parameters.");
}

namespace {
// Each kind of offer in the order of OfferKind: its word ("accept draw"), its noun, and for the
// requests in a game what the sender is told and what the opponent reads after the name.
struct OfferWords {
    const char *word, *noun, *sent, *asks;
};
constexpr OfferWords kOfferWords[] = {
    {"match", "match offer", "", ""},
    {"draw", "draw request", "Draw request sent.", " offers you a draw."},
    {"abort", "abort request", "Abort request sent.",
     " would like to abort the game; type \"abort\" to accept."},
    {"adjourn", "adjourn request", "Adjourn request sent.",
     " would like to adjourn the game; type \"adjourn\" to accept."},
    {"takeback", "takeback request", "Takeback request sent.", " would like to take back "},
};
const char* offer_noun(int kind)
{
    return kOfferWords[kind].noun;
}
} // namespace

void Server::accept_offer(Session& s, const Offer& offer)
{
    Session* from = session(offer.from);
    remove_offer(offer.id);
    if (!from)
        return;
    const char* noun = offer_noun(int(offer.kind));
    send(s, std::string("You accept the ") + noun + " from " + from->name + ".");
    send(*from, s.name + " accepts the " + noun + ".");
    if (offer.kind == OfferKind::Match) {
        if (game_of(*from)) {
            send(s, from->name + " is playing a game.");
            return;
        }
        start_offered_game(*from, s, offer.from_colour, offer.control);
        return;
    }
    LiveGame* g = live_game(offer.game);
    if (!g)
        return;
    switch (offer.kind) {
    case OfferKind::Draw:
        end_game(*g, "Game drawn by mutual agreement", "1/2-1/2", true);
        break;
    case OfferKind::Abort:
        end_game(*g, "Game aborted by mutual agreement", "*", false);
        break;
    case OfferKind::Adjourn: // this server keeps no adjourned games
        end_game(*g, "Game adjourned by mutual agreement", "*", false);
        break;
    case OfferKind::Takeback:
        do_takeback(*g, offer.plies);
        break;
    case OfferKind::Match:
        break;
    }
}

void Server::close_offer(Session& s, const Offer& offer, std::string_view verb)
{
    const bool mine = offer.from == s.id;
    Session* other = session(mine ? offer.to : offer.from);
    remove_offer(offer.id);
    if (!other)
        return;
    const std::string noun = offer_noun(int(offer.kind));
    send(s, "You " + std::string(verb) + " the " + noun + (mine ? " to " : " from ") + other->name +
                ".");
    send(*other, s.name + " " + std::string(verb) + "s the " + noun + ".");
}

namespace {
// Picks one offer from a list by "n" (its number), by name, or the only one there is.
template <typename Offers, typename NameOf>
std::optional<size_t> pick_offer(const Offers& list, std::string_view args, NameOf name_of,
                                 std::string& problem, const char* verb)
{
    args = trim(args);
    if (list.empty()) {
        problem = std::string("You have no offers to ") + verb + ".";
        return std::nullopt;
    }
    if (args.empty()) {
        if (list.size() == 1)
            return 0;
        problem = std::string("You have more than one offer to ") + verb +
                  ".\nUse \"pending\" to see them and \"" + verb + " n\" to choose which one.";
        return std::nullopt;
    }
    if (auto n = to_int(args)) {
        for (size_t i = 0; i < list.size(); ++i)
            if (list[i].id == *n)
                return i;
        problem = "There is no offer " + std::to_string(*n) + " to " + verb + ".";
        return std::nullopt;
    }
    const std::string wanted = lower_case(args);
    for (size_t i = 0; i < list.size(); ++i) {
        if (lower_case(name_of(list[i])) == wanted || kOfferWords[list[i].kind].word == wanted)
            return i;
    }
    problem = "There are no offers from or to " + std::string(args) + " to " + verb + ".";
    return std::nullopt;
}

struct OfferRef {
    int id;
    int kind;
    int other;
};
} // namespace

std::optional<Server::Offer> Server::choose_offer(Session& s, std::string_view args, bool received,
                                                  const char* verb)
{
    std::vector<OfferRef> mine;
    for (const Offer& o : offers_) {
        if (received && o.to == s.id)
            mine.push_back({o.id, int(o.kind), o.from});
        else if (!received && o.from == s.id)
            mine.push_back({o.id, int(o.kind), o.to});
    }
    std::string problem;
    auto name_of = [&](const OfferRef& r) {
        Session* u = session(r.other);
        return u ? u->name : "";
    };
    auto pick = pick_offer(mine, args, name_of, problem, verb);
    if (!pick) {
        send(s, problem);
        return std::nullopt;
    }
    for (const Offer& o : offers_)
        if (o.id == mine[*pick].id)
            return o;
    return std::nullopt;
}

void Server::cmd_accept(Session& s, std::string_view args)
{
    if (auto offer = choose_offer(s, args, true, "accept"))
        accept_offer(s, *offer);
}

void Server::cmd_decline(Session& s, std::string_view args)
{
    if (auto offer = choose_offer(s, args, true, "decline"))
        close_offer(s, *offer, "decline");
}

void Server::cmd_withdraw(Session& s, std::string_view args)
{
    if (auto offer = choose_offer(s, args, false, "withdraw"))
        close_offer(s, *offer, "withdraw");
}

// Draw, abort, adjourn and takeback: the same request from the other side is an acceptance.
void Server::game_offer(Session& s, OfferKind kind, int plies)
{
    LiveGame* g = game_of(s);
    Session* other = g ? opponent_in(*g, s) : nullptr;
    if (!g || !other) {
        send(s, kNoGame);
        return;
    }
    if (Offer* theirs = find_offer(kind, other->id, s.id);
        theirs && (kind != OfferKind::Takeback || theirs->plies == plies)) {
        const Offer o = *theirs;
        accept_offer(s, o);
        return;
    }
    if (Offer* previous = find_offer(kind, s.id, other->id))
        remove_offer(previous->id);
    Offer& o = new_offer(kind, s.id, other->id);
    o.game = g->game.number();
    o.plies = plies;
    const OfferWords& words = kOfferWords[int(kind)];
    send(s, words.sent);
    send(*other, s.name + words.asks +
                     (kind == OfferKind::Takeback ? std::to_string(plies) + " half move(s)." : ""));
}

void Server::cmd_draw(Session& s, std::string_view)
{
    LiveGame* g = game_of(s);
    if (!g) {
        send(s, kNoGame);
        return;
    }
    // Claims the rules grant at once, without the opponent.
    if (g->game.repetitions() >= 3) {
        end_game(*g, "Game drawn by repetition", "1/2-1/2", true);
        return;
    }
    if (g->game.position().halfmove_clock() >= 100) {
        end_game(*g, "Game drawn by the 50 move rule", "1/2-1/2", true);
        return;
    }
    game_offer(s, OfferKind::Draw, 0);
}

void Server::cmd_abort(Session& s, std::string_view)
{
    LiveGame* g = game_of(s);
    if (!g) {
        send(s, kNoGame);
        return;
    }
    if (g->game.ply_count() < 2) {
        end_game(*g, "Game aborted on move 1", "*", false);
        return;
    }
    game_offer(s, OfferKind::Abort, 0);
}

void Server::cmd_takeback(Session& s, std::string_view args)
{
    LiveGame* g = game_of(s);
    if (!g) {
        send(s, kNoGame);
        return;
    }
    int plies = 1;
    if (!trim(args).empty()) {
        auto n = to_int(trim(args));
        if (!n || *n < 1) {
            send(s, "Usage: takeback [half moves]");
            return;
        }
        plies = *n;
    }
    if (plies > g->game.ply_count()) {
        send(s,
             "There are only " + std::to_string(g->game.ply_count()) + " half moves in your game.");
        return;
    }
    game_offer(s, OfferKind::Takeback, plies);
}

void Server::do_takeback(LiveGame& g, int plies)
{
    plies = std::min(plies, g.game.ply_count());
    g.game.take_back(plies, game_now());
    remove_game_offers(g.game.number(), std::nullopt);
    const std::string text = "Game " + std::to_string(g.game.number()) + ": " +
                             std::to_string(plies) +
                             " half move(s) taken back by takeback request.";
    for (int id : {g.white, g.black})
        if (Session* p = session(id))
            send(*p, text);
    for (int id : g.observers)
        if (Session* p = session(id))
            send(*p, text);
    send_boards(g);
}

void Server::cmd_resign(Session& s, std::string_view)
{
    LiveGame* g = game_of(s);
    if (!g) {
        send(s, kNoGame);
        return;
    }
    const Color colour = colour_in(*g, s);
    end_game(*g, (colour == White ? g->white_name : g->black_name) + " resigns",
             colour == White ? "0-1" : "1-0", true);
}

void Server::cmd_flag(Session& s, std::string_view)
{
    LiveGame* g = game_of(s);
    if (!g) {
        send(s, kNoGame);
        return;
    }
    const Color them = opposite(colour_in(*g, s));
    if (!g->game.out_of_time(them, game_now())) {
        send(s, "Your opponent is not out of time.");
        return;
    }
    flag_side(*g, them);
}

void Server::cmd_moretime(Session& s, std::string_view args)
{
    LiveGame* g = game_of(s);
    if (!g) {
        send(s, kNoGame);
        return;
    }
    auto seconds = to_int(trim(args));
    if (!seconds || *seconds < 1 || *seconds > kMaxMoretimeSeconds) {
        send(s, "Usage: moretime seconds (1 to " + std::to_string(kMaxMoretimeSeconds) + ")");
        return;
    }
    if (g->game.control().untimed()) {
        send(s, "Your game has no clock.");
        return;
    }
    const Color them = opposite(colour_in(*g, s));
    g->game.add_time(them, GameMs(*seconds) * 1000);
    Session* other = opponent_in(*g, s);
    const std::string other_name = them == White ? g->white_name : g->black_name;
    send(s,
         other_name + "'s clock has been increased by " + std::to_string(*seconds) + " seconds.");
    if (other)
        send(*other, s.name + " has added " + std::to_string(*seconds) + " seconds to your clock.");
    send_boards(*g);
}

// ---- moves and the ends of games
// -----------------------------------------------------------------

void Server::handle_move(Session& s, std::string_view text)
{
    LiveGame* g = game_of(s);
    if (!g) {
        send(s, kNoGame);
        return;
    }
    const Color mine = colour_in(*g, s);
    if (g->game.position().side_to_move() != mine) {
        send(s, "It is not your move.");
        return;
    }
    const ParsedMove parsed = parse_move(g->game.position(), text, s.promote);
    if (parsed.result == MoveParse::Ambiguous) {
        send(s, "Ambiguous move (" + std::string(text) + ").");
        return;
    }
    if (parsed.result != MoveParse::Ok) {
        send(s, "Illegal move (" + std::string(text) + ").");
        return;
    }
    if (g->game.out_of_time(mine, game_now())) {
        flag_side(*g, mine);
        return;
    }
    play_move(*g, parsed.move);
}

void Server::play_move(LiveGame& g, Move m)
{
    const Color mover = g.game.position().side_to_move();
    g.game.play(m, game_now());
    // A move answers the opponent's pending requests: they lapse.
    remove_game_offers(g.game.number(), mover == White ? g.white : g.black);
    send_boards(g);
    check_position_end(g);
}

void Server::check_position_end(LiveGame& g)
{
    const Position& pos = g.game.position();
    MoveList list;
    pos.legal_moves(list);
    if (list.size == 0 && pos.in_check()) {
        const bool white_mated = pos.side_to_move() == White;
        end_game(g, (white_mated ? g.white_name : g.black_name) + " checkmated",
                 white_mated ? "0-1" : "1-0", true);
    } else if (list.size == 0) {
        end_game(g, "Game drawn by stalemate", "1/2-1/2", true);
    } else if (pos.is_insufficient_material()) {
        end_game(g, "Game drawn because neither player has mating material", "1/2-1/2", true);
    } else if (g.game.repetitions() >= 5) {
        // Threefold repetition and fifty moves are claimed with "draw"; fivefold and
        // seventy-five moves end the game without a claim.
        end_game(g, "Game drawn by repetition", "1/2-1/2", true);
    } else if (pos.halfmove_clock() >= 150) {
        end_game(g, "Game drawn by the 50 move rule", "1/2-1/2", true);
    }
}

void Server::check_flags()
{
    const GameMs now = game_now();
    std::vector<int> fallen;
    for (auto& [number, g] : games_)
        if (g.game.out_of_time(g.game.position().side_to_move(), now))
            fallen.push_back(number);
    for (int number : fallen)
        if (LiveGame* g = live_game(number))
            flag_side(*g, g->game.position().side_to_move());
}

void Server::flag_side(LiveGame& g, Color loser)
{
    const std::string& loser_name = loser == White ? g.white_name : g.black_name;
    const std::string& winner_name = loser == White ? g.black_name : g.white_name;
    if (g.game.ply_count() < 2) {
        end_game(g, "Game aborted on move 1", "*", false);
    } else if (g.game.position().lacks_mating_material(opposite(loser))) {
        end_game(g, loser_name + " ran out of time and " + winner_name + " has no material to mate",
                 "1/2-1/2", true);
    } else {
        end_game(g, loser_name + " forfeits on time", loser == White ? "0-1" : "1-0", true);
    }
}

void Server::end_game(LiveGame& g, const std::string& reason, const std::string& score,
                      bool rated_text)
{
    const int number = g.game.number();
    const std::string line = "{Game " + std::to_string(number) + " (" + g.white_name + " vs. " +
                             g.black_name + ") " + reason + "} " + score;
    for (int id : {g.white, g.black}) {
        Session* p = session(id);
        if (!p)
            continue;
        send(*p, rated_text ? line + "\nNo ratings adjustment done." : line);
        if (!p->computer)
            p->game = 0;
        p->history.push_back(g.white_name + " vs. " + g.black_name + " " + score + " " + reason);
        if (p->history.size() > kHistoryLength)
            p->history.erase(p->history.begin());
    }
    for (int id : g.observers) {
        if (Session* o = session(id)) {
            send(*o, line);
            o->observing.erase(number);
        }
    }
    remove_game_offers(number, std::nullopt);
    games_.erase(number);
}

// ---- the computer player
// --------------------------------------------------------------------------

void Server::service_computer()
{
    if (!computer_id_)
        return;
    deliver_engine_answers();
    computer_answers_offers();
    computer_takes_old_seeks();
    computer_moves();
}

void Server::computer_answers_offers()
{
    Session* computer = session(computer_id_);
    for (size_t i = 0; i < offers_.size();) {
        const Offer o = offers_[i];
        if (o.to != computer_id_) {
            ++i;
            continue;
        }
        // A friendly practice partner: plays, aborts and takes back, but plays on for a win.
        if (o.kind == OfferKind::Draw)
            close_offer(*computer, o, "decline");
        else
            accept_offer(*computer, o);
        i = 0;
    }
}

void Server::computer_takes_old_seeks()
{
    const auto now = std::chrono::steady_clock::now();
    const auto delay = std::chrono::milliseconds(options_.computer_seek_delay_ms);
    // Manual seeks ask for a person's choice of opponent: the computer leaves them alone.
    std::vector<Seek> due;
    for (const Seek& seek : seeks_)
        if (now - seek.posted >= delay && !seek.manual)
            due.push_back(seek);
    for (const Seek& seek : due) {
        const bool still_open = std::any_of(seeks_.begin(), seeks_.end(), [&](const Seek& k) {
            return k.index == seek.index && k.owner == seek.owner;
        });
        Session* owner = session(seek.owner);
        if (still_open && owner && !owner->computer)
            answer_seek(*session(computer_id_), seek);
    }
}

void Server::computer_moves()
{
    for (auto& [number, g] : games_) {
        const Color to_move = g.game.position().side_to_move();
        if ((to_move == White ? g.white : g.black) != computer_id_)
            continue;
        const auto key = std::make_pair(number, g.game.ply_count());
        if (engine_asked_.count(key))
            continue;
        engine_asked_.insert(key);
        MoveRequest request{number, g.game.ply_count(), g.game.start_position().fen(),
                            g.game.uci_moves(), g.game.position()};
        engine_->request(std::move(request));
    }
    deliver_engine_answers();
}

void Server::deliver_engine_answers()
{
    std::vector<MoveAnswer> answers = engine_->take_answers();
    for (MoveRequest& failed : engine_->take_failed()) {
        MoveList list;
        failed.position.legal_moves(list);
        if (list.size == 0)
            continue;
        answers.push_back(
            {failed.game, failed.ply, uci_notation(builtin_move(failed.position, random_))});
    }
    for (const MoveAnswer& a : answers) {
        engine_asked_.erase({a.game, a.ply});
        LiveGame* g = live_game(a.game);
        if (!g || g->game.ply_count() != a.ply)
            continue;
        const Color to_move = g->game.position().side_to_move();
        if ((to_move == White ? g->white : g->black) != computer_id_)
            continue;
        computer_plays(*g, a.move);
    }
}

void Server::computer_plays(LiveGame& g, const std::string& move_text)
{
    std::optional<Move> move = uci_move(g.game.position(), move_text);
    if (!move) {
        MoveList list;
        g.game.position().legal_moves(list);
        if (list.size == 0)
            return;
        move = builtin_move(g.game.position(), random_);
    }
    if (g.game.out_of_time(g.game.position().side_to_move(), game_now())) {
        flag_side(g, g.game.position().side_to_move());
        return;
    }
    play_move(g, *move);
}

} // namespace ficsd
