// Login flows over loopback sockets against a running ficsd, byte for byte.
#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>

#include "ficsd_harness.h"

using namespace ficsd_test;

namespace {

// An accounts file in the test's own temporary folder.
class AccountsFile {
  public:
    explicit AccountsFile(const std::string& text)
    {
        char pattern[] = "/tmp/ficsd-accounts-XXXXXX";
        const int fd = ::mkstemp(pattern);
        path_ = pattern;
        ::close(fd);
        std::ofstream(path_) << text;
    }
    ~AccountsFile() { ::unlink(path_.c_str()); }
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

const std::string kWillEcho = "\xff\xfb\x01";
const std::string kWontEcho = "\xff\xfc\x01";

} // namespace

TEST(Login, GuestGetsAGeneratedNameAndEntersOnReturn)
{
    FicsdProcess server;
    Client c(server.port());
    c.read_until("login: ");
    c.line("guest");
    const std::string offer = c.read_until("\":");
    const std::string prefix = "Logging you in as \"";
    ASSERT_EQ(offer.substr(0, prefix.size()), prefix) << offer;
    const std::string name = offer.substr(prefix.size(), 9);
    ASSERT_EQ(name.substr(0, 5), "Guest") << offer;
    for (char letter : name.substr(5))
        EXPECT_TRUE(letter >= 'A' && letter <= 'Z') << name;
    EXPECT_EQ(offer, prefix + name +
                         "\"; you may use this name to play unrated games.\n\r"
                         "(After logging in, do \"help register\" for more info on how to "
                         "register.)\n\r\n\rPress return to enter the server as \"" +
                         name + "\":");
    c.line("");
    EXPECT_EQ(c.read_until("fics% "),
              "\n\r**** Starting FICS session as " + name + "(U) ****\n\r\n\rfics% ");
    c.line("style 12");
    EXPECT_EQ(c.read_until("fics% "), "Style 12 set.\n\rfics% ");
    c.line("set width 73");
    EXPECT_EQ(c.read_until("fics% "), "Width set to 73.\n\rfics% ");
}

TEST(Login, RegisteredUserTypesPasswordBetweenEchoCommands)
{
    AccountsFile accounts("# handle password\n\nAlice secret\nbob hunter2\n");
    FicsdProcess server({"--accounts", accounts.path()});
    Client c(server.port());
    c.read_until("login: ");
    c.line("alice");
    EXPECT_EQ(c.read_until(kWillEcho),
              "\"Alice\" is a registered name.  If it is yours, type the password.\n\r"
              "If not, just hit return to try another name.\n\r\n\rpassword: " +
                  kWillEcho);
    c.line("secret");
    EXPECT_EQ(c.read_until("fics% "),
              kWontEcho + "\n\r**** Starting FICS session as Alice ****\n\r\n\rfics% ");
}

TEST(Login, WrongPasswordAsksForTheLoginAgain)
{
    AccountsFile accounts("Alice secret\n");
    FicsdProcess server({"--accounts", accounts.path()});
    Client c(server.port());
    c.read_until("login: ");
    c.line("Alice");
    c.read_until(kWillEcho);
    c.line("Secret");
    EXPECT_EQ(c.read_until("login: "),
              kWontEcho + "\n\r**** Invalid password! ****\n\r\n\rlogin: ");
    // An empty password line goes back to the login too.
    c.line("alice");
    c.read_until(kWillEcho);
    c.line("");
    EXPECT_EQ(c.read_until("login: "), kWontEcho + "\n\rlogin: ");
    c.line("alice");
    c.read_until(kWillEcho);
    c.line("secret");
    EXPECT_NE(c.read_until("fics% ").find("**** Starting FICS session as Alice ****"),
              std::string::npos);
}

TEST(Login, UnregisteredAndInvalidNames)
{
    FicsdProcess server;
    Client c(server.port());
    c.read_until("login: ");
    // name typed, what the server answers up to its next prompt
    const std::pair<std::string, std::string> rows[] = {
        {"ab", "A name should be at least 3 characters long!  Try again.\n\rlogin: "},
        {"a_b1", "Sorry, names can only consist of lower and upper case letters.  Try again."
                 "\n\rlogin: "},
        {"abcdefghijklmnopqr", "Sorry, names may be at most 17 characters long.  Try again."
                               "\n\rlogin: "},
        {"", "login: "},
    };
    for (const auto& [name, answer] : rows) {
        c.line(name);
        EXPECT_EQ(c.read_until("login: "), answer) << name;
    }
    c.line("Walter");
    EXPECT_EQ(c.read_until("\":"),
              "\"Walter\" is not a registered name.  You may use this name to play unrated "
              "games.\n\r(After logging in, do \"help register\" for more info on how to "
              "register.)\n\r\n\rPress return to enter the server as \"Walter\":");
    c.line("anything");
    EXPECT_NE(c.read_until("fics% ").find("Starting FICS session as Walter(U)"), std::string::npos);
}

TEST(Login, ThePluginsBlindSequenceWorksForGuestAndRegisteredUser)
{
    AccountsFile accounts("Alice secret\n");
    FicsdProcess server({"--accounts", accounts.path()});
    // All five texts at once, before any prompt: "\r", handle, password, style, width. With a
    // lone CR or with an empty line first.
    for (const char* first : {"\r", "\r\n"}) {
        Client guest(server.port());
        guest.send(std::string(first) + "guest\r\nanything\r\nstyle 12\r\nset width 73\r\n");
        const std::string text = guest.read_until("Width set to 73.\n\rfics% ");
        EXPECT_NE(text.find("**** Starting FICS session as Guest"), std::string::npos) << text;
        EXPECT_NE(text.find("(U) ****\n\r\n\rfics% Style 12 set.\n\rfics% Width set to 73."),
                  std::string::npos)
            << text;

        Client alice(server.port());
        alice.send(std::string(first) + "alice\r\nsecret\r\nstyle 12\r\nset width 73\r\n");
        const std::string mine = alice.read_until("Width set to 73.\n\rfics% ");
        EXPECT_NE(mine.find(kWillEcho + kWontEcho +
                            "\n\r**** Starting FICS session as Alice ****\n\r\n\rfics% Style 12 "
                            "set.\n\rfics% Width set to 73."),
                  std::string::npos)
            << mine;
        alice.line("quit");
        EXPECT_TRUE(alice.wait_closed());
    }
}

TEST(Login, SecondLoginOfARegisteredUserReplacesTheFirst)
{
    AccountsFile accounts("Alice secret\n");
    FicsdProcess server({"--accounts", accounts.path()});
    Client first(server.port());
    first.login_registered("alice", "secret");
    Client second(server.port());
    second.login_registered("Alice", "secret");
    EXPECT_NE(first.read_until("can't both be logged in. ****").find("Alice has arrived"),
              std::string::npos);
    EXPECT_TRUE(first.wait_closed());
    second.line("who");
    const std::string who = second.read_until("fics% ");
    EXPECT_NE(who.find("Alice"), std::string::npos) << who;
    EXPECT_NE(who.find("2 players displayed (of 2)"), std::string::npos) << who;
}
