// Registered users of ficsd: reading the accounts file and looking handles up.
#include "ficsd/accounts.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace ficsd {

std::string lower_case(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string handle_problem(std::string_view handle)
{
    for (char c : handle)
        if (!std::isalpha(static_cast<unsigned char>(c)))
            return "Sorry, names can only consist of lower and upper case letters.  Try again.";
    if (handle.size() < 3)
        return "A name should be at least 3 characters long!  Try again.";
    if (handle.size() > 17)
        return "Sorry, names may be at most 17 characters long.  Try again.";
    return "";
}

Accounts Accounts::load(const std::string& path)
{
    std::ifstream in(path);
    if (!in)
        throw std::runtime_error("open " + path + ": " + std::strerror(errno));
    Accounts accounts;
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        std::istringstream words(line);
        std::string handle, password, extra;
        if (!(words >> handle) || handle[0] == '#')
            continue;
        const std::string where = path + ":" + std::to_string(number) + ": ";
        if (!handle_problem(handle).empty())
            throw std::runtime_error(where + "a handle is 3 to 17 letters: " + handle);
        if (!(words >> password))
            throw std::runtime_error(where + "no password for " + handle);
        if (words >> extra)
            throw std::runtime_error(where + "expected \"handle password\"");
        accounts.add(handle, password);
    }
    return accounts;
}

void Accounts::add(std::string handle, std::string password)
{
    std::string key = lower_case(handle);
    by_lower_name_[key] = Account{std::move(handle), std::move(password)};
}

std::optional<Account> Accounts::find(std::string_view handle) const
{
    auto it = by_lower_name_.find(lower_case(handle));
    if (it == by_lower_name_.end())
        return std::nullopt;
    return it->second;
}

} // namespace ficsd
