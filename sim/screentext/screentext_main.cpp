// screentext FILE X Y LENGTH [ADVANCE]: prints the bitmap-font text found in an indexed PNG.
#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>
#include <system_error>

#include "sim/screentext/core/png_io.h"
#include "sim/screentext/core/text_reader.h"

namespace {

constexpr int kUsageError = 2;
constexpr int kMaxLength = 1000;

int usage(const char* message)
{
    std::fprintf(stderr, "screentext: %s\nusage: screentext FILE X Y LENGTH [ADVANCE]\n", message);
    return kUsageError;
}

// The whole argument as a decimal integer within [low, high].
bool parse_int(const char* text, int low, int high, int& value)
{
    const char* end = text + std::strlen(text);
    const auto [stop, error] = std::from_chars(text, end, value);
    return error == std::errc{} && stop == end && stop != text && value >= low && value <= high;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 5 && argc != 6)
        return usage("expected 4 or 5 arguments");
    int x = 0, y = 0, length = 0, advance = 10;
    if (!parse_int(argv[2], -1000000, 1000000, x))
        return usage((std::string("X is not a number: ") + argv[2]).c_str());
    if (!parse_int(argv[3], -1000000, 1000000, y))
        return usage((std::string("Y is not a number: ") + argv[3]).c_str());
    if (!parse_int(argv[4], 0, kMaxLength, length))
        return usage((std::string("LENGTH must be 0 to 1000: ") + argv[4]).c_str());
    if (argc == 6 && !parse_int(argv[5], 1, 100, advance))
        return usage((std::string("ADVANCE must be 1 to 100: ") + argv[5]).c_str());

    screentext::IndexedImage image;
    if (const std::string error = screentext::read_indexed_png(argv[1], image); !error.empty()) {
        std::fprintf(stderr, "screentext: %s\n", error.c_str());
        return kUsageError;
    }
    const std::string text = screentext::read_text(image.pixels.data(), image.width, image.height,
                                                   x, y, length, advance);
    std::printf("%s\n", text.c_str());
    return 0;
}
