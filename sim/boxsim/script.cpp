// Parses key scripts into commands, with a line-numbered message for the first bad command.
#include "sim/boxsim/script.h"

#include <cctype>
#include <charconv>
#include <cmath>

#include "sim/boxsim/box_fs.h"
#include "sim/boxsim/remote.h"
#include "sim/gx9/gx9_sim.h"

namespace boxsim {
namespace {

constexpr int kCellWidth = 10; // the bitmap font's cell
constexpr int kCellHeight = 18;
constexpr size_t kLongestShotName = 100;

struct Word {
    std::string text;
    bool quoted = false;
};

struct RawCommand {
    int line = 0;
    std::vector<Word> words;
};

class Failure {
  public:
    Failure(int line, std::string message) : error_{line, std::move(message)} {}
    const ScriptError& error() const { return error_; }

  private:
    ScriptError error_;
};

// Cuts the text into commands of words. Separators: ";" and new line outside quotes.
std::vector<RawCommand> split_commands(std::string_view text)
{
    std::vector<RawCommand> commands;
    RawCommand current;
    int line = 1;
    size_t i = 0;
    auto finish_command = [&] {
        if (!current.words.empty())
            commands.push_back(std::move(current));
        current = RawCommand{};
    };
    while (i < text.size()) {
        const char c = text[i];
        if (c == '\n' || c == ';') {
            finish_command();
            if (c == '\n')
                ++line;
            ++i;
        } else if (c == ' ' || c == '\t' || c == '\r') {
            ++i;
        } else if (c == '#') {
            while (i < text.size() && text[i] != '\n')
                ++i;
        } else {
            if (current.words.empty())
                current.line = line;
            Word word;
            if (c == '"') {
                const size_t end = text.find_first_of("\"\n", i + 1);
                if (end == std::string_view::npos || text[end] != '"')
                    throw Failure(line, "text in double quotes does not end on its line");
                word.text = text.substr(i + 1, end - i - 1);
                word.quoted = true;
                i = end + 1;
            } else {
                const size_t end = text.find_first_of(" \t\r\n;\"", i);
                word.text = text.substr(i, end == std::string_view::npos ? end : end - i);
                i = end == std::string_view::npos ? text.size() : end;
            }
            current.words.push_back(std::move(word));
        }
    }
    finish_command();
    return commands;
}

std::optional<int> parse_int(std::string_view word)
{
    int value = 0;
    const auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (ec != std::errc{} || end != word.data() + word.size())
        return std::nullopt;
    return value;
}

class CommandReader {
  public:
    explicit CommandReader(const RawCommand& raw) : raw_(raw) {}

    const std::string& verb() const { return raw_.words[0].text; }
    size_t count() const { return raw_.words.size() - 1; } // arguments after the verb
    bool has(size_t index) const { return index < count(); }

    [[noreturn]] void fail(const std::string& message) const
    {
        throw Failure(raw_.line, verb() + ": " + message);
    }

    void expect_count(size_t least, size_t most, const char* usage) const
    {
        if (count() < least || count() > most)
            fail(std::string("expected ") + usage);
    }

    const Word& word(size_t index) const { return raw_.words[index + 1]; }

    uint8_t key(size_t index) const
    {
        const auto code = key_code(word(index).text);
        if (!code)
            fail("unknown key '" + word(index).text +
                 "' (keys: 0-9 LEFT RIGHT UP DOWN OK RED YELLOW BLUE HELP MUTE EXIT)");
        return *code;
    }

    Millis duration(size_t index) const
    {
        const auto d = parse_duration(word(index).text);
        if (!d)
            fail("'" + word(index).text + "' is not a duration like 300ms or 2s");
        return *d;
    }

    int number(size_t index, int least, int most, const char* what) const
    {
        const auto n = parse_int(word(index).text);
        if (!n || *n < least || *n > most)
            fail(std::string(what) + " must be a whole number from " + std::to_string(least) +
                 " to " + std::to_string(most) + ", not '" + word(index).text + "'");
        return *n;
    }

  private:
    const RawCommand& raw_;
};

bool is_shot_name(std::string_view name)
{
    if (name.empty() || name.size() > kLongestShotName || name[0] == '.')
        return false;
    for (const char c : name)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-' || c == '.'))
            return false;
    return true;
}

Command read_expect(const CommandReader& r, Command c)
{
    r.expect_count(3, 5, "X Y \"TEXT\" [ADVANCE] [TIMEOUT]");
    c.x = r.number(0, 0, gx9::kWidth - 1, "X");
    c.y = r.number(1, 0, gx9::kHeight - kCellHeight, "Y");
    if (!r.word(2).quoted)
        r.fail("the text must stand in double quotes");
    c.word = r.word(2).text;
    if (c.word.empty())
        r.fail("the text is empty");
    c.duration = kExpectTimeout;
    for (size_t i = 3; r.has(i); ++i) {
        if (parse_duration(r.word(i).text))
            c.duration = r.duration(i);
        else
            c.advance = r.number(i, 1, kCellWidth, "ADVANCE");
    }
    const long right = c.x + static_cast<long>(c.word.size() - 1) * c.advance + kCellWidth;
    if (right > gx9::kWidth)
        r.fail("the text runs past the right edge of the screen");
    return c;
}

Command read_command(const RawCommand& raw)
{
    const CommandReader r(raw);
    Command c{};
    c.line = raw.line;
    const std::string& verb = r.verb();
    if (verb == "press") {
        c.kind = CommandKind::Press;
        r.expect_count(1, 1, "one key");
        c.keys = {r.key(0)};
    } else if (verb == "hold") {
        c.kind = CommandKind::Hold;
        r.expect_count(2, 2, "KEY DURATION");
        c.keys = {r.key(0)};
        c.duration = r.duration(1);
    } else if (verb == "type") {
        c.kind = CommandKind::Type;
        r.expect_count(1, 1000, "digits");
        for (size_t i = 0; r.has(i); ++i)
            for (const char digit : r.word(i).text) {
                if (digit < '0' || digit > '9')
                    r.fail("'" + r.word(i).text + "' is not digits");
                c.keys.push_back(static_cast<uint8_t>(digit - '0'));
            }
    } else if (verb == "wait") {
        c.kind = CommandKind::Wait;
        r.expect_count(1, 1, "a duration like 300ms or 2s");
        c.duration = r.duration(0);
    } else if (verb == "shot") {
        c.kind = CommandKind::Shot;
        r.expect_count(1, 1, "a name");
        c.word = r.word(0).text;
        if (!is_shot_name(c.word))
            r.fail("'" + c.word + "' is not a file name of letters, digits, '_', '-' and '.'");
    } else if (verb == "restart") {
        c.kind = CommandKind::Restart;
        r.expect_count(0, 0, "nothing after it");
    } else if (verb == "exit") {
        c.kind = CommandKind::Exit;
        r.expect_count(0, 0, "nothing after it");
    } else if (verb == "expect") {
        c.kind = CommandKind::Expect;
        c = read_expect(r, c);
    } else if (verb == "expect-pixel") {
        c.kind = CommandKind::ExpectPixel;
        r.expect_count(3, 4, "X Y INDEX [TIMEOUT]");
        c.x = r.number(0, 0, gx9::kWidth - 1, "X");
        c.y = r.number(1, 0, gx9::kHeight - 1, "Y");
        c.value = r.number(2, 0, gx9::kPaletteSize - 1, "INDEX");
        c.duration = r.has(3) ? r.duration(3) : kExpectTimeout;
    } else if (verb == "expect-lcd") {
        c.kind = CommandKind::ExpectLcd;
        r.expect_count(3, 4, "X Y on|off [TIMEOUT]");
        c.x = r.number(0, 0, kLcdWidth - 1, "X");
        c.y = r.number(1, 0, kLcdHeight - 1, "Y");
        const std::string& state = r.word(2).text;
        if (state != "on" && state != "off")
            r.fail("expected on or off, not '" + state + "'");
        c.value = state == "on" ? 1 : 0;
        c.duration = r.has(3) ? r.duration(3) : kExpectTimeout;
    } else {
        throw Failure(raw.line, "unknown command '" + verb +
                                    "' (commands: press hold type wait shot restart exit "
                                    "expect expect-pixel expect-lcd)");
    }
    return c;
}

} // namespace

std::optional<Millis> parse_duration(std::string_view word, bool bare_unit_seconds)
{
    double scale;
    std::string_view number = word;
    if (word.ends_with("ms")) {
        scale = 1;
        number.remove_suffix(2);
    } else if (word.ends_with("s")) {
        scale = 1000;
        number.remove_suffix(1);
    } else if (bare_unit_seconds) {
        scale = 1000;
    } else {
        return std::nullopt;
    }
    if (number.empty() || !(std::isdigit(static_cast<unsigned char>(number[0]))))
        return std::nullopt;
    double value = 0;
    const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value,
                                           std::chars_format::fixed);
    if (ec != std::errc{} || end != number.data() + number.size() || !std::isfinite(value))
        return std::nullopt;
    const double ms = std::round(value * scale);
    if (ms > static_cast<double>(kLongestDuration.count()))
        return std::nullopt;
    return Millis{static_cast<long long>(ms)};
}

ParsedScript parse_script(std::string_view text)
{
    ParsedScript parsed;
    try {
        const std::vector<RawCommand> raw = split_commands(text);
        for (const RawCommand& command : raw) {
            if (!parsed.commands.empty() && parsed.commands.back().kind == CommandKind::Exit)
                throw Failure(command.line, "'exit' ends the script: nothing may follow it");
            parsed.commands.push_back(read_command(command));
        }
    } catch (const Failure& failure) {
        parsed.commands.clear();
        parsed.error = failure.error();
    }
    return parsed;
}

} // namespace boxsim
