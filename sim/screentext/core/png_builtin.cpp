// PNG reading (inflate, row filters, bit unpacking) and writing (stored deflate blocks) with no
// library: the PNG codec of the box cross builds. All multi-byte fields are assembled byte by
// byte, so the result is the same on big- and little-endian CPUs.
#include "sim/screentext/core/png_builtin.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace screentext::builtin {
namespace {

constexpr uint8_t kSignature[8] = {137, 'P', 'N', 'G', '\r', '\n', 26, '\n'};
// A file larger than the largest image we accept, stored uncompressed, is refused unread.
constexpr long kMaxFileBytes = 128L << 20;
constexpr uint8_t kColorGrey = 0;
constexpr uint8_t kColorIndexed = 3;
constexpr size_t kMaxStoredBlock = 65535;

struct CloseFile {
    void operator()(FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<FILE, CloseFile>;

std::string failure(const std::string& path, const char* what)
{
    return path + ": " + what;
}

// ---- Checksums --------------------------------------------------------------------------------

constexpr std::array<uint32_t, 256> make_crc_table()
{
    std::array<uint32_t, 256> table{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) != 0 ? 0xedb88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}
constexpr std::array<uint32_t, 256> kCrcTable = make_crc_table();

// CRC-32 of PNG chunks: start with crc32(0, ...), continue with the previous result.
uint32_t crc32(uint32_t crc, const uint8_t* data, size_t size)
{
    crc = ~crc;
    for (size_t i = 0; i < size; ++i)
        crc = kCrcTable[(crc ^ data[i]) & 0xff] ^ (crc >> 8);
    return ~crc;
}

uint32_t adler32(const uint8_t* data, size_t size)
{
    constexpr uint32_t kBase = 65521;
    uint32_t a = 1, b = 0;
    for (size_t i = 0; i < size; ++i) {
        a = (a + data[i]) % kBase;
        b = (b + a) % kBase;
    }
    return (b << 16) | a;
}

uint32_t read_be32(const uint8_t* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

void put_be32(std::vector<uint8_t>& out, uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>(value >> shift));
}

// ---- Inflate ----------------------------------------------------------------------------------

// Bits are taken least significant first, as deflate packs them.
struct BitReader {
    const uint8_t* data;
    size_t size;
    size_t position = 0; // next byte
    uint32_t buffer = 0;
    int count = 0; // bits held in buffer

    bool take(int wanted, uint32_t& value)
    {
        while (count < wanted) {
            if (position == size)
                return false;
            buffer |= uint32_t(data[position++]) << count;
            count += 8;
        }
        value = buffer & ((1u << wanted) - 1);
        buffer >>= wanted;
        count -= wanted;
        return true;
    }
    void align_to_byte()
    {
        buffer = 0;
        count = 0;
    }
};

constexpr int kMaxCodeBits = 15;
constexpr int kLiteralLengthCodes = 288;
constexpr int kDistanceCodes = 30;

// A canonical Huffman code: how many codes have each length, and the symbols in code order.
struct Huffman {
    std::array<uint16_t, kMaxCodeBits + 1> count{};
    std::array<uint16_t, kLiteralLengthCodes> symbol{};
};

// False for an over-subscribed set of lengths; incomplete sets are allowed (deflate permits a
// distance code with a single code), and a bit sequence that falls outside them fails decoding.
bool build_huffman(Huffman& code, const uint8_t* lengths, int symbols)
{
    code.count.fill(0);
    for (int s = 0; s < symbols; ++s)
        ++code.count[lengths[s]];
    int left = 1;
    for (int length = 1; length <= kMaxCodeBits; ++length) {
        left = left * 2 - code.count[length];
        if (left < 0)
            return false;
    }
    std::array<uint16_t, kMaxCodeBits + 1> offset{};
    for (int length = 1; length < kMaxCodeBits; ++length)
        offset[length + 1] = offset[length] + code.count[length];
    for (int s = 0; s < symbols; ++s)
        if (lengths[s] != 0)
            code.symbol[offset[lengths[s]]++] = static_cast<uint16_t>(s);
    return true;
}

// The symbol of the next code, or -1 when the input ends or the code is not in the table.
int decode_symbol(BitReader& bits, const Huffman& code)
{
    int value = 0, first = 0, index = 0;
    for (int length = 1; length <= kMaxCodeBits; ++length) {
        uint32_t bit;
        if (!bits.take(1, bit))
            return -1;
        value |= static_cast<int>(bit);
        const int count = code.count[length];
        if (value - first < count)
            return code.symbol[index + value - first];
        index += count;
        first = (first + count) << 1;
        value <<= 1;
    }
    return -1;
}

// Length codes 257..285 and distance codes 0..29: base value and extra bits.
constexpr uint16_t kLengthBase[29] = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                      15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                      67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint16_t kDistanceBase[kDistanceCodes] = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr uint8_t kDistanceExtra[kDistanceCodes] = {0, 0, 0,  0,  1,  1,  2,  2,  3,  3,
                                                    4, 4, 5,  5,  6,  6,  7,  7,  8,  8,
                                                    9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
static_assert(std::size(kLengthBase) == std::size(kLengthExtra));
static_assert(std::size(kDistanceBase) == std::size(kDistanceExtra));

// Output of inflate, refusing to grow past `limit` bytes.
struct Output {
    std::vector<uint8_t> bytes;
    size_t limit;
};

const char* inflate_stored(BitReader& bits, Output& out)
{
    bits.align_to_byte();
    if (bits.size - bits.position < 4)
        return "image data cut short";
    const uint8_t* p = bits.data + bits.position;
    const size_t length = p[0] | size_t(p[1]) << 8;
    const size_t complement = p[2] | size_t(p[3]) << 8;
    if ((length ^ 0xffff) != complement)
        return "damaged stored block";
    bits.position += 4;
    if (bits.size - bits.position < length)
        return "image data cut short";
    if (out.bytes.size() + length > out.limit)
        return "image data longer than its header states";
    out.bytes.insert(out.bytes.end(), bits.data + bits.position,
                     bits.data + bits.position + length);
    bits.position += length;
    return nullptr;
}

const char* inflate_codes(BitReader& bits, Output& out, const Huffman& literals,
                          const Huffman& distances)
{
    for (;;) {
        const int symbol = decode_symbol(bits, literals);
        if (symbol < 0)
            return "damaged image data (bad code)";
        if (symbol < 256) {
            if (out.bytes.size() == out.limit)
                return "image data longer than its header states";
            out.bytes.push_back(static_cast<uint8_t>(symbol));
            continue;
        }
        if (symbol == 256)
            return nullptr;
        const int length_code = symbol - 257;
        if (length_code >= static_cast<int>(std::size(kLengthBase)))
            return "damaged image data (bad length)";
        uint32_t extra;
        if (!bits.take(kLengthExtra[length_code], extra))
            return "image data cut short";
        const size_t length = kLengthBase[length_code] + extra;
        const int distance_code = decode_symbol(bits, distances);
        if (distance_code < 0 || distance_code >= kDistanceCodes)
            return "damaged image data (bad distance)";
        if (!bits.take(kDistanceExtra[distance_code], extra))
            return "image data cut short";
        const size_t distance = kDistanceBase[distance_code] + extra;
        if (distance > out.bytes.size())
            return "damaged image data (distance before the start)";
        if (out.bytes.size() + length > out.limit)
            return "image data longer than its header states";
        // Byte by byte: a copy may overlap the bytes it produces.
        for (size_t i = 0; i < length; ++i)
            out.bytes.push_back(out.bytes[out.bytes.size() - distance]);
    }
}

void fixed_codes(Huffman& literals, Huffman& distances)
{
    uint8_t lengths[kLiteralLengthCodes];
    int s = 0;
    for (; s < 144; ++s)
        lengths[s] = 8;
    for (; s < 256; ++s)
        lengths[s] = 9;
    for (; s < 280; ++s)
        lengths[s] = 7;
    for (; s < kLiteralLengthCodes; ++s)
        lengths[s] = 8;
    build_huffman(literals, lengths, kLiteralLengthCodes);
    std::memset(lengths, 5, kDistanceCodes);
    build_huffman(distances, lengths, kDistanceCodes);
}

// Reads the code lengths of a dynamic block (themselves Huffman coded) and builds both codes.
const char* dynamic_codes(BitReader& bits, Huffman& literals, Huffman& distances)
{
    static constexpr uint8_t kOrder[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                           11, 4,  12, 3, 13, 2, 14, 1, 15};
    uint32_t literal_count, distance_count, length_count;
    if (!bits.take(5, literal_count) || !bits.take(5, distance_count) ||
        !bits.take(4, length_count))
        return "image data cut short";
    literal_count += 257;
    distance_count += 1;
    length_count += 4;
    if (literal_count > 286 || distance_count > kDistanceCodes)
        return "damaged image data (too many codes)";

    uint8_t lengths[kLiteralLengthCodes + kDistanceCodes] = {};
    for (uint32_t i = 0; i < length_count; ++i) {
        uint32_t length;
        if (!bits.take(3, length))
            return "image data cut short";
        lengths[kOrder[i]] = static_cast<uint8_t>(length);
    }
    Huffman length_code;
    if (!build_huffman(length_code, lengths, 19))
        return "damaged image data (bad code lengths)";

    const uint32_t total = literal_count + distance_count;
    std::memset(lengths, 0, sizeof(lengths));
    for (uint32_t i = 0; i < total;) {
        const int symbol = decode_symbol(bits, length_code);
        if (symbol < 0)
            return "damaged image data (bad code lengths)";
        if (symbol < 16) {
            lengths[i++] = static_cast<uint8_t>(symbol);
            continue;
        }
        uint8_t repeated = 0;
        uint32_t times;
        if (symbol == 16) {
            if (i == 0)
                return "damaged image data (repeat with nothing before)";
            repeated = lengths[i - 1];
            if (!bits.take(2, times))
                return "image data cut short";
            times += 3;
        } else if (symbol == 17) {
            if (!bits.take(3, times))
                return "image data cut short";
            times += 3;
        } else {
            if (!bits.take(7, times))
                return "image data cut short";
            times += 11;
        }
        if (i + times > total)
            return "damaged image data (too many code lengths)";
        while (times-- > 0)
            lengths[i++] = repeated;
    }
    if (lengths[256] == 0)
        return "damaged image data (no end-of-block code)";
    if (!build_huffman(literals, lengths, static_cast<int>(literal_count)) ||
        !build_huffman(distances, lengths + literal_count, static_cast<int>(distance_count)))
        return "damaged image data (bad code lengths)";
    return nullptr;
}

// A zlib stream (header, deflate blocks, Adler-32) into exactly `expected` bytes.
const char* zlib_inflate(const std::vector<uint8_t>& stream, size_t expected,
                         std::vector<uint8_t>& result)
{
    if (stream.size() < 6)
        return "image data cut short";
    const unsigned method = stream[0], flags = stream[1];
    if ((method & 0x0f) != 8 || (method >> 4) > 7 || (method * 256 + flags) % 31 != 0)
        return "image data is not a zlib stream";
    if ((flags & 0x20) != 0)
        return "image data needs a preset dictionary";

    BitReader bits{stream.data() + 2, stream.size() - 2};
    Output out{{}, expected};
    out.bytes.reserve(expected);
    uint32_t last = 0;
    while (last == 0) {
        uint32_t type;
        if (!bits.take(1, last) || !bits.take(2, type))
            return "image data cut short";
        const char* error = nullptr;
        if (type == 0) {
            error = inflate_stored(bits, out);
        } else if (type == 1 || type == 2) {
            Huffman literals, distances;
            if (type == 1)
                fixed_codes(literals, distances);
            else
                error = dynamic_codes(bits, literals, distances);
            if (error == nullptr)
                error = inflate_codes(bits, out, literals, distances);
        } else {
            error = "damaged image data (bad block type)";
        }
        if (error != nullptr)
            return error;
    }
    if (out.bytes.size() != expected)
        return "image data shorter than its header states";
    bits.align_to_byte();
    if (bits.size - bits.position < 4)
        return "image data cut short";
    if (read_be32(bits.data + bits.position) != adler32(out.bytes.data(), out.bytes.size()))
        return "image data checksum mismatch";
    result = std::move(out.bytes);
    return nullptr;
}

// ---- Reading ----------------------------------------------------------------------------------

struct Decoded {
    uint32_t width = 0, height = 0;
    uint8_t bit_depth = 0, color_type = 0;
    Palette palette{};
    std::vector<uint8_t> pixels; // one byte per pixel
};

const char* read_file(const std::string& path, std::vector<uint8_t>& bytes)
{
    File file(std::fopen(path.c_str(), "rb"));
    if (!file)
        return std::strerror(errno);
    if (std::fseek(file.get(), 0, SEEK_END) != 0)
        return std::strerror(errno);
    const long size = std::ftell(file.get());
    if (size < 0)
        return std::strerror(errno);
    if (size > kMaxFileBytes)
        return "file too large for an image";
    std::rewind(file.get());
    bytes.resize(static_cast<size_t>(size));
    if (std::fread(bytes.data(), 1, bytes.size(), file.get()) != bytes.size())
        return "read failed";
    return nullptr;
}

const char* parse_header(const uint8_t* data, uint32_t length, Decoded& image)
{
    if (length != 13)
        return "bad IHDR chunk";
    image.width = read_be32(data);
    image.height = read_be32(data + 4);
    image.bit_depth = data[8];
    image.color_type = data[9];
    if (image.width == 0 || image.height == 0)
        return "image has no pixels";
    if (image.width > kMaxPngSide || image.height > kMaxPngSide)
        return "image too large";
    if (data[10] != 0 || data[11] != 0)
        return "unknown compression or filter method";
    if (data[12] != 0)
        return "interlaced images are not supported";
    return nullptr;
}

const char* parse_palette(const uint8_t* data, uint32_t length, Decoded& image)
{
    if (length == 0 || length % 3 != 0 || length / 3 > kPaletteEntries)
        return "bad PLTE chunk";
    for (uint32_t i = 0; i < length / 3; ++i)
        image.palette[i] = {data[3 * i], data[3 * i + 1], data[3 * i + 2]};
    return nullptr;
}

// Walks the chunks: checks each length and CRC, takes IHDR and PLTE, gathers the IDAT data.
const char* parse_chunks(const std::vector<uint8_t>& file, Decoded& image,
                         std::vector<uint8_t>& idat)
{
    if (file.size() < sizeof(kSignature) ||
        std::memcmp(file.data(), kSignature, sizeof(kSignature)) != 0)
        return "not a PNG file";
    size_t at = sizeof(kSignature);
    bool header_seen = false;
    for (;;) {
        if (file.size() - at < 12)
            return "file cut short";
        const uint32_t length = read_be32(&file[at]);
        if (length > file.size() - at - 12)
            return "file cut short";
        const uint8_t* type = &file[at + 4];
        const uint8_t* data = type + 4;
        if (read_be32(data + length) != crc32(0, type, length + 4))
            return "chunk checksum mismatch";
        at += size_t(length) + 12;

        const char* error = nullptr;
        if (std::memcmp(type, "IHDR", 4) == 0) {
            error = header_seen ? "second IHDR chunk" : parse_header(data, length, image);
            header_seen = true;
        } else if (!header_seen) {
            error = "first chunk is not IHDR";
        } else if (std::memcmp(type, "PLTE", 4) == 0) {
            error = parse_palette(data, length, image);
        } else if (std::memcmp(type, "IDAT", 4) == 0) {
            idat.insert(idat.end(), data, data + length);
        } else if (std::memcmp(type, "IEND", 4) == 0) {
            return idat.empty() ? "no image data" : nullptr;
        } else if ((type[0] & 0x20) == 0) {
            error = "unknown critical chunk";
        }
        if (error != nullptr)
            return error;
    }
}

uint8_t paeth(int left, int above, int above_left)
{
    const int estimate = left + above - above_left;
    const int to_left = std::abs(estimate - left);
    const int to_above = std::abs(estimate - above);
    const int to_above_left = std::abs(estimate - above_left);
    if (to_left <= to_above && to_left <= to_above_left)
        return static_cast<uint8_t>(left);
    return static_cast<uint8_t>(to_above <= to_above_left ? above : above_left);
}

// Undoes the row filters in place; samples of at most 8 bits make the filter unit one byte.
const char* unfilter(std::vector<uint8_t>& raw, size_t row_bytes, uint32_t height)
{
    const size_t stride = row_bytes + 1;
    for (uint32_t y = 0; y < height; ++y) {
        uint8_t* row = &raw[y * stride + 1];
        const uint8_t* above = y > 0 ? &raw[(y - 1) * stride + 1] : nullptr;
        const uint8_t filter = row[-1];
        for (size_t i = 0; i < row_bytes; ++i) {
            const int a = i > 0 ? row[i - 1] : 0;
            const int b = above != nullptr ? above[i] : 0;
            const int c = i > 0 && above != nullptr ? above[i - 1] : 0;
            switch (filter) {
            case 0:
                break;
            case 1:
                row[i] = static_cast<uint8_t>(row[i] + a);
                break;
            case 2:
                row[i] = static_cast<uint8_t>(row[i] + b);
                break;
            case 3:
                row[i] = static_cast<uint8_t>(row[i] + (a + b) / 2);
                break;
            case 4:
                row[i] = static_cast<uint8_t>(row[i] + paeth(a, b, c));
                break;
            default:
                return "damaged image data (bad row filter)";
            }
        }
    }
    return nullptr;
}

// One byte per pixel from rows of 1, 2, 4 or 8 bits per pixel (left pixel in the high bits).
void unpack(const std::vector<uint8_t>& raw, size_t row_bytes, Decoded& image)
{
    const unsigned depth = image.bit_depth;
    const unsigned mask = (1u << depth) - 1;
    image.pixels.assign(size_t(image.width) * image.height, 0);
    for (uint32_t y = 0; y < image.height; ++y) {
        const uint8_t* row = &raw[y * (row_bytes + 1) + 1];
        uint8_t* out = &image.pixels[size_t(y) * image.width];
        for (uint32_t x = 0; x < image.width; ++x) {
            const size_t bit = size_t(x) * depth;
            const unsigned shift = 8 - depth - bit % 8;
            out[x] = static_cast<uint8_t>((row[bit / 8] >> shift) & mask);
        }
    }
}

// Reads and decodes `path` when `accept` (returning a refusal or null) passes its header.
template <typename Accept>
std::string read_png(const std::string& path, Decoded& image, Accept accept)
{
    std::vector<uint8_t> file, idat, raw;
    if (const char* error = read_file(path, file))
        return failure(path, error);
    if (const char* error = parse_chunks(file, image, idat))
        return failure(path, error);
    if (const char* refusal = accept(image))
        return failure(path, refusal);
    if (image.bit_depth != 1 && image.bit_depth != 2 && image.bit_depth != 4 &&
        image.bit_depth != 8)
        return failure(path, "unsupported bit depth");
    const size_t row_bytes = (size_t(image.width) * image.bit_depth + 7) / 8;
    if (const char* error = zlib_inflate(idat, (row_bytes + 1) * image.height, raw))
        return failure(path, error);
    if (const char* error = unfilter(raw, row_bytes, image.height))
        return failure(path, error);
    unpack(raw, row_bytes, image);
    return {};
}

// ---- Writing ----------------------------------------------------------------------------------

void put_chunk(std::vector<uint8_t>& out, const char (&type)[5], const std::vector<uint8_t>& data)
{
    put_be32(out, static_cast<uint32_t>(data.size()));
    const size_t type_at = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    put_be32(out, crc32(0, &out[type_at], data.size() + 4));
}

// A zlib stream of stored blocks: no compression, so no compressor to get wrong.
std::vector<uint8_t> zlib_stored(const std::vector<uint8_t>& data)
{
    std::vector<uint8_t> out = {0x78, 0x01};
    size_t at = 0;
    do {
        const size_t length = std::min(kMaxStoredBlock, data.size() - at);
        const bool last = at + length == data.size();
        out.push_back(last ? 1 : 0);
        out.push_back(static_cast<uint8_t>(length));
        out.push_back(static_cast<uint8_t>(length >> 8));
        out.push_back(static_cast<uint8_t>(~length));
        out.push_back(static_cast<uint8_t>(~length >> 8));
        out.insert(out.end(), data.begin() + at, data.begin() + at + length);
        at += length;
    } while (at < data.size());
    put_be32(out, adler32(data.data(), data.size()));
    return out;
}

// rows: height rows of row_bytes packed samples, each written with filter 0.
std::string write_png(const std::string& path, int width, int height, uint8_t bit_depth,
                      uint8_t color_type, const std::vector<uint8_t>& palette,
                      const std::vector<uint8_t>& rows, size_t row_bytes)
{
    std::vector<uint8_t> header;
    put_be32(header, static_cast<uint32_t>(width));
    put_be32(header, static_cast<uint32_t>(height));
    header.insert(header.end(), {bit_depth, color_type, 0, 0, 0});

    std::vector<uint8_t> raw;
    raw.reserve((row_bytes + 1) * size_t(height));
    for (int y = 0; y < height; ++y) {
        raw.push_back(0);
        raw.insert(raw.end(), rows.begin() + y * row_bytes, rows.begin() + (y + 1) * row_bytes);
    }

    std::vector<uint8_t> png(std::begin(kSignature), std::end(kSignature));
    put_chunk(png, "IHDR", header);
    if (!palette.empty())
        put_chunk(png, "PLTE", palette);
    put_chunk(png, "IDAT", zlib_stored(raw));
    put_chunk(png, "IEND", {});

    File file(std::fopen(path.c_str(), "wb"));
    if (!file)
        return failure(path, std::strerror(errno));
    if (std::fwrite(png.data(), 1, png.size(), file.get()) != png.size())
        return failure(path, std::strerror(errno));
    if (std::fclose(file.release()) != 0)
        return failure(path, std::strerror(errno));
    return {};
}

bool writable_size(int width, int height)
{
    return width >= 1 && height >= 1 && width <= kMaxPngSide && height <= kMaxPngSide;
}

} // namespace

std::string write_indexed_png(const std::string& path, int width, int height, const uint8_t* pixels,
                              const uint8_t (*palette)[3])
{
    if (palette == nullptr)
        return failure(path, "no palette");
    if (!writable_size(width, height) || pixels == nullptr)
        return failure(path, "nothing to write (empty image)");
    std::vector<uint8_t> colors(kPaletteEntries * 3);
    for (int i = 0; i < kPaletteEntries; ++i)
        std::memcpy(&colors[3 * i], palette[i], 3);
    const size_t count = size_t(width) * size_t(height);
    return write_png(path, width, height, 8, kColorIndexed, colors,
                     std::vector<uint8_t>(pixels, pixels + count), size_t(width));
}

std::string read_indexed_png(const std::string& path, IndexedImage& image)
{
    Decoded decoded;
    std::string error = read_png(path, decoded, [](const Decoded& d) -> const char* {
        return d.color_type == kColorIndexed ? nullptr : "not an indexed PNG";
    });
    if (!error.empty())
        return error;
    image.width = static_cast<int>(decoded.width);
    image.height = static_cast<int>(decoded.height);
    image.pixels = std::move(decoded.pixels);
    image.palette = decoded.palette;
    return {};
}

std::string write_bit_png(const std::string& path, int width, int height, const uint8_t* lit)
{
    if (!writable_size(width, height) || lit == nullptr)
        return failure(path, "nothing to write (empty image)");
    const size_t row_bytes = (size_t(width) + 7) / 8;
    std::vector<uint8_t> rows(row_bytes * size_t(height), 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (lit[size_t(y) * size_t(width) + size_t(x)] != 0)
                rows[y * row_bytes + x / 8] |= static_cast<uint8_t>(0x80u >> (x % 8));
    return write_png(path, width, height, 1, kColorGrey, {}, rows, row_bytes);
}

std::string read_bit_png(const std::string& path, BitImage& image)
{
    Decoded decoded;
    std::string error = read_png(path, decoded, [](const Decoded& d) -> const char* {
        return d.color_type == kColorGrey && d.bit_depth == 1 ? nullptr : "not a 1-bit grey PNG";
    });
    if (!error.empty())
        return error;
    image.width = static_cast<int>(decoded.width);
    image.height = static_cast<int>(decoded.height);
    image.pixels = std::move(decoded.pixels);
    return {};
}

} // namespace screentext::builtin
