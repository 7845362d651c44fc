// Registered users of ficsd: a plain text file with one "handle password" pair per line.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace ficsd {

struct Account {
    std::string handle; // as written in the file
    std::string password;
};

class Accounts {
  public:
    // Reads the file: blank lines and lines starting with "#" are skipped; a line with a
    // handle that is not 3 to 17 letters, or without a password, is an error that names the
    // line. Throws std::runtime_error on an unreadable file or a bad line.
    static Accounts load(const std::string& path);
    void add(std::string handle, std::string password);
    // Case-insensitive lookup.
    std::optional<Account> find(std::string_view handle) const;

  private:
    std::map<std::string, Account> by_lower_name_;
};

std::string lower_case(std::string_view text);
// A handle is 3 to 17 letters; returns the reason it is not, or an empty text.
std::string handle_problem(std::string_view handle);

} // namespace ficsd
