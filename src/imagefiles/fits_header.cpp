#include "fits_header.h"
#include "reason.h"

#include "file_io.h"
#include "frame_limits.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>

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
    if (key.count == 0) return Fail(error, Reason(ReasonKind::NoCard, {name}));
    if (key.count > 1) return Fail(error, Reason(ReasonKind::CardTwice, {name}));
    if (!key.hasValue || !ParseInteger(key.value, out))
        return Fail(error, Reason(ReasonKind::CardNotInteger, {name, key.value}));
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
        cards.extraAxes.push_back({number, Reason(ReasonKind::CardNotInteger, {name, k.value})});
    else if (length != 1)
        cards.extraAxes.push_back({number, Reason(ReasonKind::AxesOverThree, {name, k.value})});
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
        return Fail(error, Reason(primary ? ReasonKind::EmptyFile : ReasonKind::NoExtension));
    if (primary && (available < std::size_t(kFitsCardBytes) || !KeywordIs(bytes, "SIMPLE")))
        return Fail(error, Reason(ReasonKind::NotFits));
    if (!primary && (available < std::size_t(kFitsCardBytes) || !KeywordIs(bytes, "XTENSION")))
        return Fail(error, Reason(ReasonKind::NoXtension));
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
        return Fail(error, Reason(ReasonKind::NoEndCardIn, {kFitsMaxHeaderBlocks}));
    return Fail(error, Reason(ReasonKind::NoEndCard));
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
        return Fail(error, Reason(ReasonKind::BitpixNotRead, {prefix, b}));
    if (!RequireInteger(naxisKey, compressed ? "ZNAXIS" : "NAXIS", axisCount, error)) return false;
    if (axisCount == 0 && !compressed) {
        shape.empty = true;
        return true;
    }
    if (axisCount < 2 || axisCount > kMaxAxes)
        return Fail(error, Reason(ReasonKind::NaxisNotTwo, {prefix, axisCount}));
    const std::string n = std::string(prefix) + "NAXIS";
    if (!RequireInteger(axes[0], (n + "1").c_str(), shape.width, error)) return false;
    if (!RequireInteger(axes[1], (n + "2").c_str(), shape.height, error)) return false;
    if (axisCount >= 3 && !RequireInteger(axes[2], (n + "3").c_str(), shape.planes, error))
        return false;
    if (!compressed)
        for (const ExtraAxis& axis : cards.extraAxes)
            if (axis.number <= axisCount) return Fail(error, axis.problem);
    if (compressed && axisCount > 3)
        return Fail(error, Reason(ReasonKind::AxesOverThree, {"ZNAXIS", axisCount}));
    if (shape.width < 1 || shape.width > kMaxFrameSide || shape.height < 1 ||
        shape.height > kMaxFrameSide)
        return Fail(error, Reason(ReasonKind::ImageSizeOutside,
                                  {shape.width, shape.height, kMaxFrameSide}));
    if (shape.planes < 1 || shape.planes > kMaxFrameSide)
        return Fail(error, Reason(ReasonKind::PlanesOutside, {n, shape.planes, kMaxFrameSide}));
    return true;
}

// An optional real keyword, `fallback` when absent.
bool ReadReal(const KeyValue& key, const char* name, double fallback, double& out,
              std::string& error) {
    out = fallback;
    if (key.count > 1) return Fail(error, Reason(ReasonKind::CardTwice, {name}));
    if (key.count == 0) return true;
    if (!key.hasValue || !ParseReal(key.value, out))
        return Fail(error, Reason(ReasonKind::CardNotNumber, {name, key.value}));
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
        if (tiles[i] < 1) return Fail(error, Reason(ReasonKind::CardIs, {name, tiles[i]}));
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
            return Fail(error, Reason(ReasonKind::NotImageExtension, {cards.xtension.value}));
    }
    Shape shape;
    if (!CheckShape(cards, compressed, shape, error)) return false;
    empty = shape.empty;
    if (empty && !primary) return Fail(error, Reason(ReasonKind::ExtensionNoImage));
    double bscale = 1, bzero = 0;
    if (!ReadReal(cards.bscale, "BSCALE", 1, bscale, error) ||
        !ReadReal(cards.bzero, "BZERO", 0, bzero, error))
        return false;
    if (bscale == 0) return Fail(error, Reason(ReasonKind::BscaleZero));

    const std::size_t cardCount = (cards.endCard / kCardsPerBlock + 1) * kCardsPerBlock;
    const std::size_t dataOffset = cardCount * kFitsCardBytes;
    std::uint64_t dataBytes = 0;
    if (compressed) {
        // The table's rows and its heap, which hold the compressed tiles.
        long long rowBytes = 0, rows = 0, heap = 0, groups = 0;
        if (!RequireInteger(cards.naxis, "NAXIS", rows, error) || rows != 2)
            return Fail(error, error.empty() ? Reason(ReasonKind::TableNaxis, {rows}) : error);
        if (!RequireInteger(cards.axes[0], "NAXIS1", rowBytes, error) ||
            !RequireInteger(cards.axes[1], "NAXIS2", rows, error) ||
            !OptionalInteger(cards.pcount, "PCOUNT", 0, heap, error) ||
            !OptionalInteger(cards.gcount, "GCOUNT", 1, groups, error))
            return false;
        const long long limit = 1LL << 40;
        if (rowBytes < 0 || rows < 0 || heap < 0 || rowBytes > limit || rows > limit ||
            heap > limit || groups != 1)
            return Fail(error, Reason(ReasonKind::TableSizes));
        dataBytes = std::uint64_t(rowBytes) * std::uint64_t(rows) + std::uint64_t(heap);
        if (dataBytes == 0) return Fail(error, Reason(ReasonKind::TableNoTiles));
        if (!ReadTiles(cards, shape, header, error)) return false;
    } else if (!empty) {
        dataBytes = std::uint64_t(shape.width) * std::uint64_t(shape.height) *
                    std::uint64_t(shape.planes) * std::uint64_t(std::llabs(shape.bitpix) / 8);
    }
    // The header's last block is whole in any file written to the standard; without it the
    // data would start past the end.
    if (remaining < dataOffset) return Fail(error, Reason(ReasonKind::HeaderBlockCut));
    const std::uint64_t present = remaining > dataOffset ? remaining - dataOffset : 0;
    if (present < dataBytes)
        return Fail(error, Reason(ReasonKind::TruncatedData, {present, dataBytes}));

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
        return Fail(error, Reason(ReasonKind::ExtensionBeyondRead));
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

}  // namespace

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
        return Fail(error, Reason(ReasonKind::Bitpix, {bits}));
    if (axes < 2 || axes > kMaxAxes)
        return Fail(error, Reason(ReasonKind::NaxisNotTwo, {"", axes}));

    if (!RequireInteger(cards.axes[0], "NAXIS1", shape.width, error) ||
        !RequireInteger(cards.axes[1], "NAXIS2", shape.height, error))
        return false;
    if (axes >= 3 && !RequireInteger(cards.axes[2], "NAXIS3", third, error)) return false;
    shape.bitpix = int(bits);
    shape.planes = third;
    return true;
}

}  // namespace framesifter
