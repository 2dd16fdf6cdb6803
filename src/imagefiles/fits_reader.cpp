#include "fits_reader.h"

#include "file_io.h"
#include "fits_general.h"
#include "frame_format.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace framesifter {

namespace {

constexpr int kCardsPerBlock = kFitsBlockBytes / kFitsCardBytes;
constexpr int kMaxAxes = 999;

std::string Trim(const char* begin, const char* end) {
    while (begin < end && *begin == ' ') ++begin;
    while (end > begin && end[-1] == ' ') --end;
    return std::string(begin, end);
}

bool KeywordIs(const std::uint8_t* card, const char* name) {
    const std::size_t n = std::strlen(name);
    if (std::memcmp(card, name, n) != 0) return false;
    for (std::size_t i = n; i < 8; ++i)
        if (card[i] != ' ') return false;
    return true;
}

// Only "END" padded with blanks to the card's end closes the header; ENDTIME and the
// like are ordinary keywords.
bool IsEndCard(const std::uint8_t* card) {
    if (std::memcmp(card, "END", 3) != 0) return false;
    return std::all_of(card + 3, card + kFitsCardBytes, [](std::uint8_t c) { return c == ' '; });
}

// "NAXISn" with n from 1 to 999; 0 for any other keyword.
int AxisNumber(const std::uint8_t* card) {
    if (std::memcmp(card, "NAXIS", 5) != 0) return 0;
    int n = 0;
    int i = 5;
    for (; i < 8 && card[i] >= '0' && card[i] <= '9'; ++i) n = n * 10 + (card[i] - '0');
    if (i == 5 || card[5] == '0') return 0;
    for (; i < 8; ++i)
        if (card[i] != ' ') return 0;
    return n;
}

// Values end up in error messages: keep a damaged file's control bytes out of them.
std::string Printable(std::string text) {
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) c = '?';
    return text;
}

// The value field of a card: "= " in columns 9-10, the value from column 11 up to a
// comment. Quoted strings come back with their quotes so that they never parse as numbers.
bool CardValue(const std::uint8_t* card, std::string& value) {
    if (card[8] != '=' || card[9] != ' ') return false;
    const char* p = reinterpret_cast<const char*>(card) + 10;
    const char* end = reinterpret_cast<const char*>(card) + kFitsCardBytes;
    const char* start = p;
    while (p < end && *p == ' ') ++p;
    if (p < end && *p == '\'') {
        const char* q = p + 1;
        while (q < end) {
            if (*q == '\'') {
                if (q + 1 < end && q[1] == '\'') {
                    q += 2;
                    continue;
                }
                ++q;
                break;
            }
            ++q;
        }
        value = Printable(std::string(p, q));
        return true;
    }
    const char* slash = std::find(start, end, '/');
    value = Printable(Trim(start, slash));
    return true;
}

bool ParseInteger(const std::string& text, long long& out) {
    const char* p = text.data();
    const char* end = p + text.size();
    const bool negative = p < end && *p == '-';
    if (p < end && (*p == '+' || *p == '-')) ++p;
    if (p == end || !std::isdigit(static_cast<unsigned char>(*p))) return false;
    auto r = std::from_chars(p, end, out);
    if (r.ec != std::errc() || r.ptr != end) return false;
    if (negative) out = -out;
    return true;
}

// Locale-independent: a Qt program runs under the user's locale, where strtod may expect
// a decimal comma. FITS also allows a D exponent.
bool ParseReal(const std::string& text, double& out) {
    std::string s = text;
    std::size_t start = 0;
    bool negative = false;
    if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
        negative = s[0] == '-';
        start = 1;
    }
    if (start == s.size() ||
        !(std::isdigit(static_cast<unsigned char>(s[start])) || s[start] == '.'))
        return false;
    for (char& c : s)
        if (c == 'D' || c == 'd') c = 'E';
    auto r =
        std::from_chars(s.data() + start, s.data() + s.size(), out, std::chars_format::general);
    if (r.ec != std::errc() || r.ptr != s.data() + s.size() || !std::isfinite(out)) return false;
    if (negative) out = -out;
    return true;
}

struct KeyValue {
    int count = 0;
    bool hasValue = false;
    std::string value;

    void take(const std::uint8_t* card) {
        ++count;
        if (count == 1) hasValue = CardValue(card, value);
    }
};

// An integer keyword that must be present exactly once.
bool RequireInteger(const KeyValue& key, const char* name, long long& out, std::string& error) {
    if (key.count == 0) return Fail(error, std::string("no ") + name + " card");
    if (key.count > 1) return Fail(error, std::string(name) + " appears more than once");
    if (!key.hasValue || !ParseInteger(key.value, out))
        return Fail(error, std::string(name) + " is not an integer: '" + key.value + "'");
    return true;
}

// An optional integer keyword: `fallback` when absent.
bool OptionalInteger(const KeyValue& key, const char* name, long long fallback, long long& out,
                     std::string& error) {
    out = fallback;
    return key.count == 0 || RequireInteger(key, name, out, error);
}

constexpr std::size_t kMaxHeaderBytes = std::size_t(kFitsMaxHeaderBlocks) * kFitsBlockBytes;

// An axis beyond the third whose length is not 1, and what is wrong with it; it matters
// only if NAXIS counts it.
struct ExtraAxis {
    int number;
    std::string problem;
};

// The cards the parse needs, gathered in one pass up to END. A tile-compressed image keeps
// its image's keywords under Z names in a binary table.
struct HeaderCards {
    KeyValue bitpix, naxis, bscale, bzero, xtension, zimage, zbitpix, znaxis, pcount, gcount, blank;
    KeyValue axes[3];    // NAXIS1 .. NAXIS3
    KeyValue zaxes[3];   // ZNAXIS1 .. ZNAXIS3
    KeyValue ztiles[3];  // ZTILE1 .. ZTILE3
    std::vector<ExtraAxis> extraAxes;
    std::size_t endCard = 0;  // index of the END card
};

// Axes beyond the third must have length 1: one cube of planes.
void TakeExtraAxis(const std::uint8_t* card, int number, HeaderCards& cards) {
    KeyValue k;
    k.take(card);
    long long length = 0;
    const std::string name = "NAXIS" + std::to_string(number);
    if (!k.hasValue || !ParseInteger(k.value, length))
        cards.extraAxes.push_back({number, name + " is not an integer: '" + k.value + "'"});
    else if (length != 1)
        cards.extraAxes.push_back(
            {number, name + " is " + k.value + "; only images of up to three axes are read"});
}

void TakeCard(const std::uint8_t* card, HeaderCards& cards) {
    static const struct {
        const char* name;
        KeyValue HeaderCards::*key;
    } kKeys[] = {{"BITPIX", &HeaderCards::bitpix},
                 {"NAXIS", &HeaderCards::naxis},
                 {"BSCALE", &HeaderCards::bscale},
                 {"BZERO", &HeaderCards::bzero},
                 {"XTENSION", &HeaderCards::xtension},
                 {"ZIMAGE", &HeaderCards::zimage},
                 {"ZBITPIX", &HeaderCards::zbitpix},
                 {"ZNAXIS", &HeaderCards::znaxis},
                 {"PCOUNT", &HeaderCards::pcount},
                 {"GCOUNT", &HeaderCards::gcount},
                 {"BLANK", &HeaderCards::blank},
                 {"ZNAXIS1", nullptr},
                 {"ZNAXIS2", nullptr},
                 {"ZNAXIS3", nullptr},
                 {"ZTILE1", nullptr},
                 {"ZTILE2", nullptr},
                 {"ZTILE3", nullptr}};
    for (const auto& k : kKeys) {
        if (!KeywordIs(card, k.name)) continue;
        if (k.key)
            (cards.*k.key).take(card);
        else if (k.name[1] == 'N')
            cards.zaxes[k.name[6] - '1'].take(card);
        else
            cards.ztiles[k.name[5] - '1'].take(card);
        return;
    }
    if (int n = AxisNumber(card)) {
        if (n <= 3)
            cards.axes[n - 1].take(card);
        else
            TakeExtraAxis(card, n, cards);
    }
}

// Reads cards up to END, searching no further than kMaxHeaderBytes. The first header
// starts with SIMPLE, an extension's with XTENSION.
bool CollectCards(const std::uint8_t* bytes, std::size_t available, std::uint64_t fileSize,
                  bool primary, HeaderCards& cards, std::string& error) {
    if (fileSize == 0)
        return Fail(error, primary ? "empty file" : "no extension after the empty primary header");
    if (primary && (available < std::size_t(kFitsCardBytes) || !KeywordIs(bytes, "SIMPLE")))
        return Fail(error, "not a FITS file (it does not start with a SIMPLE card)");
    if (!primary && (available < std::size_t(kFitsCardBytes) || !KeywordIs(bytes, "XTENSION")))
        return Fail(error,
                    "the extension after the empty primary header does not start with XTENSION");
    const std::size_t searched = std::min(available, kMaxHeaderBytes);
    for (std::size_t pos = 0; pos + kFitsCardBytes <= searched; pos += kFitsCardBytes) {
        const std::uint8_t* card = bytes + pos;
        if (IsEndCard(card)) {
            cards.endCard = pos / kFitsCardBytes;
            return true;
        }
        TakeCard(card, cards);
    }
    if (searched == kMaxHeaderBytes && fileSize > kMaxHeaderBytes)
        return Fail(error, "no END card in the first " + std::to_string(kFitsMaxHeaderBlocks) +
                               " header blocks");
    return Fail(error, "no END card: the header does not end before the end of the file");
}

bool IsTrue(const KeyValue& key) { return key.count == 1 && key.hasValue && key.value == "T"; }

bool IsImageExtension(const KeyValue& xtension) {
    return xtension.count == 1 && xtension.hasValue &&
           (xtension.value == "'IMAGE   '" || xtension.value == "'IMAGE'");
}

// The image's shape: BITPIX and two or three axes (further ones of length 1), each side
// within the frame limit. A tile-compressed image is described by its Z keywords.
struct Shape {
    long long bitpix = 0, width = 0, height = 0, planes = 1;
    bool empty = false;  // NAXIS 0: a primary header before extensions
};

bool CheckShape(const HeaderCards& cards, bool compressed, Shape& shape, std::string& error) {
    const KeyValue& bitpixKey = compressed ? cards.zbitpix : cards.bitpix;
    const KeyValue& naxisKey = compressed ? cards.znaxis : cards.naxis;
    const KeyValue* axes = compressed ? cards.zaxes : cards.axes;
    const char* prefix = compressed ? "Z" : "";
    long long axisCount = 0;
    if (!RequireInteger(bitpixKey, compressed ? "ZBITPIX" : "BITPIX", shape.bitpix, error))
        return false;
    const long long b = shape.bitpix;
    if (b != 8 && b != 16 && b != 32 && b != -32 && b != -64)
        return Fail(error, std::string(prefix) + "BITPIX is " + std::to_string(b) +
                               "; images of BITPIX 8, 16, 32, -32 or -64 are read");
    if (!RequireInteger(naxisKey, compressed ? "ZNAXIS" : "NAXIS", axisCount, error)) return false;
    if (axisCount == 0 && !compressed) {
        shape.empty = true;
        return true;
    }
    if (axisCount < 2 || axisCount > kMaxAxes)
        return Fail(error, std::string(prefix) + "NAXIS is " + std::to_string(axisCount) +
                               "; a two-dimensional image is needed");
    const std::string n = std::string(prefix) + "NAXIS";
    if (!RequireInteger(axes[0], (n + "1").c_str(), shape.width, error)) return false;
    if (!RequireInteger(axes[1], (n + "2").c_str(), shape.height, error)) return false;
    if (axisCount >= 3 && !RequireInteger(axes[2], (n + "3").c_str(), shape.planes, error))
        return false;
    if (!compressed)
        for (const ExtraAxis& axis : cards.extraAxes)
            if (axis.number <= axisCount) return Fail(error, axis.problem);
    if (compressed && axisCount > 3)
        return Fail(error, "ZNAXIS is " + std::to_string(axisCount) +
                               "; only images of up to three axes are read");
    if (shape.width < 1 || shape.width > kMaxFrameSide || shape.height < 1 ||
        shape.height > kMaxFrameSide)
        return Fail(error, "image size " + std::to_string(shape.width) + " x " +
                               std::to_string(shape.height) + " is outside 1.." +
                               std::to_string(kMaxFrameSide));
    if (shape.planes < 1 || shape.planes > kMaxFrameSide)
        return Fail(error, n + "3 is " + std::to_string(shape.planes) + "; 1.." +
                               std::to_string(kMaxFrameSide) + " planes are read");
    return true;
}

// An optional real keyword, `fallback` when absent.
bool ReadReal(const KeyValue& key, const char* name, double fallback, double& out,
              std::string& error) {
    out = fallback;
    if (key.count > 1) return Fail(error, std::string(name) + " appears more than once");
    if (key.count == 0) return true;
    if (!key.hasValue || !ParseReal(key.value, out))
        return Fail(error, std::string(name) + " is not a number: '" + key.value + "'");
    return true;
}

// The fold of the 16-bit path, (word ^ 0x8000) + bzero - 32768, stays within int for these.
bool OffsetFitsTheFastPath(double bzero) {
    return bzero == std::trunc(bzero) && bzero >= double(INT32_MIN) + 32768 &&
           bzero <= double(INT32_MAX) - 32767;
}

// The tile sizes of a compressed image, each within its axis: the library decompresses a
// whole tile at a time, so they decide what a read of the image costs. Rows by default.
bool ReadTiles(const HeaderCards& cards, const Shape& shape, FitsHeader& header,
               std::string& error) {
    const long long axes[3] = {shape.width, shape.height, shape.planes};
    long long tiles[3] = {shape.width, 1, 1};
    for (int i = 0; i < 3; ++i) {
        const std::string name = "ZTILE" + std::to_string(i + 1);
        if (!OptionalInteger(cards.ztiles[i], name.c_str(), tiles[i], tiles[i], error))
            return false;
        if (tiles[i] < 1) return Fail(error, name + " is " + std::to_string(tiles[i]));
        tiles[i] = std::min(tiles[i], axes[i]);
    }
    header.tileWidth = int(tiles[0]);
    header.tileHeight = int(tiles[1]);
    header.tilePlanes = int(tiles[2]);
    return true;
}

// One header unit at `bytes` (`available` of its bytes in memory, `remaining` bytes in the
// file from its start on). An empty primary header comes back with shape.empty set and
// header.dataOffset past its own data.
bool ParseUnit(const std::uint8_t* bytes, std::size_t available, std::uint64_t remaining,
               bool primary, FitsHeader& header, bool& empty, std::string& error) {
    HeaderCards cards;
    if (!CollectCards(bytes, available, remaining, primary, cards, error)) return false;
    bool compressed = false;
    if (!primary) {
        compressed = cards.xtension.count == 1 && cards.xtension.value == "'BINTABLE'" &&
                     IsTrue(cards.zimage);
        if (!compressed && !IsImageExtension(cards.xtension))
            return Fail(error, "the first extension is not an image (XTENSION " +
                                   cards.xtension.value + ")");
    }
    Shape shape;
    if (!CheckShape(cards, compressed, shape, error)) return false;
    empty = shape.empty;
    if (empty && !primary) return Fail(error, "the first extension holds no image");
    double bscale = 1, bzero = 0;
    if (!ReadReal(cards.bscale, "BSCALE", 1, bscale, error) ||
        !ReadReal(cards.bzero, "BZERO", 0, bzero, error))
        return false;
    if (bscale == 0) return Fail(error, "BSCALE is 0");

    const std::size_t cardCount = (cards.endCard / kCardsPerBlock + 1) * kCardsPerBlock;
    const std::size_t dataOffset = cardCount * kFitsCardBytes;
    std::uint64_t dataBytes = 0;
    if (compressed) {
        // The table's rows and its heap, which hold the compressed tiles.
        long long rowBytes = 0, rows = 0, heap = 0, groups = 0;
        if (!RequireInteger(cards.naxis, "NAXIS", rows, error) || rows != 2)
            return Fail(error, error.empty() ? "the compressed image's table has NAXIS " +
                                                   std::to_string(rows) + ", not 2"
                                             : error);
        if (!RequireInteger(cards.axes[0], "NAXIS1", rowBytes, error) ||
            !RequireInteger(cards.axes[1], "NAXIS2", rows, error) ||
            !OptionalInteger(cards.pcount, "PCOUNT", 0, heap, error) ||
            !OptionalInteger(cards.gcount, "GCOUNT", 1, groups, error))
            return false;
        const long long limit = 1LL << 40;
        if (rowBytes < 0 || rows < 0 || heap < 0 || rowBytes > limit || rows > limit ||
            heap > limit || groups != 1)
            return Fail(error, "the compressed image's table sizes are out of range");
        dataBytes = std::uint64_t(rowBytes) * std::uint64_t(rows) + std::uint64_t(heap);
        if (dataBytes == 0) return Fail(error, "the compressed image's table holds no tiles");
        if (!ReadTiles(cards, shape, header, error)) return false;
    } else if (!empty) {
        dataBytes = std::uint64_t(shape.width) * std::uint64_t(shape.height) *
                    std::uint64_t(shape.planes) * std::uint64_t(std::llabs(shape.bitpix) / 8);
    }
    // The header's last block is whole in any file written to the standard; without it the
    // data would start past the end.
    if (remaining < dataOffset) return Fail(error, "truncated: the header's last block is cut off");
    const std::uint64_t present = remaining > dataOffset ? remaining - dataOffset : 0;
    if (present < dataBytes)
        return Fail(error, "truncated: " + std::to_string(present) + " of " +
                               std::to_string(dataBytes) + " data bytes present");

    header.width = int(shape.width);
    header.height = int(shape.height);
    header.cardCount = int(cardCount);
    header.bitpix = int(shape.bitpix);
    header.planes = int(shape.planes);
    header.plane = shape.planes == 3 ? 2 : 1;
    header.bscale = bscale;
    header.bzeroValue = bzero;
    header.compressed = compressed;
    if (!compressed) header.tileWidth = header.tileHeight = header.tilePlanes = 0;
    const double truncated = std::trunc(bzero);
    header.bzero =
        truncated >= double(INT_MIN) && truncated <= double(INT_MAX) ? int(truncated) : 0;
    // The library reads undefined integer pixels (BLANK) as NaN, which counts as 0; the
    // 16-bit path leaves such frames to it.
    long long blank = 0;
    header.blank = shape.bitpix > 0 && cards.blank.count == 1 && cards.blank.hasValue &&
                   ParseInteger(cards.blank.value, blank);
    header.fast = primary && !compressed && shape.bitpix == 16 && shape.planes == 1 &&
                  bscale == 1 && OffsetFitsTheFastPath(bzero) && !header.blank;
    header.dataOffset = dataOffset;
    return true;
}

// `available` bytes are in memory; `fileSize` is what the file holds in all. Only the
// primary header's unit: an empty one is taken further by ReadFitsHeader.
bool ParseHeaderBytes(const std::uint8_t* bytes, std::size_t available, std::uint64_t fileSize,
                      FitsHeader& header, std::string& error) {
    bool empty = false;
    if (!ParseUnit(bytes, available, fileSize, true, header, empty, error)) return false;
    if (!empty) return true;
    // The image lies in the first extension, right after this header.
    const std::size_t next = header.dataOffset;
    if (next >= available && next < fileSize)
        return Fail(error, "the first extension's header lies beyond the bytes read");
    const std::size_t start = std::min(next, available);
    FitsHeader image;
    if (!ParseUnit(bytes + start, available - start,
                   fileSize - std::min<std::uint64_t>(next, fileSize), false, image, empty, error))
        return false;
    image.hdu = 2;
    image.dataOffset += next;
    image.cardCount += header.cardCount;
    header = image;
    return true;
}

// Rows of big-endian words into columns: plane[i][y0 + j] = fold(word at column x0 + i of
// row j of `rows`), for `columns` x `count` words; a row is `width` words long. Done in
// bands of rows so that each column receives a whole cache line at a time instead of one
// element per row.
template <class Fold>
void Transpose(const std::uint8_t* rows, int width, int x0, int columns, int y0, int count,
               IntPlane& plane, Fold fold) {
    constexpr int kBand = 16;
    const std::size_t rowBytes = std::size_t(width) * 2;
    for (int j0 = 0; j0 < count; j0 += kBand) {
        const int j1 = std::min(count, j0 + kBand);
        const std::uint8_t* band = rows + std::size_t(j0) * rowBytes + std::size_t(x0) * 2;
        for (int i = 0; i < columns; ++i) {
            std::int32_t* column = plane[i] + y0;
            const std::uint8_t* p = band + std::size_t(i) * 2;
            for (int j = j0; j < j1; ++j, p += rowBytes)
                column[j] = fold(std::int32_t(p[0]) << 8 | p[1]);
        }
    }
}

// Raw words 0..65535 cannot overflow the fold when the offset stays this far inside the int
// range; the plain fold vectorises where the clamped one does not.
bool FoldCannotOverflow(std::int32_t z) { return z >= INT32_MIN + 32768 && z <= INT32_MAX - 32767; }

// Rows per read of the data when a whole image is decoded from a file: about 1 MiB.
int RowsPerBand(int width) {
    constexpr std::size_t kBandBytes = std::size_t(1) << 20;
    return int(std::max<std::size_t>(16, kBandBytes / (std::size_t(width) * 2) / 16 * 16));
}

// All of a parsed image's rows into plane[x][y] = fold(word), read band by band.
template <class Fold>
bool DecodeSourceRows(const ByteSource& source, const FitsHeader& header, IntPlane& plane,
                      Fold fold, std::string& error) {
    const std::size_t rowBytes = std::size_t(header.width) * 2;
    const int band = RowsPerBand(header.width);
    std::vector<std::uint8_t> scratch;
    for (int y = 0; y < header.height; y += band) {
        const int count = std::min(band, header.height - y);
        const std::uint8_t* rows = source.view(header.dataOffset + std::uint64_t(y) * rowBytes,
                                               rowBytes * std::size_t(count), scratch, error);
        if (!rows) return false;
        Transpose(rows, header.width, 0, header.width, y, count, plane, fold);
    }
    return true;
}

bool RequireFast(const FitsHeader& header, std::string& error) {
    if (header.fast) return true;
    return Fail(error, "not a plain 16-bit image (BITPIX " + std::to_string(header.bitpix) +
                           "); read through FitsImageFile");
}

bool CheckPlaneSize(const FitsHeader& header, const IntPlane& plane, std::string& error) {
    const int w = header.width;
    const int h = header.height;
    if (plane.empty() || plane.first() != w || plane.second() != h)
        return Fail(error, "the image is " + std::to_string(w) + " x " + std::to_string(h) +
                               " but the plane is " + std::to_string(plane.first()) + " x " +
                               std::to_string(plane.second()));
    return true;
}

}  // namespace

bool ParseFitsHeaderBytes(const std::uint8_t* bytes, std::size_t available, std::uint64_t fileSize,
                          FitsHeader& header, std::string& error) {
    return ParseHeaderBytes(bytes, available, fileSize, header, error);
}

bool ParseFitsHeader(const std::uint8_t* bytes, std::size_t size, FitsHeader& header,
                     std::string& error) {
    return ParseHeaderBytes(bytes, size, size, header, error);
}

bool ReadFitsHeader(const ByteSource& source, std::vector<std::uint8_t>& blocks, FitsHeader& header,
                    std::string& error) {
    const std::uint64_t size = source.size();
    if (source.memory()) {
        const std::size_t available = std::size_t(std::min<std::uint64_t>(size, kMaxHeaderBytes));
        return ParseHeaderBytes(source.memory(), available, size, header, error);
    }
    blocks.clear();
    std::vector<std::uint8_t> scratch;
    // Up to the primary header's END, and on to the next END when the primary holds no image.
    bool extension = false;
    while (blocks.size() < kMaxHeaderBytes && blocks.size() < size) {
        const std::size_t before = blocks.size();
        const std::size_t n = std::size_t(std::min<std::uint64_t>(kFitsBlockBytes, size - before));
        const std::uint8_t* block = source.view(before, n, scratch, error);
        if (!block) return false;
        blocks.insert(blocks.end(), block, block + n);
        if (before == 0 && n >= std::size_t(kFitsCardBytes) && !KeywordIs(block, "SIMPLE"))
            break;  // not FITS: the parse says so without reading on
        bool found = false;
        for (std::size_t pos = 0; pos + kFitsCardBytes <= n && !found; pos += kFitsCardBytes)
            found = IsEndCard(block + pos);
        if (!found) continue;
        if (extension) break;
        FitsHeader primary;
        bool empty = false;
        std::string ignored;
        if (!ParseUnit(blocks.data(), blocks.size(), size, true, primary, empty, ignored) || !empty)
            break;
        extension = true;
    }
    return ParseHeaderBytes(blocks.data(), blocks.size(), size, header, error);
}

bool DecodeFitsPixels(const std::uint8_t* bytes, std::size_t size, const FitsHeader& header,
                      IntPlane& plane, std::string& error) {
    const int w = header.width;
    const int h = header.height;
    if (!RequireFast(header, error) || !CheckPlaneSize(header, plane, error)) return false;
    const std::size_t dataBytes = std::size_t(w) * std::size_t(h) * 2;
    if (header.dataOffset > size || size - header.dataOffset < dataBytes)
        return Fail(error,
                    "truncated: fewer than " + std::to_string(dataBytes) + " data bytes present");
    Transpose(bytes + header.dataOffset, w, 0, w, 0, h, plane,
              [](std::int32_t raw) { return raw; });
    return true;
}

bool ReadFitsSize(const std::string& path, int& width, int& height, std::string& error) {
    ByteSource source;
    if (!source.open(path, error)) return false;
    std::vector<std::uint8_t> blocks;
    FitsHeader header;
    if (!ReadFitsHeader(source, blocks, header, error)) return false;
    width = header.width;
    height = header.height;
    return true;
}

bool ReadFitsImage(const std::string& path, std::vector<char>& headerBytes, int& width, int& height,
                   int& cardCount, int& bzero, IntPlane& plane, std::string& error) {
    ByteSource source;
    if (!source.open(path, error)) return false;
    std::vector<std::uint8_t> blocks;
    FitsHeader header;
    if (!ReadFitsHeader(source, blocks, header, error)) return false;
    if (!RequireFast(header, error) || !CheckPlaneSize(header, plane, error) ||
        !DecodeSourceRows(
            source, header, plane, [](std::int32_t raw) { return raw; }, error))
        return false;
    headerBytes.assign(blocks.begin(), blocks.begin() + std::ptrdiff_t(header.dataOffset));
    width = header.width;
    height = header.height;
    cardCount = header.cardCount;
    bzero = header.bzero;
    return true;
}

bool ApplyBzero(int bzero, int first, int second, IntPlane& plane, std::string& error) {
    if (first < 0 || second < 0 || first > plane.first() || second > plane.second())
        return Fail(error, "the area lies outside the plane");
    for (int x = 0; x < first; ++x) {
        std::int32_t* line = plane[x];
        for (int y = 0; y < second; ++y) line[y] = FoldBzero(line[y], bzero);
    }
    return true;
}

#if defined(__SSE2__)
namespace {

// The fold of four raw words when FoldCannotOverflow(bzero): flip holds 0x8000 and offset
// bzero - 32768 in every lane.
__m128i Fold4(__m128i raw, __m128i flip, __m128i offset) {
    return _mm_add_epi32(_mm_xor_si128(raw, flip), offset);
}

// An 8 x 8 block of big-endian words (rows rowBytes apart) turned in registers: columns[k][j]
// for j = 0..7 receives the folded word of column k of row j.
void Fold8x8(const std::uint8_t* p, std::size_t rowBytes, std::int32_t* const* columns, __m128i z,
             __m128i minusZ) {
    __m128i r[8];
    for (int k = 0; k < 8; ++k) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k * rowBytes));
        r[k] = _mm_or_si128(_mm_slli_epi16(v, 8), _mm_srli_epi16(v, 8));
    }
    __m128i a[8], b[8], c[8];
    for (int k = 0; k < 4; ++k) {
        a[2 * k] = _mm_unpacklo_epi16(r[2 * k], r[2 * k + 1]);
        a[2 * k + 1] = _mm_unpackhi_epi16(r[2 * k], r[2 * k + 1]);
    }
    for (int k = 0; k < 2; ++k) {
        b[4 * k] = _mm_unpacklo_epi32(a[4 * k], a[4 * k + 2]);
        b[4 * k + 1] = _mm_unpackhi_epi32(a[4 * k], a[4 * k + 2]);
        b[4 * k + 2] = _mm_unpacklo_epi32(a[4 * k + 1], a[4 * k + 3]);
        b[4 * k + 3] = _mm_unpackhi_epi32(a[4 * k + 1], a[4 * k + 3]);
    }
    for (int k = 0; k < 4; ++k) {
        c[2 * k] = _mm_unpacklo_epi64(b[k], b[k + 4]);
        c[2 * k + 1] = _mm_unpackhi_epi64(b[k], b[k + 4]);
    }
    const __m128i zero = _mm_setzero_si128();
    for (int k = 0; k < 8; ++k) {
        __m128i* out = reinterpret_cast<__m128i*>(columns[k]);
        _mm_storeu_si128(out, Fold4(_mm_unpacklo_epi16(c[k], zero), z, minusZ));
        _mm_storeu_si128(out + 1, Fold4(_mm_unpackhi_epi16(c[k], zero), z, minusZ));
    }
}

// S = sum v and X = sum k v over the 8 * blocks words from p, k counted from p's first word,
// added to s and x. Columns are kept apart in the lanes of running sums P (of v) and Q (of P),
// which need additions only: for the words v_m of one lane, sum m v_m = blocks * P - Q.
// Exact while blocks * blocks * largest |v| stays below 2^31.
void AddBlockSums(const std::uint8_t* p, int blocks, __m128i z, __m128i minusZ, std::int64_t& s,
                  std::int64_t& x) {
    const __m128i zero = _mm_setzero_si128();
    __m128i p0 = zero, p1 = zero, q0 = zero, q1 = zero;
    for (int m = 0; m < blocks; ++m, p += 16) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        v = _mm_or_si128(_mm_slli_epi16(v, 8), _mm_srli_epi16(v, 8));
        p0 = _mm_add_epi32(p0, Fold4(_mm_unpacklo_epi16(v, zero), z, minusZ));
        p1 = _mm_add_epi32(p1, Fold4(_mm_unpackhi_epi16(v, zero), z, minusZ));
        q0 = _mm_add_epi32(q0, p0);
        q1 = _mm_add_epi32(q1, p1);
    }
    alignas(16) std::int32_t P[8], Q[8];
    _mm_store_si128(reinterpret_cast<__m128i*>(P), p0);
    _mm_store_si128(reinterpret_cast<__m128i*>(P + 4), p1);
    _mm_store_si128(reinterpret_cast<__m128i*>(Q), q0);
    _mm_store_si128(reinterpret_cast<__m128i*>(Q + 4), q1);
    for (int k = 0; k < 8; ++k) {
        s += P[k];
        x += 8 * (std::int64_t(blocks) * P[k] - Q[k]) + std::int64_t(k) * P[k];
    }
}

// The window in blocks of 8 x 8, sixteen rows at a time so that each column receives whole
// cache lines. Needs n a multiple of 8 and FoldCannotOverflow(bzero).
void DecodeWindowBlocks(const std::uint8_t* rows, int width, std::int32_t bzero, int x0, int n,
                        IntPlane& window) {
    const std::size_t rowBytes = std::size_t(width) * 2;
    const __m128i z = _mm_set1_epi32(0x8000);
    const __m128i minusZ = _mm_set1_epi32(bzero - 32768);
    std::int32_t* columns[8];
    for (int j0 = 0; j0 < n; j0 += 16) {
        for (int i0 = 0; i0 < n; i0 += 8) {
            for (int j = j0; j < std::min(n, j0 + 16); j += 8) {
                for (int k = 0; k < 8; ++k) columns[k] = window[i0 + k] + j;
                Fold8x8(rows + std::size_t(j) * rowBytes + std::size_t(x0 + i0) * 2, rowBytes,
                        columns, z, minusZ);
            }
        }
    }
}

}  // namespace
#endif

void FitsRowSums(const std::uint8_t* row, int width, int bzero, std::int64_t& s, std::int64_t& sx) {
    const std::int64_t z = bzero;
    s = sx = 0;
    int x = 0;
#if defined(__SSE2__)
    const std::int64_t largest = 65535 + (z < 0 ? -z : z);
    const int segment = std::max(1, int(std::sqrt(double(INT32_MAX / largest))) - 1);
    const __m128i zv = _mm_set1_epi32(0x8000), minusZ = _mm_set1_epi32(bzero - 32768);
    for (; x + 8 <= width;) {
        const int blocks = std::min(segment, (width - x) / 8);
        std::int64_t segmentS = 0, segmentX = 0;
        AddBlockSums(row + std::size_t(x) * 2, blocks, zv, minusZ, segmentS, segmentX);
        s += segmentS;
        sx += segmentX + std::int64_t(x) * segmentS;
        x += 8 * blocks;
    }
#endif
    for (const std::uint8_t* p = row + std::size_t(x) * 2; x < width; ++x, p += 2) {
        const std::int64_t raw = std::int64_t(p[0]) << 8 | p[1];
        const std::int64_t v = (raw ^ 0x8000) - 32768 + z;
        s += v;
        sx += v * x;
    }
}

void DecodeFitsWindowRows(const std::uint8_t* rows, int width, int bzero, int x0, int n,
                          IntPlane& window) {
    const std::int32_t z = bzero;
#if defined(__SSE2__)
    if (n % 8 == 0 && FoldCannotOverflow(z)) {
        DecodeWindowBlocks(rows, width, z, x0, n, window);
        return;
    }
#endif
    if (FoldCannotOverflow(z))
        Transpose(rows, width, x0, n, 0, n, window,
                  [k = z - 32768](std::int32_t raw) { return (raw ^ 0x8000) + k; });
    else
        Transpose(rows, width, x0, n, 0, n, window,
                  [z](std::int32_t raw) { return FoldBzero(raw, z); });
}

bool DecodeFitsWindow(const std::uint8_t* bytes, std::size_t size, const FitsHeader& header, int x0,
                      int y0, int n, IntPlane& window, std::string& error) {
    if (x0 < 0 || y0 < 0 || n < 1 || x0 + n > header.width || y0 + n > header.height)
        return Fail(error, "the window lies outside the image");
    if (window.first() < n || window.second() < n)
        return Fail(error, "the window plane is too small");
    const std::size_t rowBytes = std::size_t(header.width) * 2;
    if (header.dataOffset > size ||
        size - header.dataOffset < rowBytes * std::size_t(header.height))
        return Fail(error, "truncated data");
    const std::uint8_t* rows = bytes + header.dataOffset + std::size_t(y0) * rowBytes;
    DecodeFitsWindowRows(rows, header.width, header.bzero, x0, n, window);
    return true;
}

namespace {

bool DecodeParsedFrame(const ByteSource& source, const FitsHeader& header, IntPlane& plane,
                       int& width, int& height, std::string& error) {
    // A batch run reads frames of one size: keep the plane when it already fits, since
    // every element is written below.
    if (plane.empty() || plane.first() != header.width || plane.second() != header.height) {
        if (!AllocIntPlane(header.width, header.height, plane))
            return Fail(error, "not enough memory for a " + std::to_string(header.width) + " x " +
                                   std::to_string(header.height) + " image");
    }
    if (!header.fast) {
        std::vector<double> values;
        FitsHeader parsed = header;
        if (!ReadFitsValues(source, parsed, values, error)) return false;
        if (!AllIntegers(values.data(), values.size()))
            return Fail(error, "the image holds values that are not integers");
        for (int y = 0; y < header.height; ++y)
            for (int x = 0; x < header.width; ++x)
                plane[x][y] = int(values[std::size_t(y) * std::size_t(header.width) + x]);
        width = header.width;
        height = header.height;
        return true;
    }
    const std::int32_t z = header.bzero;
    if (FoldCannotOverflow(z)) {
        // Folding while decoding gives the same values as ApplyBzero afterwards.
        if (!DecodeSourceRows(
                source, header, plane,
                [k = z - 32768](std::int32_t raw) { return (raw ^ 0x8000) + k; }, error))
            return false;
    } else {
        if (!DecodeSourceRows(
                source, header, plane, [](std::int32_t raw) { return raw; }, error) ||
            !ApplyBzero(header.bzero, header.width, header.height, plane, error))
            return false;
    }
    width = header.width;
    height = header.height;
    return true;
}

}  // namespace

bool DecodeFitsFrame(const std::uint8_t* bytes, std::size_t size, IntPlane& plane, int& width,
                     int& height, std::string& error) {
    FitsHeader header;
    if (!ParseHeaderBytes(bytes, size, size, header, error)) return false;
    return DecodeParsedFrame(ByteSource(bytes, size), header, plane, width, height, error);
}

bool ReadFitsFrame(const std::string& path, IntPlane& plane, int& width, int& height,
                   std::string& error) {
    ByteSource source;
    if (!source.open(path, error)) return false;
    std::vector<std::uint8_t> blocks;
    FitsHeader header;
    if (!ReadFitsHeader(source, blocks, header, error)) return false;
    return DecodeParsedFrame(source, header, plane, width, height, error);
}

bool ReadFitsCards(const ByteSource& source, FitsCards& shape, std::string& error) {
    // ReadFitsHeader gathers a file's header blocks even when it refuses the image.
    std::vector<std::uint8_t> blocks;
    FitsHeader header;
    std::string refusal;
    if (ReadFitsHeader(source, blocks, header, refusal)) {
        // Every image read, a compressed one by its own sizes.
        shape.bitpix = header.bitpix;
        shape.width = header.width;
        shape.height = header.height;
        shape.planes = header.planes;
        return true;
    }
    const std::uint8_t* bytes = source.memory() ? source.memory() : blocks.data();
    const std::size_t available =
        source.memory() ? std::size_t(std::min<std::uint64_t>(source.size(), kMaxHeaderBytes))
                        : blocks.size();
    HeaderCards cards;
    if (!CollectCards(bytes, available, source.size(), true, cards, error)) return false;
    long long bits = 0, axes = 0, third = 1;
    if (!RequireInteger(cards.bitpix, "BITPIX", bits, error) ||
        !RequireInteger(cards.naxis, "NAXIS", axes, error))
        return false;
    if (bits != 8 && bits != 16 && bits != 32 && bits != 64 && bits != -32 && bits != -64)
        return Fail(error, "BITPIX is " + std::to_string(bits));
    if (axes < 2 || axes > kMaxAxes)
        return Fail(error,
                    "NAXIS is " + std::to_string(axes) + "; a two-dimensional image is needed");
    if (!RequireInteger(cards.axes[0], "NAXIS1", shape.width, error) ||
        !RequireInteger(cards.axes[1], "NAXIS2", shape.height, error))
        return false;
    if (axes >= 3 && !RequireInteger(cards.axes[2], "NAXIS3", third, error)) return false;
    shape.bitpix = int(bits);
    shape.planes = third;
    return true;
}

}  // namespace framesifter
