// The words of a command line as every ficsd command reads them: trimmed, split at spaces,
// numbers in decimal.
#pragma once

#include <charconv>
#include <optional>
#include <string_view>
#include <vector>

namespace ficsd {

inline std::string_view trim(std::string_view text)
{
    const size_t start = text.find_first_not_of(' ');
    if (start == std::string_view::npos)
        return {};
    const size_t end = text.find_last_not_of(' ');
    return text.substr(start, end - start + 1);
}

// Splits off the first word; `rest` keeps the trimmed remainder.
inline std::string_view first_word(std::string_view text, std::string_view& rest)
{
    text = trim(text);
    const size_t space = text.find(' ');
    rest = space == std::string_view::npos ? std::string_view{} : trim(text.substr(space));
    return text.substr(0, space);
}

inline std::vector<std::string_view> words_of(std::string_view text)
{
    std::vector<std::string_view> words;
    while (!(text = trim(text)).empty())
        words.push_back(first_word(text, text));
    return words;
}

inline std::optional<int> to_int(std::string_view text)
{
    int value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

constexpr std::string_view kNoGame = "You are not playing or examining a game.";

} // namespace ficsd
