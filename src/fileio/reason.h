#pragma once
// Every reason a failure can give, as one catalogue of kinds with their English templates.
// The libraries build their reasons from it, so the reason text they pass up (and the command
// line prints) stays English; the windows match a reason against the same templates to find
// its kind and values again and show it in their own language.

#include <cstddef>
#include <string>
#include <type_traits>
#include <vector>

namespace framesifter {

// Kept in the order of the catalogue's table in reason.cpp.
enum class ReasonKind {
    // Reading files
    CannotOpen,
    CannotExamine,
    NotRegularFile,
    ReadError,
    WriteError,
    FileEndsBefore,
    NoFileOpen,
    NoMemoryToRead,
    FileTooLarge,
    // Writing files and folder locks
    CannotCreateInFolder,
    LeftoverTaken,
    AlreadyExists,
    ReplacedWhileWritten,
    CannotCreate,
    CannotExaminePath,
    CannotRemovePath,
    NotAFile,
    CannotOpenPath,
    CannotTellIfWritten,
    PathProblem,
    QuotedPathProblem,
    // BMP
    NotBmp,
    BmpHeaderSize,
    BmpHeaderCut,
    BmpSize,
    BmpPlanes,
    BmpDepth,
    BmpCompression,
    BmpMasksCut,
    BmpDataOffset,
    TruncatedBytes,
    BmpMaskOutside,
    BmpMaskNotRun,
    BmpPaletteSize,
    BmpPaletteCut,
    BmpRowsPastEnd,
    RunLengthDamaged,
    RunPastImage,
    RunPastRow,
    RunCutCommand,
    RunEndsEarly,
    RunMovePastImage,
    NoMemoryBmp,
    // Frame names, sizes and kinds
    NotAFrameName,
    VideoWithoutFrame,
    TooLarge,
    LeadingZeros,
    NoSuchFrameCount,
    NoSuchFrameFromOne,
    NoVideoNoFrame,
    TooManyFrames,
    VideoFramesTooMany,
    NoFrameOfCount,
    Signature,
    SignatureFloat,
    SignatureColour,
    SignatureFloatColour,
    NoPixels,
    NoMemoryImage,
    // FITS
    NoCard,
    CardTwice,
    CardNotInteger,
    CardNotNumber,
    EmptyFile,
    NoExtension,
    NotFits,
    NoXtension,
    NoEndCardIn,
    NoEndCard,
    BitpixNotRead,
    NaxisNotTwo,
    AxesOverThree,
    ImageSizeOutside,
    PlanesOutside,
    CardIs,
    NotImageExtension,
    ExtensionNoImage,
    BscaleZero,
    TableNaxis,
    TableSizes,
    TableNoTiles,
    HeaderBlockCut,
    TruncatedData,
    ExtensionBeyondRead,
    Bitpix,
    FitsCannotOpen,
    FitsCannotRead,
    FitsCannotReadTiles,
    FitsSizeDiffers,
    FitsNotOpen,
    FitsBlockOutside,
    TileClaims,
    TileInflates,
    TilesText,
    TilesTextPlanes,
    TilesNeedMemory,
    CfitsioNotLoaded,
    CfitsioIncomplete,
    FitsAreaOutside,
    NotIntegers,
    // gzip-compressed frames
    GzipNotGzip,
    GzipCut,
    GzipDamaged,
    GzipTrailing,
    GzipExpandsPast,
    // JPEG
    JpegUnknownColour,
    NoMemoryPixels,
    NotJpegLibrary,
    JpegCannotDecode,
    JpegWriteInvalid,
    JpegWriteQuality,
    JpegCannotWrite,
    JpegWriteNoMemory,
    NotJpeg,
    JpegRegionDiffers,
    // SER
    NotSer,
    SerHeaderCut,
    SerColour,
    SerDepth,
    SerFrameSize,
    SerNoFrames,
    SerFramesCut,
    SerFramesCutPart,
    SerRowsOutside,
    SerNothingToWrite,
    SerNoSuchFrame,
    NotSerBecause,
    ItsVideoUnreadable,
    HeaderNotVideos,
    HoldsMoreThanFrames,
    HoldsFrameCount,
    ItsVideoNoFrame,
    FrameNotFrame,
    FrameNotVideos,
    NoFrameInVideo,
    // Analysis
    NoMemoryTable,
    NoMemoryAnalyse,
    NoMemoryReadFrame,
    NoMemoryBmpConvert,
    NoMemoryBmpPixels,
    NoMemoryJpegPixels,
    FrameTooSmall,
    ValuesTooLarge,
    NeedsMemory,
    TheFrame,
    TheTiledFrame,
    // Pictures in the viewer
    NoMemoryPicture,
    NotSerFrame,
    UnknownFileKind,
    NoPicture,
    NoMemoryConvert,
    DataSizeMismatch,
    WriterFailed,
    // Moves into Good, their records and undo
    RecordTooLarge,
    CannotLookAt,
    NeitherHere,
    ExistsAgain,
    ChangedInGood,
    ChangedAfterWritten,
    NotOnlyFramesKind,
    ItsVideoCannotBeRead,
    NotOnlyFrames,
    ChangedWhileCompared,
    CannotRemoveIt,
    CannotRecord,
    RecordClosed,
    CannotAddRecord,
    RecordNoLine,
    RecordFirstLine,
    GoodInUse,
    NotAFolder,
    MoveStopped,
    PartInUse,
    TargetExists,
    CannotPlaceCopy,
    CannotFlushFolder,
    CannotRemoveFromFolder,
    CannotCreatePath,
    PartTaken,
    CannotReadIt,
    ItNotRegular,
    CopyFailed,
    CannotReadLink,
    CannotReadLinkPath,
    CannotCompare,
    NoLongerExists,
    FolderGone,
    ExistsNotFolder,
    CannotCreateFolder,
    Count
};

// What a template's value is, which decides how a window shows it.
enum class ValueKind {
    Number,  // digits, shown as they are
    Text,    // a name, a path or a word of the file's, shown as it is
    System,  // a library's or the system's own text: English whatever the language
    Nested,  // another reason, translated in its turn
};

struct ReasonEntry {
    ReasonKind kind;
    // The values' kinds, one letter each in the order of %1, %2, ...: N, T, S or R.
    const char* values;
    // %1 .. %9 stand for the values.
    const char* english;
};

// The catalogue, indexed by ReasonKind.
const std::vector<ReasonEntry>& ReasonCatalogue();
const ReasonEntry& ReasonEntryOf(ReasonKind kind);
ValueKind ValueKindOf(char letter);

// One value of a reason, from text or a number.
struct ReasonValue {
    ReasonValue(std::string value) : text(std::move(value)) {}
    ReasonValue(const char* value) : text(value) {}
    template <typename T, typename = std::enable_if_t<std::is_integral_v<T>>>
    ReasonValue(T value) : text(std::to_string(value)) {}
    std::string text;
};

// The English reason of `kind` with `values` in its places.
std::string Reason(ReasonKind kind, std::initializer_list<ReasonValue> values = {});
// As Reason, with the system's text for errno as the last value.
std::string SystemReason(ReasonKind kind, std::initializer_list<ReasonValue> values = {});
// `english` with %1 .. %9 replaced by `values` in one pass, so that a value holding "%2"
// stays as it is.
std::string FillTemplate(const std::string& english, const std::vector<std::string>& values);

struct ParsedReason {
    ReasonKind kind = ReasonKind::Count;
    std::vector<std::string> values;
};

// The kind and values a reason was built from. When several templates match, the one with
// the most fixed text is taken. False for a text no template builds.
[[nodiscard]] bool ParseReason(const std::string& text, ParsedReason& parsed);

}  // namespace framesifter
