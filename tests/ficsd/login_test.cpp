// Login flows over loopback sockets, byte for byte.
#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>

#include "ficsd/telnet_text.h"
#include "ficsd_harness.h"

using namespace ficsd_test;
using ficsd::kWillEcho;
using ficsd::kWontEcho;

namespace {

// A server with the accounts Alice (secret) and bob (hunter2).
struct AccountsServer {
    static std::string write_accounts()
    {
        char path[] = "/tmp/ficsd-accounts-XXXXXX";
        ::close(::mkstemp(path));
        std::ofstream(path) << "# handle password\n\nAlice secret\nbob hunter2\n";
        return path;
    }
    ~AccountsServer() { ::unlink(path.c_str()); }
    std::string path = write_accounts();
    FicsdProcess server{{"--accounts", path}};
};

} // namespace

TEST(Login, GuestGetsAFreeNameAndEntersOnReturn)
{
    FicsdProcess server;
    Client c(server.port());
    c.read_until("login: ");
    c.line("guest");
    const std::string offer = c.read_until("\":");
    const std::string name = offer.substr(19, 9);
    EXPECT_EQ(name.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ", 5), std::string::npos);
    EXPECT_EQ(offer, "Logging you in as \"" + name +
                         "\"; you may use this name to play unrated games.\n\r"
                         "(After logging in, do \"help register\" for more info on how to "
                         "register.)\n\r\n\rPress return to enter the server as \"" +
                         name + "\":");
    c.line("");
    EXPECT_EQ(c.read_until("fics% "),
              "\n\r**** Starting FICS session as " + name + "(U) ****\n\r\n\rfics% ");
    EXPECT_EQ(c.ask("style 12"), "Style 12 set.\n\rfics% ");
    EXPECT_EQ(c.ask("set width 73"), "Width set to 73.\n\rfics% ");
}

TEST(Login, RegisteredNamesAndWrongPasswords)
{
    AccountsServer accounts;
    Client c(accounts.server.port());
    c.read_until("login: ");
    const std::string asked = "\"Alice\" is a registered name.  If it is yours, type the "
                              "password.\n\rIf not, just hit return to try another name.\n\r\n\r"
                              "password: " +
                              std::string(kWillEcho);
    // text typed, what comes back up to the server's next question
    const std::pair<std::string, std::string> rows[] = {
        {"ab", "A name should be at least 3 characters long!  Try again.\n\rlogin: "},
        {"a_b1", "Sorry, names can only consist of lower and upper case letters.  Try again."
                 "\n\rlogin: "},
        {"abcdefghijklmnopqr", "Sorry, names may be at most 17 characters long.  Try again."
                               "\n\rlogin: "},
        {"", "login: "},
        {"alice", asked},
        {"Secret", std::string(kWontEcho) + "\n\r**** Invalid password! ****\n\r\n\rlogin: "},
        {"alice", asked},
        {"", std::string(kWontEcho) + "\n\rlogin: "},
        {"alice", asked},
        {"secret", std::string(kWontEcho) + "\n\r**** Starting FICS session as Alice ****\n\r\n\r"
                                            "fics% "},
    };
    for (const auto& [typed, answer] : rows) {
        c.line(typed);
        EXPECT_EQ(c.read_until(answer.substr(answer.size() - 3)), answer) << typed;
    }
    Client walter(accounts.server.port());
    walter.read_until("login: ");
    walter.line("Walter");
    EXPECT_EQ(walter.read_until("\":"),
              "\"Walter\" is not a registered name.  You may use this name to play unrated "
              "games.\n\r(After logging in, do \"help register\" for more info on how to "
              "register.)\n\r\n\rPress return to enter the server as \"Walter\":");
    walter.line("anything");
    EXPECT_NE(walter.read_until("fics% ").find("session as Walter(U) ****"), std::string::npos);
}

TEST(Login, ThePluginsBlindSequenceWorksForGuestAndRegisteredUser)
{
    AccountsServer accounts;
    // All texts at once, before any prompt: "\r", handle, password, style, width; with a lone
    // CR or with an empty line first.
    for (const char* first : {"\r", "\r\n"}) {
        for (const char* login : {"guest\r\nanything", "alice\r\nsecret"}) {
            Client c(accounts.server.port());
            c.send(std::string(first) + login + "\r\nstyle 12\r\nset width 73\r\n");
            const std::string text = c.read_until("Width set to 73.\n\rfics% ");
            EXPECT_NE(text.find(" ****\n\r\n\rfics% Style 12 set.\n\rfics% Width set to 73."),
                      std::string::npos)
                << text;
        }
    }
}

TEST(Login, SecondLoginOfARegisteredUserReplacesTheFirst)
{
    AccountsServer accounts;
    Client first(accounts.server.port()), second(accounts.server.port());
    for (Client* c : {&first, &second}) {
        c->send("alice\r\nsecret\r\n");
        c->read_until("fics% ");
    }
    EXPECT_NE(first.read_until("logged in. ****").find("Alice has arrived"), std::string::npos);
    EXPECT_TRUE(first.wait_closed());
    EXPECT_NE(second.ask("who").find("2 players displayed (of 2)"), std::string::npos);
}
