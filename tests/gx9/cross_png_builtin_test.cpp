// Tests of the built-in PNG codec that box cross builds use instead of libpng: hand-made files
// with every row filter, bit depth and deflate block kind, damaged files refused with a reason,
// and, where libpng is built too, files read and written alike by both.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "sim/screentext/core/png_builtin.h"
#include "sim/screentext/core/png_io.h"

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

namespace {

struct TempDir {
    fs::path path;
    TempDir()
    {
        char pattern[] = "/tmp/png-builtin-XXXXXX";
        path = mkdtemp(pattern);
    }
    ~TempDir() { fs::remove_all(path); }
    std::string file(const std::string& name) const { return (path / name).string(); }
};

Bytes pseudo_random_bytes(size_t count, uint32_t seed, unsigned modulo = 256)
{
    Bytes bytes(count);
    for (uint8_t& b : bytes) {
        seed = seed * 1664525u + 1013904223u;
        b = static_cast<uint8_t>((seed >> 24) % modulo);
    }
    return bytes;
}

// ---- Writing PNG files by hand ----------------------------------------------------------------

uint32_t crc32_bitwise(const uint8_t* data, size_t size)
{
    uint32_t crc = 0xffffffffu;
    for (size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

uint32_t adler32_plain(const Bytes& data)
{
    uint32_t a = 1, b = 0;
    for (uint8_t byte : data) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    return b << 16 | a;
}

void put32(Bytes& out, uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>(value >> shift));
}

void put_chunk(Bytes& png, const std::string& type, const Bytes& data)
{
    put32(png, static_cast<uint32_t>(data.size()));
    Bytes typed(type.begin(), type.end());
    typed.insert(typed.end(), data.begin(), data.end());
    png.insert(png.end(), typed.begin(), typed.end());
    put32(png, crc32_bitwise(typed.data(), typed.size()));
}

Bytes header(uint32_t width, uint32_t height, uint8_t depth, uint8_t color, uint8_t interlace = 0)
{
    Bytes ihdr;
    put32(ihdr, width);
    put32(ihdr, height);
    ihdr.insert(ihdr.end(), {depth, color, 0, 0, interlace});
    return ihdr;
}

// Deflate bits go least significant first; Huffman codes most significant bit first.
struct BitWriter {
    Bytes bytes;
    int used = 8;
    void bits(uint32_t value, int count)
    {
        for (int i = 0; i < count; ++i) {
            if (used == 8) {
                bytes.push_back(0);
                used = 0;
            }
            bytes.back() |= static_cast<uint8_t>(((value >> i) & 1) << used++);
        }
    }
    void code(uint32_t value, int length)
    {
        for (int i = length - 1; i >= 0; --i)
            bits((value >> i) & 1, 1);
    }
    void literal(unsigned symbol)
    {
        if (symbol < 144)
            code(0x30 + symbol, 8);
        else if (symbol < 256)
            code(0x190 + symbol - 144, 9);
        else if (symbol < 280)
            code(symbol - 256, 7);
        else
            code(0xc0 + symbol - 280, 8);
    }
};

// One fixed-code block: runs of a repeated byte become copies at distance 1 (lengths 3 to 10,
// symbols 257 to 264, no extra bits), which overlap the bytes they produce.
Bytes fixed_block(const Bytes& data)
{
    BitWriter out;
    out.bits(1, 1); // last block
    out.bits(1, 2); // fixed codes
    for (size_t i = 0; i < data.size();) {
        size_t run = 0;
        while (i > 0 && i + run < data.size() && run < 10 && data[i + run] == data[i - 1])
            ++run;
        if (run >= 3) {
            out.literal(257 + static_cast<unsigned>(run) - 3);
            out.code(0, 5); // distance code 0: distance 1
            i += run;
        } else {
            out.literal(data[i++]);
        }
    }
    out.literal(256);
    return out.bytes;
}

Bytes zlib_stream(const Bytes& blocks, const Bytes& uncompressed)
{
    Bytes stream = {0x78, 0x01};
    stream.insert(stream.end(), blocks.begin(), blocks.end());
    put32(stream, adler32_plain(uncompressed));
    return stream;
}

Bytes png_file(const Bytes& ihdr, const Bytes& idat, const Bytes& palette = Bytes(3 * 16, 7))
{
    Bytes png = {137, 'P', 'N', 'G', '\r', '\n', 26, '\n'};
    put_chunk(png, "IHDR", ihdr);
    if (!palette.empty())
        put_chunk(png, "PLTE", palette);
    put_chunk(png, "IDAT", idat);
    put_chunk(png, "IEND", {});
    return png;
}

void write_file(const std::string& path, const Bytes& bytes)
{
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// The forward row filters of PNG, with a filter unit of one byte.
Bytes filter_row(uint8_t type, const Bytes& row, const Bytes& above)
{
    Bytes out = {type};
    for (size_t i = 0; i < row.size(); ++i) {
        const int a = i > 0 ? row[i - 1] : 0, b = above[i], c = i > 0 ? above[i - 1] : 0;
        int predicted = 0;
        if (type == 1)
            predicted = a;
        else if (type == 2)
            predicted = b;
        else if (type == 3)
            predicted = (a + b) / 2;
        else if (type == 4) {
            const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b),
                      pc = std::abs(p - c);
            predicted = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
        }
        out.push_back(static_cast<uint8_t>(row[i] - predicted));
    }
    return out;
}

} // namespace

TEST(BuiltinPng, UndoesEveryRowFilterAtEveryBitDepth)
{
    TempDir dir;
    const uint32_t width = 13, height = 10; // rows that end inside a byte at depths 1, 2, 4
    for (uint8_t depth : {1, 2, 4, 8}) {
        const Bytes pixels = pseudo_random_bytes(width * height, depth, 1u << depth);
        const size_t row_bytes = (width * depth + 7) / 8;
        Bytes raw, above(row_bytes, 0);
        for (uint32_t y = 0; y < height; ++y) {
            Bytes row(row_bytes, 0);
            for (uint32_t x = 0; x < width; ++x) {
                const size_t bit = size_t(x) * depth;
                row[bit / 8] |=
                    static_cast<uint8_t>(pixels[y * width + x] << (8 - depth - bit % 8));
            }
            const Bytes filtered = filter_row(static_cast<uint8_t>(y % 5), row, above);
            raw.insert(raw.end(), filtered.begin(), filtered.end());
            above = row;
        }
        const std::string path = dir.file("depth" + std::to_string(depth) + ".png");
        write_file(path,
                   png_file(header(width, height, depth, 3), zlib_stream(fixed_block(raw), raw)));
        screentext::IndexedImage image;
        ASSERT_EQ(screentext::builtin::read_indexed_png(path, image), "") << "depth " << int(depth);
        EXPECT_EQ(image.width, int(width));
        EXPECT_EQ(image.height, int(height));
        EXPECT_EQ(image.pixels, pixels) << "depth " << int(depth);
        EXPECT_EQ(image.palette[15][0], 7);
        EXPECT_EQ(image.palette[16][0], 0) << "entries past the file's palette are black";
    }
}

TEST(BuiltinPng, WritesImagesItReadsBackAcrossStoredBlocks)
{
    TempDir dir;
    // 720 x 576 needs seven stored blocks of at most 65535 bytes.
    const Bytes pixels = pseudo_random_bytes(720 * 576, 11);
    const Bytes colours = pseudo_random_bytes(256 * 3, 12);
    const auto* palette = reinterpret_cast<const uint8_t(*)[3]>(colours.data());
    ASSERT_EQ(screentext::builtin::write_indexed_png(dir.file("tv.png"), 720, 576, pixels.data(),
                                                     palette),
              "");
    screentext::IndexedImage tv;
    ASSERT_EQ(screentext::builtin::read_indexed_png(dir.file("tv.png"), tv), "");
    EXPECT_EQ(tv.pixels, pixels);
    EXPECT_EQ(tv.palette[255][2], colours[255 * 3 + 2]);

    const Bytes lit = pseudo_random_bytes(13 * 7, 13, 3); // 0, 1 and 2: nonzero reads back as 1
    ASSERT_EQ(screentext::builtin::write_bit_png(dir.file("lcd.png"), 13, 7, lit.data()), "");
    screentext::BitImage lcd;
    ASSERT_EQ(screentext::builtin::read_bit_png(dir.file("lcd.png"), lcd), "");
    ASSERT_EQ(lcd.pixels.size(), lit.size());
    for (size_t i = 0; i < lit.size(); ++i)
        ASSERT_EQ(lcd.pixels[i], lit[i] != 0 ? 1 : 0) << "pixel " << i;
}

TEST(BuiltinPng, RefusesDamagedFilesWithAReason)
{
    TempDir dir;
    const Bytes raw = {0, 1, 2, 3, 0, 4, 5, 6}; // two rows of three 8-bit pixels
    const Bytes good_idat = zlib_stream(fixed_block(raw), raw);
    const Bytes ihdr = header(3, 2, 8, 3);
    auto with_idat = [&](Bytes blocks, const Bytes& data) {
        return png_file(ihdr, zlib_stream(blocks, data));
    };

    Bytes flipped = png_file(ihdr, good_idat);
    flipped[flipped.size() - 20] ^= 0x10; // inside IDAT, its CRC left as it was
    Bytes bad_adler = good_idat;
    bad_adler.back() ^= 1;
    const Bytes whole = png_file(ihdr, good_idat);
    const Bytes cut(whole.begin(), whole.end() - 14); // IEND and half of the IDAT CRC gone
    Bytes before_start; // a copy at distance 1 as the very first symbol
    {
        BitWriter out;
        out.bits(1, 1);
        out.bits(1, 2);
        out.literal(257);
        out.code(0, 5);
        out.literal(256);
        before_start = out.bytes;
    }
    Bytes unknown_critical = {137, 'P', 'N', 'G', '\r', '\n', 26, '\n'};
    put_chunk(unknown_critical, "IHDR", ihdr);
    put_chunk(unknown_critical, "ABCD", {1});
    Bytes no_data = {137, 'P', 'N', 'G', '\r', '\n', 26, '\n'};
    put_chunk(no_data, "IHDR", ihdr);
    put_chunk(no_data, "IEND", {});
    const Bytes bad_filter = {0, 1, 2, 3, 5, 4, 5, 6};

    // {file, text the refusal must contain}
    const std::pair<Bytes, std::string> rows[] = {
        {flipped, "chunk checksum mismatch"},
        {png_file(ihdr, bad_adler), "image data checksum mismatch"},
        {cut, "file cut short"},
        {png_file(header(0, 2, 8, 3), good_idat), "image has no pixels"},
        {png_file(header(9000, 2, 8, 3), good_idat), "image too large"},
        {png_file(header(3, 2, 8, 3, 1), good_idat), "interlaced"},
        {png_file(header(3, 1, 8, 3), good_idat), "longer than its header states"},
        {png_file(header(3, 3, 8, 3), good_idat), "shorter than its header states"},
        {with_idat(before_start, raw), "distance before the start"},
        {with_idat({0x07}, raw), "bad block type"},
        {with_idat({0x01, 8, 0, 0, 0}, raw), "damaged stored block"},
        {with_idat(fixed_block(bad_filter), bad_filter), "bad row filter"},
        {png_file(ihdr, {0x78, 0x02, 0, 0, 0, 0}), "not a zlib stream"},
        {unknown_critical, "unknown critical chunk"},
        {no_data, "no image data"},
        {Bytes{'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0, 0, 0}, "not a PNG file"},
        {png_file(header(3, 2, 16, 3), good_idat), "unsupported bit depth"},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        const std::string path = dir.file("bad" + std::to_string(i) + ".png");
        write_file(path, rows[i].first);
        screentext::IndexedImage image;
        const std::string error = screentext::builtin::read_indexed_png(path, image);
        EXPECT_EQ(error.rfind(path + ": ", 0), 0u) << "row " << i << ": " << error;
        EXPECT_NE(error.find(rows[i].second), std::string::npos) << "row " << i << ": " << error;
    }
    // The same stream with an ancillary chunk it does not know reads fine.
    Bytes with_text = {137, 'P', 'N', 'G', '\r', '\n', 26, '\n'};
    put_chunk(with_text, "IHDR", ihdr);
    put_chunk(with_text, "tEXt", {'a', 0, 'b'});
    put_chunk(with_text, "IDAT", good_idat);
    put_chunk(with_text, "IEND", {});
    write_file(dir.file("text.png"), with_text);
    screentext::IndexedImage image;
    EXPECT_EQ(screentext::builtin::read_indexed_png(dir.file("text.png"), image), "");
    EXPECT_EQ(image.pixels, (Bytes{1, 2, 3, 4, 5, 6}));
}

// Where libpng is built as well: the two agree on every golden image and on each other's files.
TEST(BuiltinPng, AgreesWithLibpngOnGoldensAndEachOthersFiles)
{
    if (!VITREL_LIBPNG)
        GTEST_SKIP() << "no libpng in this build: the golden tests themselves read through the "
                        "built-in codec";
    int goldens = 0;
    for (const auto& entry : fs::directory_iterator(fs::path(VITREL_SOURCE_DIR) / "tests/golden")) {
        if (entry.path().extension() != ".png")
            continue;
        ++goldens;
        screentext::IndexedImage by_libpng, by_builtin;
        ASSERT_EQ(screentext::read_indexed_png(entry.path(), by_libpng), "");
        ASSERT_EQ(screentext::builtin::read_indexed_png(entry.path(), by_builtin), "");
        EXPECT_EQ(by_builtin.width, by_libpng.width) << entry.path();
        EXPECT_EQ(by_builtin.pixels, by_libpng.pixels) << entry.path();
        EXPECT_EQ(by_builtin.palette, by_libpng.palette) << entry.path();
    }
    EXPECT_GT(goldens, 0);

    TempDir dir;
    // Small, repetitive and random images: libpng's zlib picks fixed, dynamic and stored blocks.
    const struct {
        int width, height;
        unsigned modulo;
    } sizes[] = {{1, 1, 256}, {37, 11, 256}, {200, 90, 3}, {720, 40, 256}};
    const Bytes colours = pseudo_random_bytes(256 * 3, 5);
    const auto* palette = reinterpret_cast<const uint8_t(*)[3]>(colours.data());
    for (const auto& size : sizes) {
        const Bytes pixels = pseudo_random_bytes(size_t(size.width) * size.height, 6, size.modulo);
        screentext::IndexedImage image;
        ASSERT_EQ(screentext::write_indexed_png(dir.file("libpng.png"), size.width, size.height,
                                                pixels.data(), palette),
                  "");
        ASSERT_EQ(screentext::builtin::read_indexed_png(dir.file("libpng.png"), image), "");
        EXPECT_EQ(image.pixels, pixels) << size.width << " x " << size.height;
        ASSERT_EQ(screentext::builtin::write_indexed_png(dir.file("builtin.png"), size.width,
                                                         size.height, pixels.data(), palette),
                  "");
        ASSERT_EQ(screentext::read_indexed_png(dir.file("builtin.png"), image), "");
        EXPECT_EQ(image.pixels, pixels) << size.width << " x " << size.height;

        screentext::BitImage bits;
        ASSERT_EQ(screentext::write_bit_png(dir.file("libpng-bits.png"), size.width, size.height,
                                            pixels.data()),
                  "");
        ASSERT_EQ(screentext::builtin::read_bit_png(dir.file("libpng-bits.png"), bits), "");
        ASSERT_EQ(bits.pixels.size(), pixels.size());
        for (size_t i = 0; i < pixels.size(); ++i)
            ASSERT_EQ(bits.pixels[i], pixels[i] != 0 ? 1 : 0) << "pixel " << i;
        ASSERT_EQ(screentext::builtin::write_bit_png(dir.file("builtin-bits.png"), size.width,
                                                     size.height, pixels.data()),
                  "");
        ASSERT_EQ(screentext::read_bit_png(dir.file("builtin-bits.png"), bits), "");
        for (size_t i = 0; i < pixels.size(); ++i)
            ASSERT_EQ(bits.pixels[i], pixels[i] != 0 ? 1 : 0) << "pixel " << i;
    }
}
