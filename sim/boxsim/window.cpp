// The SDL2 window: repaints when the plugin drew, the LCD changed or the live picture moves.
#include "sim/boxsim/window.h"

#include <SDL.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <thread>

#include "board/font.h"
#include "sim/boxsim/box_fs.h"
#include "sim/boxsim/remote.h"
#include "sim/boxsim/script_runner.h"

namespace boxsim {
namespace {

// Layout of the window, in its own pixels (the window scales the whole as it is resized).
constexpr int kGap = 16;
constexpr int kPanelX = gx9::kWidth + kGap;
constexpr int kLcdScale = 3;
constexpr int kLcdX = kPanelX;
constexpr int kLcdY = 28;
constexpr int kLcdBezel = 6;
constexpr int kPanelWidth = kLcdWidth * kLcdScale;
constexpr int kLegendY = kLcdY + kLcdHeight * kLcdScale + kLcdBezel + 20;
constexpr int kLineHeight = kGlyphHeight + 4;
constexpr int kCanvasWidth = kPanelX + kPanelWidth + kGap;
constexpr int kCanvasHeight = gx9::kHeight;

constexpr uint32_t kPanelColour = 0xff202428;
constexpr uint32_t kLegendColour = 0xffd8d8d0;
constexpr uint32_t kTitleColour = 0xfff0e070;
constexpr uint32_t kBezelColour = 0xff5a6058;
constexpr uint32_t kLcdDark = 0xffa4bc8c; // an unlit pixel: the greenish panel
constexpr uint32_t kLcdLit = 0xff1c2a18;

constexpr Millis kPigFrame{40}; // the live picture moves at 25 frames a second

// The key map, as the legend shows it.
constexpr std::array<std::string_view, 12> kLegend{
    "Arrows      cursor",
    "Enter       OK",
    "0-9         digits",
    "F1 or R     RED",
    "F3 or Y     YELLOW",
    "F4 or B     BLUE",
    "H or F12    HELP",
    "M           MUTE",
    "Esc         EXIT",
    "F5          restart",
    "",
    "Closing presses EXIT",
};

enum class KeyAction { None, Key, Restart };

struct MappedKey {
    KeyAction action = KeyAction::None;
    uint8_t code = 0;
};

MappedKey map_key(SDL_Keycode key)
{
    const auto code = [](std::string_view name) {
        return MappedKey{KeyAction::Key, *key_code(name)};
    };
    if (key >= SDLK_0 && key <= SDLK_9)
        return {KeyAction::Key, static_cast<uint8_t>(key - SDLK_0)};
    if (key >= SDLK_KP_1 && key <= SDLK_KP_9)
        return {KeyAction::Key, static_cast<uint8_t>(key - SDLK_KP_1 + 1)};
    switch (key) {
    case SDLK_KP_0:
        return code("0");
    case SDLK_LEFT:
        return code("LEFT");
    case SDLK_RIGHT:
        return code("RIGHT");
    case SDLK_UP:
        return code("UP");
    case SDLK_DOWN:
        return code("DOWN");
    case SDLK_RETURN:
    case SDLK_KP_ENTER:
        return code("OK");
    case SDLK_F1:
    case SDLK_r:
        return code("RED");
    case SDLK_F3:
    case SDLK_y:
        return code("YELLOW");
    case SDLK_F4:
    case SDLK_b:
        return code("BLUE");
    case SDLK_h:
    case SDLK_F12:
        return code("HELP");
    case SDLK_m:
        return code("MUTE");
    case SDLK_ESCAPE:
        return code("EXIT");
    case SDLK_F5:
        return {KeyAction::Restart, 0};
    default:
        return {};
    }
}

class Canvas {
  public:
    Canvas() : pixels_(static_cast<size_t>(kCanvasWidth * kCanvasHeight), kPanelColour) {}
    uint32_t* data() { return pixels_.data(); }

    void put(int x, int y, uint32_t colour)
    {
        if (x >= 0 && x < kCanvasWidth && y >= 0 && y < kCanvasHeight)
            pixels_[static_cast<size_t>(y * kCanvasWidth + x)] = colour;
    }
    void fill(int x, int y, int width, int height, uint32_t colour)
    {
        for (int row = y; row < y + height; ++row)
            for (int col = x; col < x + width; ++col)
                put(col, row, colour);
    }
    // Text in the plugin's bitmap font, glyph pixels only.
    void text(int x, int y, std::string_view text, uint32_t colour)
    {
        for (const char c : text) {
            const int cell = font_cell_of(static_cast<unsigned char>(c));
            if (cell >= 0)
                for (int row = 0; row < kGlyphHeight; ++row)
                    for (int col = 0; col < kGlyphWidth; ++col)
                        if (font_pixels[cell * kGlyphBytes + row * kGlyphWidth + col] == kGlyphInk)
                            put(x + col, y + row, colour);
            x += kGlyphWidth;
        }
    }

  private:
    std::vector<uint32_t> pixels_;
};

uint32_t argb(const std::array<uint8_t, 3>& rgb)
{
    return 0xff000000u | uint32_t{rgb[0]} << 16 | uint32_t{rgb[1]} << 8 | rgb[2];
}

void paint_tv(Canvas& canvas, const Framebuffer& framebuffer)
{
    const Palette palette = framebuffer.palette();
    std::array<uint32_t, gx9::kPaletteSize> colours;
    for (size_t i = 0; i < colours.size(); ++i)
        colours[i] = argb(palette[i]);
    const uint8_t* pixels = framebuffer.live_pixels();
    for (int y = 0; y < gx9::kHeight; ++y)
        for (int x = 0; x < gx9::kWidth; ++x)
            canvas.put(x, y, colours[pixels[y * gx9::kWidth + x]]);
}

// The live TV picture as a video plane shows it over the framebuffer: colour bars scrolling
// sideways and a ball bouncing across them.
void paint_pig(Canvas& canvas, const PigWindow& pig, long frame)
{
    static constexpr std::array<uint32_t, 8> kBars{0xffc0c0c0, 0xffc0c000, 0xff00c0c0, 0xff00c000,
                                                   0xffc000c0, 0xffc00000, 0xff0000c0, 0xff101010};
    const int x0 = std::max(pig.x, 0), y0 = std::max(pig.y, 0);
    const int x1 = std::min(pig.x + pig.width, gx9::kWidth);
    const int y1 = std::min(pig.y + pig.height, gx9::kHeight);
    if (x1 <= x0 || y1 <= y0)
        return;
    const int bar_width = std::max(1, pig.width / static_cast<int>(kBars.size()));
    const int radius = std::max(2, std::min(pig.width, pig.height) / 10);
    const auto bounce = [frame](int span, int speed) {
        const long period = 2L * std::max(span, 1);
        const long p = (frame * speed) % period;
        return static_cast<int>(p < span ? p : period - p);
    };
    const int ball_x = pig.x + radius + bounce(pig.width - 2 * radius, 5);
    const int ball_y = pig.y + radius + bounce(pig.height - 2 * radius, 3);
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            const long shifted = x - pig.x + frame * 2;
            uint32_t colour = kBars[static_cast<size_t>(shifted / bar_width) % kBars.size()];
            const int dx = x - ball_x, dy = y - ball_y;
            if (dx * dx + dy * dy <= radius * radius)
                colour = 0xffffffff;
            canvas.put(x, y, colour);
        }
}

void paint_lcd(Canvas& canvas, const LcdFrame& frame)
{
    canvas.fill(kLcdX - kLcdBezel, kLcdY - kLcdBezel, kPanelWidth + 2 * kLcdBezel,
                kLcdHeight * kLcdScale + 2 * kLcdBezel, kBezelColour);
    for (int y = 0; y < kLcdHeight; ++y)
        for (int x = 0; x < kLcdWidth; ++x)
            canvas.fill(kLcdX + x * kLcdScale, kLcdY + y * kLcdScale, kLcdScale, kLcdScale,
                        lcd_pixel_lit(frame, x, y) ? kLcdLit : kLcdDark);
}

void paint_panel(Canvas& canvas, std::string_view status)
{
    canvas.fill(gx9::kWidth, 0, kCanvasWidth - gx9::kWidth, kCanvasHeight, kPanelColour);
    canvas.text(kPanelX, 2, "Front panel LCD", kTitleColour);
    canvas.text(kPanelX, kLegendY, "Remote control", kTitleColour);
    int y = kLegendY + kLineHeight + 4;
    for (const std::string_view line : kLegend) {
        canvas.text(kPanelX, y, line, kLegendColour);
        y += kLineHeight;
    }
    canvas.text(kPanelX, kCanvasHeight - kLineHeight, status, kTitleColour);
}

// The SDL objects of the window, released in reverse order.
class SdlWindow {
  public:
    bool open()
    {
        // Signals are the plugin's: SDL must not turn SIGINT and SIGTERM into a quit event.
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0)
            return failed("SDL_InitSubSystem");
        video_ = true;
        window_ = SDL_CreateWindow("boxsim", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                   kCanvasWidth, kCanvasHeight, SDL_WINDOW_RESIZABLE);
        if (window_ == nullptr)
            return failed("SDL_CreateWindow");
        renderer_ = SDL_CreateRenderer(window_, -1, 0);
        if (renderer_ == nullptr)
            return failed("SDL_CreateRenderer");
        SDL_RenderSetLogicalSize(renderer_, kCanvasWidth, kCanvasHeight);
        texture_ = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_ARGB8888,
                                     SDL_TEXTUREACCESS_STREAMING, kCanvasWidth, kCanvasHeight);
        if (texture_ == nullptr)
            return failed("SDL_CreateTexture");
        return true;
    }
    ~SdlWindow()
    {
        if (texture_)
            SDL_DestroyTexture(texture_);
        if (renderer_)
            SDL_DestroyRenderer(renderer_);
        if (window_)
            SDL_DestroyWindow(window_);
        if (video_)
            SDL_QuitSubSystem(SDL_INIT_VIDEO);
        SDL_Quit();
    }
    void present(Canvas& canvas)
    {
        SDL_UpdateTexture(texture_, nullptr, canvas.data(), kCanvasWidth * 4);
        SDL_RenderClear(renderer_);
        SDL_RenderCopy(renderer_, texture_, nullptr, nullptr);
        SDL_RenderPresent(renderer_);
    }

  private:
    static bool failed(const char* call)
    {
        std::fprintf(stderr, "boxsim: %s: %s\n", call, SDL_GetError());
        return false;
    }
    bool video_ = false;
    SDL_Window* window_ = nullptr;
    SDL_Renderer* renderer_ = nullptr;
    SDL_Texture* texture_ = nullptr;
};

// What the last repaint showed; a repaint is due when any of it changed.
struct Shown {
    FbVersion version{~0u, ~0u};
    uint64_t lcd_generation = ~0ull;
    bool pig = false;
    Clock::time_point pig_frame_at{};
    bool dirty = true;
};

// Runs the script on its own thread; its ending is read by the window's loop.
class ScriptThread {
  public:
    ScriptThread(Session& session, const std::vector<Command>* script)
    {
        if (script != nullptr)
            thread_ = std::thread([this, &session, script] {
                ending_ = run_script(session, *script);
                done_.store(true);
            });
    }
    ~ScriptThread()
    {
        if (thread_.joinable())
            thread_.join();
    }
    std::optional<Ending> ending() const
    {
        return done_.load() ? std::optional<Ending>(ending_) : std::nullopt;
    }

  private:
    std::thread thread_;
    std::atomic<bool> done_{false};
    Ending ending_ = Ending::ScriptDone;
};

} // namespace

bool display_available()
{
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 != nullptr && *x11 != '\0') || (wayland != nullptr && *wayland != '\0');
}

std::optional<Ending> run_window(Session& session, const std::vector<Command>* script)
{
    SdlWindow window;
    if (!window.open())
        return std::nullopt;
    Canvas canvas;
    Shown shown;
    std::optional<Ending> ending;
    ScriptThread script_thread(session, script);
    const Clock::time_point started = Clock::now();

    while (!ending) {
        SDL_Event event;
        if (SDL_WaitEventTimeout(&event, 10)) {
            do {
                if (event.type == SDL_QUIT) {
                    ending = Ending::WindowClosed;
                } else if (event.type == SDL_WINDOWEVENT) {
                    shown.dirty = true;
                } else if ((event.type == SDL_KEYDOWN || event.type == SDL_KEYUP) &&
                           event.key.repeat == 0) {
                    const MappedKey key = map_key(event.key.keysym.sym);
                    if (key.action == KeyAction::Restart && event.type == SDL_KEYDOWN)
                        session.remote().restart();
                    else if (key.action == KeyAction::Key && event.type == SDL_KEYDOWN)
                        session.remote().press(key.code);
                    else if (key.action == KeyAction::Key)
                        session.remote().release(key.code);
                }
            } while (SDL_PollEvent(&event));
        }
        if (!ending)
            ending = session.cut_short();
        if (!ending)
            ending = script_thread.ending();

        const FbVersion version = session.framebuffer().version();
        const LcdState lcd = lcd_state();
        const PigWindow pig = session.framebuffer().pig();
        const Clock::time_point now = Clock::now();
        const bool pig_moves = pig.shown && now - shown.pig_frame_at >= kPigFrame;
        if (!(shown.dirty || version != shown.version || lcd.generation != shown.lcd_generation ||
              pig.shown != shown.pig || pig_moves))
            continue;
        paint_tv(canvas, session.framebuffer());
        if (pig.shown) {
            paint_pig(canvas, pig, (now - started) / kPigFrame);
            shown.pig_frame_at = now;
        }
        paint_panel(canvas, session.framebuffer().initialised() ? "Plugin running"
                                                                : "Waiting for the plugin");
        paint_lcd(canvas, lcd.frame);
        window.present(canvas);
        shown = Shown{version, lcd.generation, pig.shown, shown.pig_frame_at, false};
    }
    if (*ending == Ending::WindowClosed)
        session.stop(Ending::WindowClosed); // ends the script's waits too
    return ending;
}

} // namespace boxsim
