// Text of libgx9: FBDrawString renders DejaVu Sans with FreeType onto a background box.
//
// The pixel height is the height of the box: the face is sized so that its ascender plus
// descender fill it, the baseline lies the ascender below y, and glyph pixels never leave the
// box. Bytes are Latin-1 characters. Widths beyond four screens (2880 pixels) are reported as
// 2880: nothing past that can show, and measuring stops there. Without FreeType
// (VITREL_GX9_FREETYPE off) or without the font file, the box is painted and its width estimated at
// 6/10 of the height per character.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "host/gx9.h"
#include "sim/gx9/framebuffer.h"

#if VITREL_GX9_FREETYPE
#include <ft2build.h>
#include FT_FREETYPE_H
#endif

namespace {

// Heights above the screen's are refused: nothing is drawn and the width is 0.
constexpr int kMaxTextHeight = gx9::kHeight;
constexpr unsigned char kCoverageThreshold = 128; // 50 % of 255, rounded up

int estimated_width(size_t length, int height)
{
    const int per_character = (height * 6 + 5) / 10;
    return static_cast<int>(std::min<size_t>(length, gx9::kWidth)) * per_character;
}

#if VITREL_GX9_FREETYPE

// The font file: VITREL_GX9_FONT when set, else Debian's DejaVu Sans.
const char* font_path()
{
    const char* chosen = std::getenv("VITREL_GX9_FONT");
    return chosen != nullptr && *chosen != '\0' ? chosen : VITREL_GX9_DEFAULT_FONT;
}

// FreeType and the face, loaded on the first FBDrawString and kept until the library unloads.
class Face {
  public:
    static Face* get()
    {
        static std::unique_ptr<Face> face = load();
        return face.get();
    }
    ~Face()
    {
        FT_Done_Face(face_);
        FT_Done_FreeType(library_);
    }
    Face(const Face&) = delete;
    Face& operator=(const Face&) = delete;

    // Sets the face so that its ascender and descender together span `height` pixels.
    bool set_height(int height)
    {
        FT_Size_RequestRec request{FT_SIZE_REQUEST_TYPE_CELL, 0, height * 64L, 0, 0};
        return FT_Request_Size(face_, &request) == 0;
    }
    int ascender() const { return static_cast<int>((face_->size->metrics.ascender + 32) >> 6); }
    // Loads the glyph of a character, rendered or only measured; null when the font fails.
    FT_GlyphSlot render(unsigned char c) { return load(c, FT_LOAD_RENDER); }
    FT_GlyphSlot measure(unsigned char c) { return load(c, FT_LOAD_DEFAULT); }

  private:
    FT_GlyphSlot load(unsigned char c, FT_Int32 flags)
    {
        return FT_Load_Char(face_, c, flags) == 0 ? face_->glyph : nullptr;
    }

    Face(FT_Library library, FT_Face face) : library_(library), face_(face) {}

    static std::unique_ptr<Face> load()
    {
        FT_Library library = nullptr;
        if (FT_Init_FreeType(&library) != 0) {
            std::fprintf(stderr, "FBDrawString: FT_Init_FreeType failed; text shows as boxes\n");
            return nullptr;
        }
        FT_Face face = nullptr;
        if (FT_New_Face(library, font_path(), 0, &face) != 0) {
            std::fprintf(stderr, "FBDrawString: FT_New_Face(%s) failed; text shows as boxes\n",
                         font_path());
            FT_Done_FreeType(library);
            return nullptr;
        }
        return std::unique_ptr<Face>(new Face(library, face));
    }

    FT_Library library_;
    FT_Face face_;
};

int advance_of(FT_GlyphSlot glyph)
{
    return static_cast<int>((glyph->advance.x + 32) >> 6);
}

int measure(Face& face, const char* text)
{
    int64_t width = 0;
    for (const char* p = text; *p != '\0' && width <= gx9::kWidth * 4; ++p)
        if (FT_GlyphSlot glyph = face.measure(static_cast<unsigned char>(*p)))
            width += advance_of(glyph);
    return static_cast<int>(std::min<int64_t>(width, gx9::kWidth * 4));
}

// Glyph pixels of coverage >= 50 % inside the box (x, y, width, height) take the text colour.
void paint_glyph(gx9::FbFile& file, FT_GlyphSlot glyph, int64_t pen_x, int64_t baseline,
                 int64_t box_x, int64_t box_y, int box_width, int box_height, uint8_t color)
{
    const FT_Bitmap& bitmap = glyph->bitmap;
    if (bitmap.pixel_mode != FT_PIXEL_MODE_GRAY)
        return;
    const int64_t left = pen_x + glyph->bitmap_left;
    const int64_t top = baseline - glyph->bitmap_top;
    for (unsigned row = 0; row < bitmap.rows; ++row) {
        const int64_t y = top + row;
        if (y < box_y || y >= box_y + box_height || y < 0 || y >= gx9::kHeight)
            continue;
        const unsigned char* coverage = bitmap.buffer + int64_t{row} * bitmap.pitch;
        for (unsigned column = 0; column < bitmap.width; ++column) {
            const int64_t x = left + column;
            if (x < box_x || x >= box_x + box_width || x < 0 || x >= gx9::kWidth)
                continue;
            if (coverage[column] >= kCoverageThreshold)
                file.pixels[y][x] = color;
        }
    }
}

void paint_text(gx9::FbFile& file, Face& face, int x, int y, int width, int height,
                const char* text, uint8_t color)
{
    const int64_t baseline = int64_t{y} + face.ascender();
    int64_t pen = x;
    for (const char* p = text; *p != '\0' && pen - x < width; ++p) {
        FT_GlyphSlot glyph = face.render(static_cast<unsigned char>(*p));
        if (glyph == nullptr)
            continue;
        paint_glyph(file, glyph, pen, baseline, x, y, width, height, color);
        pen += advance_of(glyph);
    }
}

#endif // VITREL_GX9_FREETYPE

} // namespace

extern "C" int FBDrawString(int x, int y, int height, const char* text, unsigned char color,
                            unsigned char background)
{
    gx9::FbFile* file = gx9::detail::mapped_file();
    if (text == nullptr || *text == '\0' || height <= 0 || height > kMaxTextHeight) {
        if (file != nullptr)
            gx9::detail::count_draw_call(*file);
        return 0;
    }
#if VITREL_GX9_FREETYPE
    if (Face* face = Face::get(); face != nullptr && face->set_height(height)) {
        const int width = measure(*face, text);
        if (file != nullptr) {
            gx9::detail::fill_clipped(*file, x, y, width, height, background);
            paint_text(*file, *face, x, y, width, height, text, color);
            gx9::detail::count_draw_call(*file);
        }
        return width;
    }
#else
    (void)color;
#endif
    const int width = estimated_width(std::strlen(text), height);
    if (file != nullptr) {
        gx9::detail::fill_clipped(*file, x, y, width, height, background);
        gx9::detail::count_draw_call(*file);
    }
    return width;
}
