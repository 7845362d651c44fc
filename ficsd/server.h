// The ficsd server: one thread, one poll loop over the listening socket, every client and the
// engine's pipes; the login flow, the command interpreter, seeks, offers, games, observers and
// the computer player.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "ficsd/accounts.h"
#include "ficsd/engine.h"
#include "ficsd/game.h"
#include "ficsd/telnet_text.h"
#include "sim/unique_fd.h"

namespace ficsd {

using sim::UniqueFd;

struct ServerOptions {
    std::string host = "127.0.0.1";
    int port = 5000; // 0: any free port
    Accounts accounts;
    EngineOptions engine;
    bool computer = true;
    // How long a seek stays open to people before the computer takes it.
    int computer_seek_delay_ms = 1000;
    // Game clocks run this many times faster than the wall clock (for fast test games).
    double clock_scale = 1.0;
    unsigned seed = std::random_device{}();
    // When set, every line a client sends is appended to this file as "NAME: LINE" (passwords
    // masked), so a test can check what the server received.
    std::string input_log;
};

class Server {
  public:
    // Binds and listens; throws std::runtime_error naming the failing call and errno.
    explicit Server(ServerOptions options);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    int port() const { return port_; }
    const std::string& host() const { return options_.host; }
    // Runs the loop until request_stop (which is safe to call from a signal handler).
    void run();
    static void request_stop();

  private:
    enum class Stage { Login, Password, PressReturn, Online };

    struct Session {
        int id = 0;
        UniqueFd fd;
        LineReader reader;
        std::string out;
        Stage stage = Stage::Login;
        std::string name;
        bool registered = false;
        bool computer = false;
        bool closing = false;    // drop as soon as the output has been written
        bool block_open = false; // a notice was started and still needs its prompt
        int width = kDefaultWidth;
        int style = 1;
        bool open = true;
        bool seek_ads = true;
        bool hear_shouts = true;
        int default_time = 2;
        int default_increment = 12;
        PieceType promote = Queen; // for promotions given without a piece; queen at each start
        // The interface variables set ("ms", "nowrap", ...); looked up by view, as every line
        // sent asks for "nowrap".
        std::set<std::string, std::less<>> ivariables;
        bool has(std::string_view ivariable) const { return ivariables.contains(ivariable); }
        int game = 0;
        std::set<int> observing;
        int games_as_white = 0;
        int games_as_black = 0;
        std::chrono::steady_clock::time_point since;
        std::chrono::steady_clock::time_point last_input;
        std::vector<std::string> history; // the last games, oldest first
    };

    struct Seek {
        int index = 0;
        int owner = 0;
        TimeControl control;
        std::optional<Color> colour;
        bool manual = false;
        std::chrono::steady_clock::time_point posted;
    };

    enum class OfferKind { Match, Draw, Abort, Adjourn, Takeback };
    struct Offer {
        int id = 0;
        OfferKind kind = OfferKind::Match;
        int from = 0;
        int to = 0;
        TimeControl control;              // Match
        std::optional<Color> from_colour; // Match
        int plies = 0;                    // Takeback
        int game = 0;                     // Draw, Abort, Adjourn, Takeback
    };

    struct LiveGame {
        Game game;
        int white = 0;
        int black = 0;
        std::string white_name;
        std::string black_name;
        std::string white_rating;
        std::string black_rating;
        std::set<int> observers;
        std::chrono::system_clock::time_point started = std::chrono::system_clock::now();
    };

    using Handler = void (Server::*)(Session&, std::string_view);
    struct Command {
        std::string_view name;
        Handler handler = nullptr;
        std::string_view reply = {};
        std::string_view reply_with_args = {};
    };
    static const std::vector<Command>& commands();

    // ---- the loop (server.cpp)
    void poll_once();
    void accept_clients();
    void read_client(Session& s);
    void write_client(Session& s);
    // Ends the session of a client that is gone or does not read: its game, seeks and offers.
    void drop(Session& s);
    void drop_closed_sessions();
    int poll_timeout_ms() const;
    GameMs game_now() const;

    // ---- output (server.cpp)
    void begin_event(int session_id);
    void end_event();
    void send(Session& s, std::string_view text);
    void send_raw(Session& s, std::string_view bytes);

    // ---- login (server.cpp)
    void greet(Session& s);
    void handle_line(Session& s, std::string line);
    void log_input(const Session& s, std::string_view line);
    void login_name(Session& s, std::string_view line);
    void login_password(Session& s, std::string_view line);
    void enter_server(Session& s);
    std::string new_guest_name();
    void leave(Session& s);

    // ---- users (server.cpp)
    Session* session(int id);
    Session* online_by_name(std::string_view name);
    // Exact name, else a unique prefix; answers the user when neither is found.
    Session* find_user(Session& asking, std::string_view name);
    static std::string display_name(const Session& s);
    static std::string rating_text(const Session& s);

    // ---- commands (server_commands.cpp)
    void run_command(Session& s, std::string_view line);
    void cmd_abort(Session& s, std::string_view args);
    void cmd_accept(Session& s, std::string_view args);
    void cmd_adjourn(Session& s, std::string_view args);
    void cmd_decline(Session& s, std::string_view args);
    void cmd_draw(Session& s, std::string_view args);
    void cmd_finger(Session& s, std::string_view args);
    void cmd_flag(Session& s, std::string_view args);
    void cmd_games(Session& s, std::string_view args);
    void cmd_help(Session& s, std::string_view args);
    void cmd_history(Session& s, std::string_view args);
    void cmd_iset(Session& s, std::string_view args);
    void cmd_kibitz(Session& s, std::string_view args);
    void cmd_match(Session& s, std::string_view args);
    void cmd_moretime(Session& s, std::string_view args);
    void cmd_moves(Session& s, std::string_view args);
    void cmd_observe(Session& s, std::string_view args);
    void cmd_pending(Session& s, std::string_view args);
    void cmd_play(Session& s, std::string_view args);
    void cmd_quit(Session& s, std::string_view args);
    void cmd_promote(Session& s, std::string_view args);
    void cmd_refresh(Session& s, std::string_view args);
    void cmd_resign(Session& s, std::string_view args);
    void cmd_say(Session& s, std::string_view args);
    void cmd_seek(Session& s, std::string_view args);
    void cmd_set(Session& s, std::string_view args);
    void cmd_shout(Session& s, std::string_view args);
    void cmd_sought(Session& s, std::string_view args);
    void cmd_stored(Session& s, std::string_view args);
    void cmd_style(Session& s, std::string_view args);
    void cmd_takeback(Session& s, std::string_view args);
    void cmd_tell(Session& s, std::string_view args);
    void cmd_unalias(Session& s, std::string_view args);
    void cmd_unobserve(Session& s, std::string_view args);
    void cmd_unseek(Session& s, std::string_view args);
    void cmd_variables(Session& s, std::string_view args);
    void cmd_whisper(Session& s, std::string_view args);
    // Kibitz and whisper: to the game s plays or observes; the players hear only kibitzes.
    void game_talk(Session& s, std::string_view args, std::string_view verb, bool players_hear);
    // The game that `what` names: its number, or a player in it; s is told when there is none.
    LiveGame* game_named(Session& s, std::string_view what);
    void cmd_who(Session& s, std::string_view args);
    void cmd_withdraw(Session& s, std::string_view args);
    // The offer to or from s that args name (a number, a name, or the only one), copied; when
    // there is none, s is told why and nothing is returned.
    std::optional<Offer> choose_offer(Session& s, std::string_view args, bool received,
                                      const char* verb);

    // ---- games, seeks and offers (server_games.cpp)
    LiveGame* game_of(const Session& s);
    LiveGame* live_game(int number);
    Color colour_in(const LiveGame& g, const Session& s) const;
    Session* opponent_in(const LiveGame& g, const Session& s);
    void start_game(Session& white, Session& black, TimeControl control);
    // A game from a seek or a challenge: the colour the offer asked for, else fair colours.
    void start_offered_game(Session& offerer, Session& other, std::optional<Color> colour,
                            TimeControl control);
    int free_game_number() const;
    void handle_move(Session& s, std::string_view text);
    void play_move(LiveGame& g, Move m);
    void check_position_end(LiveGame& g);
    void check_flags();
    void flag_side(LiveGame& g, Color loser);
    void end_game(LiveGame& g, const std::string& reason, const std::string& score,
                  bool rated_text);
    void send_board(LiveGame& g, Session& to);
    void send_boards(LiveGame& g);
    std::string game_title(const LiveGame& g) const;
    std::string match_text(const Session& from, std::optional<Color> colour, const Session& to,
                           TimeControl control) const;
    void post_seek(Session& s, TimeControl control, std::optional<Color> colour, bool manual);
    void answer_seek(Session& s, const Seek& seek);
    void remove_seeks_of(int session_id);
    void offer_match(Session& from, Session& to, TimeControl control, std::optional<Color> colour);
    void accept_offer(Session& s, const Offer& offer);
    // Declines (an offer to s) or withdraws (an offer from s); both sides are told.
    void close_offer(Session& s, const Offer& offer, std::string_view verb);
    Offer* find_offer(OfferKind kind, int from, int to);
    void remove_offer(int id);
    void remove_offers_involving(int session_id);
    void remove_game_offers(int game, std::optional<int> to);
    Offer& new_offer(OfferKind kind, int from, int to);
    void game_offer(Session& s, OfferKind kind, int plies);
    void do_takeback(LiveGame& g, int plies);
    void stop_observing(Session& s, int game);

    // ---- the computer player (server_games.cpp)
    void service_computer();
    void computer_takes_old_seeks();
    void computer_answers_offers();
    void computer_moves();
    void deliver_engine_answers();
    void computer_plays(LiveGame& g, const std::string& move_text);

    ServerOptions options_;
    UniqueFd listener_;
    int port_ = 0;
    std::map<int, std::unique_ptr<Session>> sessions_;
    std::map<int, LiveGame> games_;
    std::vector<Seek> seeks_;
    std::vector<Offer> offers_;
    int next_session_id_ = 1;
    int next_offer_id_ = 1;
    int computer_id_ = 0;
    int current_ = 0; // the session whose line is being handled, 0 for timer events
    std::vector<int> open_blocks_;
    std::unique_ptr<UciEngine> engine_;
    std::set<std::pair<int, int>> engine_asked_; // (game, ply) waiting for the engine
    std::mt19937 random_;
    std::chrono::steady_clock::time_point epoch_;
    UniqueFd input_log_;
};

} // namespace ficsd
