#include "reason.h"

#include "system_calls.h"

#include <cerrno>

namespace framesifter {
namespace {

using K = ReasonKind;

// A template cut into its fixed texts and its places.
struct Piece {
    std::string text;  // fixed text when place < 0
    int place = -1;    // 0 for %1, ...
};

std::vector<Piece> Pieces(const std::string& english) {
    std::vector<Piece> pieces;
    std::string text;
    for (std::size_t i = 0; i < english.size(); ++i) {
        if (english[i] == '%' && i + 1 < english.size() && english[i + 1] >= '1' &&
            english[i + 1] <= '9') {
            if (!text.empty()) pieces.push_back({text, -1});
            text.clear();
            pieces.push_back({std::string(), english[i + 1] - '1'});
            ++i;
        } else {
            text += english[i];
        }
    }
    if (!text.empty()) pieces.push_back({text, -1});
    return pieces;
}

bool IsNumberChar(char c) { return (c >= '0' && c <= '9') || c == '-' || c == '.'; }

// Whether text[at..] matches pieces[p..], filling `values`; earlier places take the shortest
// text that lets the rest match, so a reason nested at the end keeps all of its own text.
bool Match(const std::string& text, std::size_t at, const std::vector<Piece>& pieces, std::size_t p,
           const char* kinds, std::vector<std::string>& values) {
    if (p == pieces.size()) return at == text.size();
    const Piece& piece = pieces[p];
    if (piece.place < 0) {
        return text.compare(at, piece.text.size(), piece.text) == 0 &&
               Match(text, at + piece.text.size(), pieces, p + 1, kinds, values);
    }
    const std::size_t place = std::size_t(piece.place);
    const ValueKind kind = ValueKindOf(kinds[place]);
    // Only a name may be empty ("%1BITPIX" with no prefix).
    for (std::size_t end = kind == ValueKind::Text ? at : at + 1; end <= text.size(); ++end) {
        if (kind == ValueKind::Number && end > at && !IsNumberChar(text[end - 1])) return false;
        values[place] = text.substr(at, end - at);
        if (Match(text, end, pieces, p + 1, kinds, values)) return true;
    }
    return false;
}

}  // namespace

const std::vector<ReasonEntry>& ReasonCatalogue() {
    // In the order of ReasonKind; each template's fixed text must tell it from the others.
    // Built on first use, so that reasons kept in other files' constants find it ready.
    static const std::vector<ReasonEntry> catalogue = {
        // Reading files
        {K::CannotOpen, "S", "cannot open: %1"},
        {K::CannotExamine, "S", "cannot examine: %1"},
        {K::NotRegularFile, "", "not a regular file"},
        {K::ReadError, "S", "read error: %1"},
        {K::WriteError, "S", "write error: %1"},
        {K::FileEndsBefore, "NN", "truncated: the file ends at byte %1 before byte %2"},
        {K::NoFileOpen, "", "no file is open"},
        {K::NoMemoryToRead, "N", "not enough memory to read %1 bytes"},
        {K::FileTooLarge, "N", "file too large: %1 bytes"},
        // Writing files and folder locks
        {K::CannotCreateInFolder, "S", "cannot create a file in its folder: %1"},
        {K::LeftoverTaken, "T", "another process took \"%1\" as a leftover"},
        {K::AlreadyExists, "", "already exists"},
        {K::ReplacedWhileWritten, "T", "\"%1\" was replaced while it was written"},
        {K::CannotCreate, "S", "cannot create: %1"},
        {K::CannotExaminePath, "TS", "cannot examine \"%1\": %2"},
        {K::CannotRemovePath, "TS", "cannot remove \"%1\": %2"},
        {K::NotAFile, "T", "\"%1\" is not a file"},
        {K::CannotOpenPath, "TS", "cannot open \"%1\": %2"},
        {K::CannotTellIfWritten, "TS", "cannot tell whether \"%1\" is being written: %2"},
        {K::PathProblem, "TR", "%1: %2"},
        {K::QuotedPathProblem, "TS", "\"%1\": %2"},
        // BMP
        {K::NotBmp, "", "not a BMP file"},
        {K::BmpHeaderSize, "N", "unknown BMP header size %1"},
        {K::BmpHeaderCut, "", "the BMP header is cut off"},
        {K::BmpSize, "NN", "BMP size %1 x %2"},
        {K::BmpPlanes, "N", "BMP with %1 planes"},
        {K::BmpDepth, "N", "unsupported BMP depth of %1 bits"},
        {K::BmpCompression, "NN", "unsupported BMP compression %1 at %2 bits"},
        {K::BmpMasksCut, "", "the BMP's channel masks are cut off"},
        {K::BmpDataOffset, "N", "the BMP pixel data offset %1 lies outside the file"},
        {K::TruncatedBytes, "NN", "truncated: %1 of %2 bytes present"},
        {K::BmpMaskOutside, "TN", "the BMP's %1 mask lies outside its %2-bit pixels"},
        {K::BmpMaskNotRun, "T", "the BMP's %1 mask is not one run of bits"},
        {K::BmpPaletteSize, "N", "BMP palette of %1 colours (at most 256)"},
        {K::BmpPaletteCut, "", "the BMP palette is cut off"},
        {K::BmpRowsPastEnd, "", "truncated: the BMP's rows run past the end of the file"},
        {K::RunLengthDamaged, "R", "damaged run-length data: %1"},
        {K::RunPastImage, "", "pixels go on past the image"},
        {K::RunPastRow, "", "a run goes past the end of its row"},
        {K::RunCutCommand, "", "the data end inside a command"},
        {K::RunEndsEarly, "", "the data end before the image does"},
        {K::RunMovePastImage, "", "a move goes past the image"},
        {K::NoMemoryBmp, "", "not enough memory for the BMP image"},
        // Frame names, sizes and kinds
        {K::NotAFrameName, "", "not a BMP, JPEG or FITS file name"},
        {K::VideoWithoutFrame, "T", "a %1 video: its frames are named PATH#1, PATH#2, ..."},
        {K::TooLarge, "NNNN", "image too large: %1 x %2 pixels declared (at most %3 x %4)"},
        {K::LeadingZeros, "T", "frame numbers are written without leading zeros: %1"},
        {K::NoSuchFrameCount, "TTN", "%1 has no frame %2; its frames are numbered 1 to %3"},
        {K::NoSuchFrameFromOne, "TT", "%1 has no frame %2; its frames are numbered from 1"},
        {K::NoVideoNoFrame, "TR",
         "there is no video %1 to take a frame from, and the file of this very name is no frame: "
         "%2"},
        {K::TooManyFrames, "N", "more than %1 frames"},
        {K::VideoFramesTooMany, "TNN", "%1: its %2 frames would make more than %3 frames in all"},
        {K::NoFrameOfCount, "NN", "no frame %1 (the video has %2)"},
        {K::Signature, "NNNT", "%1 x %2 %3-bit %4"},
        {K::SignatureFloat, "NNNT", "%1 x %2 %3-bit float %4"},
        {K::SignatureColour, "NNNT", "%1 x %2 %3-bit colour %4"},
        {K::SignatureFloatColour, "NNNT", "%1 x %2 %3-bit float colour %4"},
        {K::NoPixels, "NN", "a %1 x %2 image has no pixels"},
        {K::NoMemoryImage, "NN", "not enough memory for a %1 x %2 image"},
        // FITS
        {K::NoCard, "T", "no %1 card"},
        {K::CardTwice, "T", "%1 appears more than once"},
        {K::CardNotInteger, "TT", "%1 is not an integer: '%2'"},
        {K::CardNotNumber, "TT", "%1 is not a number: '%2'"},
        {K::EmptyFile, "", "empty file"},
        {K::NoExtension, "", "no extension after the empty primary header"},
        {K::NotFits, "", "not a FITS file (it does not start with a SIMPLE card)"},
        {K::NoXtension, "",
         "the extension after the empty primary header does not start with XTENSION"},
        {K::NoEndCardIn, "N", "no END card in the first %1 header blocks"},
        {K::NoEndCard, "", "no END card: the header does not end before the end of the file"},
        {K::BitpixNotRead, "TN", "%1BITPIX is %2; images of BITPIX 8, 16, 32, -32 or -64 are read"},
        {K::NaxisNotTwo, "TN", "%1NAXIS is %2; a two-dimensional image is needed"},
        {K::AxesOverThree, "TT", "%1 is %2; only images of up to three axes are read"},
        {K::ImageSizeOutside, "NNN", "image size %1 x %2 is outside 1..%3"},
        {K::PlanesOutside, "TNN", "%13 is %2; 1..%3 planes are read"},
        {K::CardIs, "TN", "%1 is %2"},
        {K::NotImageExtension, "T", "the first extension is not an image (XTENSION %1)"},
        {K::ExtensionNoImage, "", "the first extension holds no image"},
        {K::BscaleZero, "", "BSCALE is 0"},
        {K::TableNaxis, "N", "the compressed image's table has NAXIS %1, not 2"},
        {K::TableSizes, "", "the compressed image's table sizes are out of range"},
        {K::TableNoTiles, "", "the compressed image's table holds no tiles"},
        {K::HeaderBlockCut, "", "truncated: the header's last block is cut off"},
        {K::TruncatedData, "NN", "truncated: %1 of %2 data bytes present"},
        {K::ExtensionBeyondRead, "", "the first extension's header lies beyond the bytes read"},
        {K::Bitpix, "N", "BITPIX is %1"},
        {K::FitsCannotOpen, "S", "cannot open the image: %1"},
        {K::FitsCannotRead, "S", "cannot read the image: %1"},
        {K::FitsCannotReadTiles, "S", "cannot read the image's tiles: %1"},
        {K::FitsSizeDiffers, "", "the image's size differs from its header's"},
        {K::FitsNotOpen, "", "the image is not open"},
        {K::FitsBlockOutside, "", "the block lies outside the image"},
        {K::TileClaims, "NNN", "a compressed tile claims %1 x %2 pixels, more than its %3"},
        {K::TileInflates, "NNN",
         "a compressed tile of %1 bytes inflates to more than the %2 bytes of its %3 pixels"},
        {K::TilesText, "NN", "in tiles of %1 x %2 pixels"},
        {K::TilesTextPlanes, "NNN", "in tiles of %1 x %2 x %3 pixels"},
        {K::TilesNeedMemory, "RNN",
         "the image, compressed %1, needs %2 MB to be decompressed, more than the %3 MB allowed"},
        {K::CfitsioNotLoaded, "S", "cfitsio cannot be loaded: %1"},
        {K::CfitsioIncomplete, "TT", "cfitsio (%1) has no %2"},
        {K::FitsAreaOutside, "", "the area lies outside the plane"},
        {K::NotIntegers, "", "the image holds values that are not integers"},
        // gzip-compressed frames
        {K::GzipNotGzip, "", "not a gzip file (it does not start with the gzip signature)"},
        {K::GzipCut, "N", "truncated: the gzip data end after %1 expanded bytes"},
        {K::GzipDamaged, "S", "damaged gzip data: %1"},
        {K::GzipTrailing, "", "data that are not gzip follow the gzip data"},
        {K::GzipExpandsPast, "N",
         "it expands to more than %1 MB, more than a frame may hold in memory"},
        // JPEG
        {K::JpegUnknownColour, "N",
         "a JPEG of %1 colour components of no known kind, which is not supported"},
        {K::NoMemoryPixels, "NN", "out of memory for %1 x %2 pixels"},
        {K::NotJpegLibrary, "S", "not a JPEG file: %1"},
        {K::JpegCannotDecode, "S", "cannot decode JPEG: %1"},
        {K::JpegWriteInvalid, "NN", "cannot write JPEG: invalid image of %1 x %2 pixels"},
        {K::JpegWriteQuality, "N", "cannot write JPEG: quality %1 is not in 1..100"},
        {K::JpegCannotWrite, "S", "cannot write JPEG: %1"},
        {K::JpegWriteNoMemory, "", "cannot write JPEG: out of memory"},
        {K::NotJpeg, "", "not a JPEG file (it does not start with a JPEG start-of-image marker)"},
        {K::JpegRegionDiffers, "", "the JPEG decoder returned another region than the window"},
        // SER
        {K::NotSer, "", "not a SER video (no LUCAM-RECORDER signature)"},
        {K::SerHeaderCut, "N", "truncated: %1 of 178 header bytes present"},
        {K::SerColour, "N", "unknown colour ID %1"},
        {K::SerDepth, "N", "pixel depth %1 (1 to 16 are read)"},
        {K::SerFrameSize, "NN", "frame size %1 x %2"},
        {K::SerNoFrames, "N", "no frames (frame count %1)"},
        {K::SerFramesCut, "NN", "truncated: %1 frames announced, %2 present"},
        {K::SerFramesCutPart, "NN",
         "truncated: %1 frames announced, %2 present and part of one more"},
        {K::SerRowsOutside, "", "rows outside the frame"},
        {K::SerNothingToWrite, "", "no frames to write"},
        {K::SerNoSuchFrame, "NN", "frame %1 of %2 does not exist"},
        {K::NotSerBecause, "R", "not a SER video: %1"},
        {K::ItsVideoUnreadable, "R", "its video cannot be read: %1"},
        {K::HeaderNotVideos, "", "its header is not its video's"},
        {K::HoldsMoreThanFrames, "", "it holds more than frames of its video"},
        {K::HoldsFrameCount, "NN", "it holds %1 frames, not %2"},
        {K::ItsVideoNoFrame, "N", "its video has no frame %1"},
        {K::FrameNotFrame, "NN", "its frame %1 is not frame %2 of its video"},
        {K::FrameNotVideos, "N", "its frame %1 is not one of its video's"},
        {K::NoFrameInVideo, "NN", "no frame %1 in a video of %2 frames"},
        // Analysis
        {K::NoMemoryTable, "N", "not enough memory for the table of %1 frames"},
        {K::NoMemoryAnalyse, "", "not enough memory to analyse the frame"},
        {K::NoMemoryReadFrame, "", "not enough memory to read the frame"},
        {K::NoMemoryBmpConvert, "", "out of memory converting the BMP image"},
        {K::NoMemoryBmpPixels, "", "out of memory for the BMP pixels"},
        {K::NoMemoryJpegPixels, "", "out of memory for the JPEG pixels"},
        {K::FrameTooSmall, "NNNN", "the frame is %1 x %2 pixels; at least %3 x %4 are needed"},
        {K::ValuesTooLarge, "",
         "values too large to analyse: the frame's frequency amplitudes add up beyond the largest "
         "double (about 1.8e308)"},
        {K::NeedsMemory, "RNN",
         "%1 needs %2 MB of memory to be read, more than the %3 MB a run may use"},
        {K::TheFrame, "", "the frame"},
        {K::TheTiledFrame, "NNR", "the %1 x %2 frame, compressed %3,"},
        // Pictures in the viewer
        {K::NoMemoryPicture, "NN", "not enough memory for a %1 x %2 picture"},
        {K::NotSerFrame, "", "not a frame of a SER video (PATH#N)"},
        {K::UnknownFileKind, "", "unknown file kind"},
        {K::NoPicture, "", "no picture"},
        {K::NoMemoryConvert, "", "not enough memory to convert the picture"},
        {K::DataSizeMismatch, "NN", "the image data do not match the size %1 x %2"},
        {K::WriterFailed, "", "the picture writer failed"},
        // Moves into Good, their records and undo
        {K::RecordTooLarge, "NN", "larger than %1 MB (%2 bytes): skipped"},
        {K::CannotLookAt, "TS", "cannot look at \"%1\": %2"},
        {K::NeitherHere, "T", "it is neither in Good nor at \"%1\""},
        {K::ExistsAgain, "T", "\"%1\" exists again"},
        {K::ChangedInGood, "",
         "its size or time is not the moved file's: it changed in Good since"},
        {K::ChangedAfterWritten, "", "it changed after it was written"},
        {K::NotOnlyFramesKind, "TT", "it is not only frames of \"%1\": not a %2 video"},
        {K::ItsVideoCannotBeRead, "TR",
         "its video \"%1\" cannot be read (%2): it may be the only copy of its frames"},
        {K::NotOnlyFrames, "TR", "it is not only frames of \"%1\": %2"},
        {K::ChangedWhileCompared, "", "it changed while it was compared"},
        {K::CannotRemoveIt, "S", "cannot remove it: %1"},
        {K::CannotRecord, "TR", "cannot record the move in \"%1\": %2"},
        {K::RecordClosed, "", "the record cannot be added to"},
        {K::CannotAddRecord, "S", "cannot add to the move's record: %1"},
        {K::RecordNoLine, "", "not a move record: no line is complete"},
        {K::RecordFirstLine, "TT", "not a move record: its first line is not \"%1\" nor \"%2\""},
        {K::GoodInUse, "T",
         "another move or undo is working in \"%1\"; nothing was done there (try again once it has "
         "finished)"},
        {K::NotAFolder, "T", "\"%1\" is not a folder"},
        {K::MoveStopped, "", "the move was stopped; it stayed where it was"},
        {K::PartInUse, "T", "another move is copying it into \"%1\" now"},
        {K::TargetExists, "T", "\"%1\" already exists"},
        {K::CannotPlaceCopy, "TS", "cannot place the copy as \"%1\": %2"},
        {K::CannotFlushFolder, "TR", "cannot flush the folder \"%1\": %2"},
        {K::CannotRemoveFromFolder, "S", "cannot remove it from its folder: %1"},
        {K::CannotCreatePath, "TS", "cannot create \"%1\": %2"},
        {K::PartTaken, "T", "another move took \"%1\" as a leftover"},
        {K::CannotReadIt, "S", "cannot read it: %1"},
        {K::ItNotRegular, "", "it is not a regular file"},
        {K::CopyFailed, "TS", "copying it into \"%1\" failed: %2"},
        {K::CannotReadLink, "S", "cannot read the link: %1"},
        {K::CannotReadLinkPath, "TS", "cannot read the link \"%1\": %2"},
        {K::CannotCompare, "TTS", "cannot compare \"%1\" with \"%2\": %3"},
        {K::NoLongerExists, "", "it no longer exists"},
        {K::FolderGone, "T", "the folder \"%1\" no longer exists; it stays where it is"},
        {K::ExistsNotFolder, "T", "\"%1\" exists but is not a folder"},
        {K::CannotCreateFolder, "TS", "cannot create the folder \"%1\": %2"},
    };
    return catalogue;
}

const ReasonEntry& ReasonEntryOf(ReasonKind kind) { return ReasonCatalogue()[std::size_t(kind)]; }

ValueKind ValueKindOf(char letter) {
    switch (letter) {
    case 'N':
        return ValueKind::Number;
    case 'S':
        return ValueKind::System;
    case 'R':
        return ValueKind::Nested;
    default:
        return ValueKind::Text;
    }
}

std::string FillTemplate(const std::string& english, const std::vector<std::string>& values) {
    std::string out;
    for (std::size_t i = 0; i < english.size(); ++i) {
        const char next = i + 1 < english.size() ? english[i + 1] : '\0';
        const std::size_t place = std::size_t(next - '1');
        if (english[i] == '%' && next >= '1' && next <= '9' && place < values.size()) {
            out += values[place];
            ++i;
        } else {
            out += english[i];
        }
    }
    return out;
}

std::string Reason(ReasonKind kind, std::initializer_list<ReasonValue> values) {
    std::vector<std::string> texts;
    for (const ReasonValue& v : values) texts.push_back(v.text);
    return FillTemplate(ReasonEntryOf(kind).english, texts);
}

std::string SystemReason(ReasonKind kind, std::initializer_list<ReasonValue> values) {
    const int code = errno;
    std::vector<std::string> texts;
    for (const ReasonValue& v : values) texts.push_back(v.text);
    texts.push_back(SystemError(code));
    return FillTemplate(ReasonEntryOf(kind).english, texts);
}

bool ParseReason(const std::string& text, ParsedReason& parsed) {
    struct Cut {
        std::vector<Piece> pieces;
        std::size_t fixed = 0;
    };
    // Cut once: a long list of left-out frames asks for one reason per frame.
    static const std::vector<Cut> cuts = [] {
        std::vector<Cut> all;
        for (const ReasonEntry& entry : ReasonCatalogue()) {
            Cut cut{Pieces(entry.english), 0};
            for (const Piece& piece : cut.pieces) cut.fixed += piece.text.size();
            all.push_back(std::move(cut));
        }
        return all;
    }();
    std::size_t bestFixed = 0;
    bool found = false;
    for (std::size_t k = 0; k < cuts.size(); ++k) {
        const ReasonEntry& entry = ReasonCatalogue()[k];
        if (found && cuts[k].fixed <= bestFixed) continue;
        std::vector<std::string> values(std::char_traits<char>::length(entry.values));
        if (!Match(text, 0, cuts[k].pieces, 0, entry.values, values)) continue;
        parsed.kind = entry.kind;
        parsed.values = std::move(values);
        bestFixed = cuts[k].fixed;
        found = true;
    }
    return found;
}

}  // namespace framesifter
