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
#include FT_CACHE_H
#include FT_GLYPH_H
#include FT_MODULE_H
#endif

namespace {

// Heights above the screen's are refused: nothing is drawn and the width is 0.
constexpr int kMaxTextHeight = gx9::kHeight;

int estimated_width(size_t length, int height)
{
    const int per_character = (height * 6 + 5) / 10;
    return static_cast<int>(std::min<size_t>(length, gx9::kWidth)) * per_character;
}

#if VITREL_GX9_FREETYPE

constexpr unsigned char kCoverageThreshold = 128; // 50 % of 255, rounded up

// The font file: VITREL_GX9_FONT when set, else Debian's DejaVu Sans.
const char* font_path()
{
    const char* chosen = std::getenv("VITREL_GX9_FONT");
    return chosen != nullptr && *chosen != '\0' ? chosen : VITREL_GX9_DEFAULT_FONT;
}

// FreeType's memory, zeroed on allocation. FreeType 2.12's cache manager leaves its running total
// of cached bytes unset when it is created and adds to it from then on (so whether and when it
// flushes would depend on what the heap held); from zeroed memory it starts at 0.
void* zeroed_alloc(FT_Memory, long size)
{
    return std::calloc(1, static_cast<size_t>(size));
}
void memory_free(FT_Memory, void* block)
{
    std::free(block);
}
void* memory_realloc(FT_Memory, long, long size, void* block)
{
    return std::realloc(block, static_cast<size_t>(size));
}
FT_MemoryRec_ zeroed_memory{nullptr, zeroed_alloc, memory_free, memory_realloc};

// FT_Init_FreeType's steps, on the zeroed memory.
FT_Error new_library(FT_Library* library)
{
    if (FT_Error error = FT_New_Library(&zeroed_memory, library); error != 0)
        return error;
    FT_Add_Default_Modules(*library);
    FT_Set_Default_Properties(*library);
    return 0;
}

// The glyph cache: FreeType's cache subsystem keeps the face, its sizes, the character map and
// the rendered glyphs, so a string drawn again costs lookups instead of rendering. Opened on the
// first FBDrawString and kept until the library unloads.
class GlyphCache {
  public:
    static GlyphCache* get()
    {
        static std::unique_ptr<GlyphCache> cache = open();
        return cache.get();
    }
    ~GlyphCache()
    {
        FTC_Manager_Done(manager_);
        FT_Done_Library(library_);
    }
    GlyphCache(const GlyphCache&) = delete;
    GlyphCache& operator=(const GlyphCache&) = delete;

    // Selects the size at which the face's ascender and descender together span `height` pixels
    // (FreeType's "cell" size request). Glyphs of a TrueType face depend only on the whole pixels
    // per em that the request comes to, so the cache is asked for that size, and the ascender is
    // computed from the request as FreeType computes it. False when the size does not exist.
    bool set_height(int height)
    {
        FT_Face face = nullptr;
        if (FTC_Manager_LookupFace(manager_, face_id(), &face) != 0)
            return false;
        const FT_Fixed scale = FT_DivFix(height * 64L, face->ascender - face->descender);
        const FT_Long ppem = ((FT_MulFix(face->units_per_EM, scale) + 32) & -64) >> 6;
        if (ppem < 1 || ppem > 0xFFFF)
            return false;
        scaler_ = {face_id(), static_cast<FT_UInt>(ppem), static_cast<FT_UInt>(ppem), 1, 0, 0};
        FT_Size size = nullptr;
        if (FTC_Manager_LookupSize(manager_, &scaler_, &size) != 0)
            return false;
        const FT_Pos ascender = (FT_MulFix(face->ascender, scale) + 63) & -64;
        ascender_ = static_cast<int>((ascender + 32) >> 6);
        return true;
    }
    int ascender() const { return ascender_; }

    // The rendered glyph of a character at the selected size, or null when the font fails. It
    // stays valid until the next call into the cache.
    FT_BitmapGlyph glyph(unsigned char c)
    {
        const FT_UInt index = FTC_CMapCache_Lookup(cmaps_, face_id(), -1, c);
        FT_Glyph glyph = nullptr;
        if (FTC_ImageCache_LookupScaler(images_, &scaler_, FT_LOAD_RENDER, index, &glyph,
                                        nullptr) != 0 ||
            glyph->format != FT_GLYPH_FORMAT_BITMAP)
            return nullptr;
        return reinterpret_cast<FT_BitmapGlyph>(glyph);
    }

  private:
    // The cache's only face; FreeType compares face ids as pointers.
    static FTC_FaceID face_id() { return const_cast<char*>(VITREL_GX9_DEFAULT_FONT); }

    static FT_Error open_face(FTC_FaceID, FT_Library library, FT_Pointer, FT_Face* face)
    {
        return FT_New_Face(library, font_path(), 0, face);
    }

    GlyphCache(FT_Library library, FTC_Manager manager, FTC_CMapCache cmaps, FTC_ImageCache images)
        : library_(library), manager_(manager), cmaps_(cmaps), images_(images)
    {
    }

    static std::unique_ptr<GlyphCache> open()
    {
        FT_Library library = nullptr;
        if (new_library(&library) != 0) {
            std::fprintf(stderr, "FBDrawString: FT_New_Library failed; text shows as boxes\n");
            return nullptr;
        }
        FTC_Manager manager = nullptr;
        FTC_CMapCache cmaps = nullptr;
        FTC_ImageCache images = nullptr;
        FT_Face face = nullptr;
        if (FTC_Manager_New(library, 1, kCachedSizes, kCachedBytes, open_face, nullptr, &manager) !=
                0 ||
            FTC_CMapCache_New(manager, &cmaps) != 0 || FTC_ImageCache_New(manager, &images) != 0 ||
            FTC_Manager_LookupFace(manager, face_id(), &face) != 0) {
            std::fprintf(stderr, "FBDrawString: FT_New_Face(%s) failed; text shows as boxes\n",
                         font_path());
            if (manager != nullptr)
                FTC_Manager_Done(manager);
            FT_Done_Library(library);
            return nullptr;
        }
        return std::unique_ptr<GlyphCache>(new GlyphCache(library, manager, cmaps, images));
    }

    // The board view draws at two heights, the intro and the help screen at a few more.
    static constexpr FT_UInt kCachedSizes = 8;
    static constexpr FT_ULong kCachedBytes = 1 << 20;

    FT_Library library_;
    FTC_Manager manager_;
    FTC_CMapCache cmaps_;
    FTC_ImageCache images_;
    FTC_ScalerRec scaler_{};
    int ascender_ = 0;
};

// A glyph's advance in whole pixels: the cached glyph keeps it in 16.16, the slot it was loaded
// into had it in 26.6.
int advance_of(FT_BitmapGlyph glyph)
{
    return static_cast<int>(((glyph->root.advance.x >> 10) + 32) >> 6);
}

int measure(GlyphCache& cache, const char* text)
{
    int64_t width = 0;
    for (const char* p = text; *p != '\0' && width <= gx9::kWidth * 4; ++p)
        if (FT_BitmapGlyph glyph = cache.glyph(static_cast<unsigned char>(*p)))
            width += advance_of(glyph);
    return static_cast<int>(std::min<int64_t>(width, gx9::kWidth * 4));
}

// Glyph pixels of coverage >= 50 % inside the box (x, y, width, height) take the text colour.
void paint_glyph(gx9::FbFile& file, FT_BitmapGlyph glyph, int64_t pen_x, int64_t baseline,
                 int64_t box_x, int64_t box_y, int box_width, int box_height, uint8_t color)
{
    const FT_Bitmap& bitmap = glyph->bitmap;
    if (bitmap.pixel_mode != FT_PIXEL_MODE_GRAY)
        return;
    const int64_t left = pen_x + glyph->left;
    const int64_t top = baseline - glyph->top;
    // The glyph's rows and columns that fall inside both the box and the screen.
    const int64_t row0 = std::max<int64_t>({0, box_y - top, -top});
    const int64_t row1 =
        std::min<int64_t>({bitmap.rows, box_y + box_height - top, gx9::kHeight - top});
    const int64_t col0 = std::max<int64_t>({0, box_x - left, -left});
    const int64_t col1 =
        std::min<int64_t>({bitmap.width, box_x + box_width - left, gx9::kWidth - left});
    if (col0 >= col1)
        return;
    for (int64_t row = row0; row < row1; ++row) {
        const unsigned char* coverage = bitmap.buffer + row * bitmap.pitch + col0;
        uint8_t* out = &file.pixels[top + row][left + col0];
        for (int64_t n = 0; n < col1 - col0; ++n)
            if (coverage[n] >= kCoverageThreshold)
                out[n] = color;
    }
}

void paint_text(gx9::FbFile& file, GlyphCache& cache, int x, int y, int width, int height,
                const char* text, uint8_t color)
{
    const int64_t baseline = int64_t{y} + cache.ascender();
    int64_t pen = x;
    for (const char* p = text; *p != '\0' && pen - x < width; ++p) {
        FT_BitmapGlyph glyph = cache.glyph(static_cast<unsigned char>(*p));
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
    if (GlyphCache* cache = GlyphCache::get(); cache != nullptr && cache->set_height(height)) {
        const int width = measure(*cache, text);
        if (file != nullptr) {
            gx9::detail::fill_clipped(*file, x, y, width, height, background);
            paint_text(*file, *cache, x, y, width, height, text, color);
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
