// The protocol as conversations between clients and a real ficsd over loopback sockets, written
// down in conversations.txt; each scenario there is one test. A scenario's lines:
//   @ NAME GUESTS [ficsd arguments]   a fresh server, GUESTS guests logged in with style 12;
//                    "{accounts}" names a file with the accounts Alice (secret) and bob (hunter2)
//   N> LINE | TEXT   client N sends LINE and reads up to its next prompt, which must hold TEXT
//   N< TEXT          client N reads up to its next prompt, which must hold TEXT
//   N(               client N connects
//   N) LINE | TEXT   client N sends LINE (if any) and reads until the end of TEXT, which it must
//                    hold
//   N* M TERMS       guest N challenges guest M ("match M TERMS white"), who accepts
//   N+ MOVES         the moves, played in turn by guest N and its opponent, each seen by both
//   N. MS            nothing arrives for client N within MS milliseconds
//   N!               client N goes away
// A TEXT may leave out what varies: " ... " stands for any text. One that starts with "^" must
// start the text read. {0}, {1}, ... are the guests' names; \n \r \t \\ and \xHH are escapes.
// Lines starting with "#" are comments.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <sstream>

#include "ficsd_harness.h"

using namespace ficsd_test;

namespace {

struct Scenario {
    std::string name;
    std::vector<std::string> header; // the guests, then the server's arguments
    std::vector<std::pair<int, std::string>> lines;
    friend std::ostream& operator<<(std::ostream& out, const Scenario& s) { return out << s.name; }
};

std::vector<Scenario> read_scenarios()
{
    std::ifstream file(FICSD_CONVERSATIONS);
    std::vector<Scenario> all;
    int number = 0;
    for (std::string line; std::getline(file, line);) {
        ++number;
        if (line.rfind("@ ", 0) == 0) {
            std::istringstream words(line.substr(2));
            all.emplace_back();
            words >> all.back().name;
            for (std::string w; words >> w;)
                all.back().header.push_back(w);
        } else if (!line.empty() && line[0] != '#' && !all.empty()) {
            all.back().lines.emplace_back(number, line);
        }
    }
    return all;
}

std::string unescape(const std::string& text, const std::vector<std::string>& names)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '{' && i + 2 < text.size() && text[i + 2] == '}') {
            out += names.at(size_t(text[i + 1] - '0'));
            i += 2;
        } else if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
        } else if (const char c = text[++i]; c == 'x') {
            out += char(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c;
        }
    }
    return out;
}

// Whether `got` holds the pieces of `want` (split at " ... ") in order; "^": the first at 0.
bool matches(const std::string& got, std::string want)
{
    const bool at_start = want.rfind('^', 0) == 0;
    want.erase(0, at_start ? 1 : 0);
    for (size_t from = 0, first = 1;; first = 0) {
        const size_t cut = want.find(" ... ");
        const size_t at = got.find(want.substr(0, cut), from);
        if (at == std::string::npos || (first && at_start && at != 0))
            return false;
        if (cut == std::string::npos)
            return true;
        from = at + cut;
        want.erase(0, cut + 5);
    }
}

class Conversation : public testing::TestWithParam<Scenario> {};

TEST_P(Conversation, GoesAsWrittenDown)
{
    const Scenario& scenario = GetParam();
    std::vector<std::string> args(scenario.header.begin() + 1, scenario.header.end());
    char accounts[] = "/tmp/ficsd-accounts-XXXXXX";
    ::close(::mkstemp(accounts));
    std::ofstream(accounts) << "# handle password\n\nAlice secret\nbob hunter2\n";
    std::replace(args.begin(), args.end(), std::string("{accounts}"), std::string(accounts));
    FicsdProcess server(args);
    std::vector<std::unique_ptr<Client>> clients(10);
    std::vector<std::string> names;
    for (int i = 0; i < std::stoi(scenario.header.at(0)); ++i) {
        clients[size_t(i)] = std::make_unique<Client>(server.port());
        names.push_back(clients[size_t(i)]->login_guest());
    }
    // Sends a line (if any), reads up to `until` (the prompt, or the end of `want`) and checks.
    auto expect = [&](int who, const std::string& line, std::string want,
                      std::string until = "fics% ") {
        want = unescape(want, names);
        if (const size_t cut = want.rfind(" ... "); until.empty())
            until = want.substr(cut == std::string::npos ? want.rfind('^', 0) == 0 : cut + 5);
        if (!line.empty())
            clients.at(size_t(who))->line(unescape(line, names));
        const std::string got = clients.at(size_t(who))->read_until(until);
        EXPECT_TRUE(matches(got, want)) << "wanted: " << want << "\nread: " << got;
    };
    int white = 0, black = 1;
    for (const auto& [number, line] : scenario.lines) {
        SCOPED_TRACE("conversations.txt:" + std::to_string(number) + ": " + line);
        int who = line.at(0) - '0';
        const std::string rest = line.substr(std::min<size_t>(3, line.size()));
        const size_t bar = rest.find(" | ");
        const std::string sent = rest.substr(0, bar),
                          want = rest.substr(std::min(bar + 3, rest.size()));
        std::istringstream words(rest);
        switch (line.at(1)) {
        case '>':
            expect(who, sent, bar == std::string::npos ? "" : want);
            break;
        case '<':
            expect(who, "", rest);
            break;
        case ')':
            expect(who, sent, want, "");
            break;
        case '(':
            clients.at(size_t(who)) = std::make_unique<Client>(server.port());
            break;
        case '*':
            white = who;
            black = rest.at(0) - '0';
            expect(white, "match {" + rest.substr(0, 1) + "}" + rest.substr(1) + " white", "");
            expect(black, "", "Challenge:");
            expect(black, "accept", "<12> ");
            expect(white, "", "<12> ");
            break;
        case '+':
            for (std::string move; words >> move;) {
                expect(who, move, "<12> ");
                expect(who = who == white ? black : white, "", "<12> ");
            }
            break;
        case '.':
            EXPECT_EQ(clients.at(size_t(who))->read_for(std::chrono::milliseconds(std::stoi(rest))),
                      "");
            break;
        case '!':
            clients.at(size_t(who))->close();
            break;
        default:
            ADD_FAILURE() << "a line of no known kind: " << line;
        }
    }
    ::unlink(accounts);
}

INSTANTIATE_TEST_SUITE_P(Ficsd, Conversation, testing::ValuesIn(read_scenarios()),
                         [](const auto& test) { return test.param.name; });

} // namespace
