// Executes key-script commands one after another on the box's remote, screen and LCD.
#include "sim/boxsim/script_runner.h"

#include <cstdio>
#include <functional>
#include <string>

#include "sim/boxsim/box_fs.h"
#include "sim/screentext/core/text_reader.h"

namespace boxsim {
namespace {

constexpr Millis kExpectPoll{20};

std::string read_screen(const Session& session, const Command& c)
{
    return screentext::read_text(session.framebuffer().live_pixels(), gx9::kWidth, gx9::kHeight,
                                 c.x, c.y, static_cast<int>(c.word.size()), c.advance);
}

int tv_pixel(const Session& session, int x, int y)
{
    return session.framebuffer().live_pixels()[y * gx9::kWidth + x];
}

// Polls `holds` until it is true or the command's timeout passes. `describe` tells what the
// screen shows instead, for the failure message.
std::optional<Ending> wait_until_true(Session& session, const Command& c,
                                      const std::function<bool()>& holds,
                                      const std::function<std::string()>& describe)
{
    const Clock::time_point give_up = Clock::now() + c.duration;
    while (!holds()) {
        std::optional<Ending> cut;
        if (Clock::now() >= give_up || (cut = session.sleep_for(kExpectPoll))) {
            if (holds()) // the last look, after the plugin's final drawing
                return std::nullopt;
            if (cut && *cut != Ending::PluginReturned)
                return cut;
            std::fprintf(stderr, "boxsim: line %d: expectation not met%s: %s\n", c.line,
                         cut ? " before the plugin returned" : "", describe().c_str());
            return Ending::ExpectFailed;
        }
    }
    return std::nullopt;
}

std::optional<Ending> expect_text(Session& session, const Command& c)
{
    return wait_until_true(
        session, c, [&] { return read_screen(session, c) == c.word; },
        [&] {
            return "the text at (" + std::to_string(c.x) + ", " + std::to_string(c.y) +
                   ") reads \"" + read_screen(session, c) + "\", not \"" + c.word + "\"";
        });
}

std::optional<Ending> expect_pixel(Session& session, const Command& c)
{
    return wait_until_true(
        session, c, [&] { return tv_pixel(session, c.x, c.y) == c.value; },
        [&] {
            return "pixel (" + std::to_string(c.x) + ", " + std::to_string(c.y) + ") has index " +
                   std::to_string(tv_pixel(session, c.x, c.y)) + ", not " + std::to_string(c.value);
        });
}

std::optional<Ending> expect_lcd(Session& session, const Command& c)
{
    const auto lit = [&] { return lcd_pixel_lit(lcd_state().frame, c.x, c.y); };
    return wait_until_true(
        session, c, [&] { return lit() == (c.value == 1); },
        [&] {
            return "LCD pixel (" + std::to_string(c.x) + ", " + std::to_string(c.y) + ") is " +
                   (lit() ? "lit" : "dark");
        });
}

std::optional<Ending> press_key(Session& session, uint8_t code, Clock::duration hold)
{
    if (const auto cut = session.press(code, hold))
        return cut;
    return session.sleep_for(kPressGap);
}

std::optional<Ending> run_command(Session& session, const Command& c)
{
    switch (c.kind) {
    case CommandKind::Press:
        return press_key(session, c.keys[0], kPressHold);
    case CommandKind::Hold:
        return press_key(session, c.keys[0], c.duration);
    case CommandKind::Type:
        for (const uint8_t key : c.keys)
            if (const auto cut = press_key(session, key, kPressHold))
                return cut;
        return std::nullopt;
    case CommandKind::Wait:
        return session.sleep_for(c.duration);
    case CommandKind::Shot:
        session.shot(c.word);
        return session.cut_short();
    case CommandKind::Restart:
        session.remote().restart();
        return session.sleep_for(kPressGap);
    case CommandKind::Exit:
        return Ending::ScriptDone;
    case CommandKind::Expect:
        return expect_text(session, c);
    case CommandKind::ExpectPixel:
        return expect_pixel(session, c);
    case CommandKind::ExpectLcd:
        return expect_lcd(session, c);
    }
    return std::nullopt;
}

} // namespace

Ending run_script(Session& session, const std::vector<Command>& commands)
{
    for (size_t i = 0; i < commands.size(); ++i) {
        const std::optional<Ending> ending = run_command(session, commands[i]);
        if (!ending)
            continue;
        if (*ending == Ending::PluginReturned && i + 1 < commands.size())
            std::fprintf(stderr,
                         "boxsim: the plugin returned during line %d; the script stops there\n",
                         commands[i].line);
        return *ending;
    }
    return Ending::ScriptDone;
}

} // namespace boxsim
