#include "reason_text.h"

#include <QCoreApplication>
#include <QStringList>

#include <array>

using framesifter::ParsedReason;
using framesifter::ReasonEntryOf;
using framesifter::ReasonKind;
using framesifter::ValueKind;
using framesifter::ValueKindOf;

namespace {

// In the order of ReasonKind.
constexpr std::array<const char*, std::size_t(ReasonKind::Count)> kSourceTexts = {
    // Reading files
    QT_TRANSLATE_NOOP("Reason", "開けません: 「%1」"),            // CannotOpen
    QT_TRANSLATE_NOOP("Reason", "調べられません: 「%1」"),        // CannotExamine
    QT_TRANSLATE_NOOP("Reason", "通常のファイルではありません"),  // NotRegularFile
    QT_TRANSLATE_NOOP("Reason", "読み込みエラー: 「%1」"),        // ReadError
    QT_TRANSLATE_NOOP("Reason", "書き込みエラー: 「%1」"),        // WriteError
    QT_TRANSLATE_NOOP("Reason",
                      "途中で切れています: ファイルは %2 バイト目の前、%1 "
                      "バイト目で終わっています"),                           // FileEndsBefore
    QT_TRANSLATE_NOOP("Reason", "開いているファイルがありません"),           // NoFileOpen
    QT_TRANSLATE_NOOP("Reason", "%1 バイトを読み込むメモリーが足りません"),  // NoMemoryToRead
    QT_TRANSLATE_NOOP("Reason", "ファイルが大きすぎます: %1 バイト"),        // FileTooLarge
    // Writing files and folder locks
    QT_TRANSLATE_NOOP("Reason",
                      "フォルダーにファイルを作成できません: 「%1」"),  // CannotCreateInFolder
    QT_TRANSLATE_NOOP("Reason",
                      "別のプロセスが \"%1\" を残ったファイルとして扱いました"),  // LeftoverTaken
    QT_TRANSLATE_NOOP("Reason", "すでに存在します"),                              // AlreadyExists
    QT_TRANSLATE_NOOP("Reason", "\"%1\" は書き込み中に置き換えられました"),  // ReplacedWhileWritten
    QT_TRANSLATE_NOOP("Reason", "作成できません: 「%1」"),                   // CannotCreate
    QT_TRANSLATE_NOOP("Reason", "\"%1\" を調べられません: 「%2」"),          // CannotExaminePath
    QT_TRANSLATE_NOOP("Reason", "\"%1\" を削除できません: 「%2」"),          // CannotRemovePath
    QT_TRANSLATE_NOOP("Reason", "\"%1\" はファイルではありません"),          // NotAFile
    QT_TRANSLATE_NOOP("Reason", "\"%1\" を開けません: 「%2」"),              // CannotOpenPath
    QT_TRANSLATE_NOOP("Reason",
                      "\"%1\" が書き込み中かどうか分かりません: 「%2」"),  // CannotTellIfWritten
    QT_TRANSLATE_NOOP("Reason", "%1: %2"),                                 // PathProblem
    QT_TRANSLATE_NOOP("Reason", "\"%1\": 「%2」"),                         // QuotedPathProblem
    // BMP
    QT_TRANSLATE_NOOP("Reason", "BMP ファイルではありません"),                  // NotBmp
    QT_TRANSLATE_NOOP("Reason", "不明な BMP ヘッダーサイズ %1"),                // BmpHeaderSize
    QT_TRANSLATE_NOOP("Reason", "BMP ヘッダーが途中で切れています"),            // BmpHeaderCut
    QT_TRANSLATE_NOOP("Reason", "BMP のサイズが %1 x %2 です"),                 // BmpSize
    QT_TRANSLATE_NOOP("Reason", "プレーン数が %1 の BMP です"),                 // BmpPlanes
    QT_TRANSLATE_NOOP("Reason", "対応していない BMP の深さ %1 ビット"),         // BmpDepth
    QT_TRANSLATE_NOOP("Reason", "対応していない BMP 圧縮 %1 (%2 ビット)"),      // BmpCompression
    QT_TRANSLATE_NOOP("Reason", "BMP のチャンネルマスクが途中で切れています"),  // BmpMasksCut
    QT_TRANSLATE_NOOP("Reason",
                      "BMP の画素データの位置 %1 がファイルの外にあります"),  // BmpDataOffset
    QT_TRANSLATE_NOOP("Reason",
                      "途中で切れています: %2 バイト中 %1 バイトしかありません"),  // TruncatedBytes
    QT_TRANSLATE_NOOP("Reason",
                      "BMP の %1 マスクが %2 ビットの画素からはみ出しています"),  // BmpMaskOutside
    QT_TRANSLATE_NOOP("Reason", "BMP の %1 マスクが連続したビットではありません"),  // BmpMaskNotRun
    QT_TRANSLATE_NOOP("Reason", "BMP のパレットが %1 色です (256 色まで)"),  // BmpPaletteSize
    QT_TRANSLATE_NOOP("Reason", "BMP のパレットが途中で切れています"),       // BmpPaletteCut
    QT_TRANSLATE_NOOP(
        "Reason",
        "途中で切れています: BMP の行がファイルの終わりを越えています"),        // BmpRowsPastEnd
    QT_TRANSLATE_NOOP("Reason", "ランレングスデータが壊れています: %1"),        // RunLengthDamaged
    QT_TRANSLATE_NOOP("Reason", "画素が画像の終わりを越えています"),            // RunPastImage
    QT_TRANSLATE_NOOP("Reason", "ランが行の終わりを越えています"),              // RunPastRow
    QT_TRANSLATE_NOOP("Reason", "コマンドの途中でデータが終わっています"),      // RunCutCommand
    QT_TRANSLATE_NOOP("Reason", "画像の終わりより前にデータが終わっています"),  // RunEndsEarly
    QT_TRANSLATE_NOOP("Reason", "移動が画像の外に出ています"),                  // RunMovePastImage
    QT_TRANSLATE_NOOP("Reason", "BMP 画像のメモリーが足りません"),              // NoMemoryBmp
    // Frame names, sizes and kinds
    QT_TRANSLATE_NOOP("Reason", "BMP、JPEG、FITS のファイル名ではありません"),  // NotAFrameName
    QT_TRANSLATE_NOOP(
        "Reason", "%1 動画です: フレームは PATH#1、PATH#2、... と指定します"),  // VideoWithoutFrame
    QT_TRANSLATE_NOOP(
        "Reason", "画像が大きすぎます: %1 x %2 画素と宣言されています (最大 %3 x %4)"),  // TooLarge
    QT_TRANSLATE_NOOP("Reason", "フレーム番号は先頭に 0 を付けずに書きます: %1"),  // LeadingZeros
    QT_TRANSLATE_NOOP(
        "Reason",
        "%1 にフレーム %2 はありません。フレーム番号は 1 から %3 までです"),  // NoSuchFrameCount
    QT_TRANSLATE_NOOP(
        "Reason",
        "%1 にフレーム %2 はありません。フレーム番号は 1 から始まります"),  // NoSuchFrameFromOne
    QT_TRANSLATE_NOOP("Reason",
                      "フレームを取り出す動画 %1 "
                      "がなく、同じ名前のファイルもフレームではありません: %2"),  // NoVideoNoFrame
    QT_TRANSLATE_NOOP("Reason", "%1 フレームを超えています"),                     // TooManyFrames
    QT_TRANSLATE_NOOP(
        "Reason",
        "%1: その %2 フレームを加えると全部で %3 フレームを超えます"),  // VideoFramesTooMany
    QT_TRANSLATE_NOOP("Reason",
                      "フレーム %1 はありません (動画のフレーム数は %2)"),  // NoFrameOfCount
    QT_TRANSLATE_NOOP("Reason", "%1 x %2 %3 ビット %4"),                    // Signature
    QT_TRANSLATE_NOOP("Reason", "%1 x %2 %3 ビット 浮動小数点 %4"),         // SignatureFloat
    QT_TRANSLATE_NOOP("Reason", "%1 x %2 %3 ビット カラー %4"),             // SignatureColour
    QT_TRANSLATE_NOOP("Reason", "%1 x %2 %3 ビット 浮動小数点 カラー %4"),  // SignatureFloatColour
    QT_TRANSLATE_NOOP("Reason", "%1 x %2 の画像には画素がありません"),      // NoPixels
    QT_TRANSLATE_NOOP("Reason", "%1 x %2 の画像のメモリーが足りません"),    // NoMemoryImage
    // FITS
    QT_TRANSLATE_NOOP("Reason", "%1 カードがありません"),          // NoCard
    QT_TRANSLATE_NOOP("Reason", "%1 が 2 回以上あります"),         // CardTwice
    QT_TRANSLATE_NOOP("Reason", "%1 が整数ではありません: '%2'"),  // CardNotInteger
    QT_TRANSLATE_NOOP("Reason", "%1 が数値ではありません: '%2'"),  // CardNotNumber
    QT_TRANSLATE_NOOP("Reason", "空のファイルです"),               // EmptyFile
    QT_TRANSLATE_NOOP("Reason", "空のプライマリーヘッダーの後に拡張がありません"),  // NoExtension
    QT_TRANSLATE_NOOP("Reason",
                      "FITS ファイルではありません (SIMPLE カードで始まっていません)"),  // NotFits
    QT_TRANSLATE_NOOP(
        "Reason",
        "空のプライマリーヘッダーの後の拡張が XTENSION で始まっていません"),  // NoXtension
    QT_TRANSLATE_NOOP("Reason",
                      "最初の %1 ヘッダーブロックに END カードがありません"),  // NoEndCardIn
    QT_TRANSLATE_NOOP(
        "Reason",
        "END カードがありません: ファイルの終わりまでにヘッダーが終わっていません"),  // NoEndCard
    QT_TRANSLATE_NOOP(
        "Reason",
        "%1BITPIX が %2 です。読み込めるのは BITPIX 8、16、32、-32、-64 の画像です"),  // BitpixNotRead
    QT_TRANSLATE_NOOP("Reason", "%1NAXIS が %2 です。2 次元の画像が必要です"),  // NaxisNotTwo
    QT_TRANSLATE_NOOP("Reason",
                      "%1 が %2 です。読み込めるのは 3 軸までの画像です"),    // AxesOverThree
    QT_TRANSLATE_NOOP("Reason", "画像サイズ %1 x %2 が 1..%3 の範囲外です"),  // ImageSizeOutside
    QT_TRANSLATE_NOOP("Reason",
                      "%13 が %2 です。読み込めるのは 1..%3 プレーンです"),  // PlanesOutside
    QT_TRANSLATE_NOOP("Reason", "%1 が %2 です"),                            // CardIs
    QT_TRANSLATE_NOOP("Reason",
                      "最初の拡張が画像ではありません (XTENSION %1)"),  // NotImageExtension
    QT_TRANSLATE_NOOP("Reason", "最初の拡張に画像がありません"),        // ExtensionNoImage
    QT_TRANSLATE_NOOP("Reason", "BSCALE が 0 です"),                    // BscaleZero
    QT_TRANSLATE_NOOP("Reason", "圧縮画像のテーブルの NAXIS が 2 ではなく %1 です"),  // TableNaxis
    QT_TRANSLATE_NOOP("Reason", "圧縮画像のテーブルのサイズが範囲外です"),            // TableSizes
    QT_TRANSLATE_NOOP("Reason", "圧縮画像のテーブルにタイルがありません"),  // TableNoTiles
    QT_TRANSLATE_NOOP(
        "Reason", "途中で切れています: ヘッダーの最後のブロックが欠けています"),  // HeaderBlockCut
    QT_TRANSLATE_NOOP(
        "Reason",
        "途中で切れています: データ %2 バイト中 %1 バイトしかありません"),  // TruncatedData
    QT_TRANSLATE_NOOP("Reason",
                      "最初の拡張のヘッダーが読み込んだ範囲の外にあります"),  // ExtensionBeyondRead
    QT_TRANSLATE_NOOP("Reason", "BITPIX が %1 です"),                         // Bitpix
    QT_TRANSLATE_NOOP("Reason", "画像を開けません: 「%1」"),                  // FitsCannotOpen
    QT_TRANSLATE_NOOP("Reason", "画像を読み込めません: 「%1」"),              // FitsCannotRead
    QT_TRANSLATE_NOOP("Reason", "画像のタイルを読み込めません: 「%1」"),      // FitsCannotReadTiles
    QT_TRANSLATE_NOOP("Reason", "画像のサイズがヘッダーと異なります"),        // FitsSizeDiffers
    QT_TRANSLATE_NOOP("Reason", "画像が開かれていません"),                    // FitsNotOpen
    QT_TRANSLATE_NOOP("Reason", "ブロックが画像の外にあります"),              // FitsBlockOutside
    QT_TRANSLATE_NOOP(
        "Reason",
        "圧縮タイルが %1 x %2 画素を主張していますが、タイルは %3 画素です"),  // TileClaims
    QT_TRANSLATE_NOOP(
        "Reason",
        "%1 バイトの圧縮タイルが、その %3 画素の %2 バイトを超えて展開されます"),  // TileInflates
    QT_TRANSLATE_NOOP("Reason", "%1 x %2 画素のタイルで"),                         // TilesText
    QT_TRANSLATE_NOOP("Reason", "%1 x %2 x %3 画素のタイルで"),  // TilesTextPlanes
    QT_TRANSLATE_NOOP(
        "Reason",
        "%1圧縮された画像の展開に %2 MB 必要で、許容される %3 MB を超えます"),  // TilesNeedMemory
    QT_TRANSLATE_NOOP("Reason", "cfitsio を読み込めません: 「%1」"),            // CfitsioNotLoaded
    QT_TRANSLATE_NOOP("Reason", "cfitsio (%1) に %2 がありません"),             // CfitsioIncomplete
    QT_TRANSLATE_NOOP("Reason", "範囲がプレーンの外にあります"),                // FitsAreaOutside
    QT_TRANSLATE_NOOP("Reason", "画像に整数でない値があります"),                // NotIntegers
    // gzip-compressed frames
    QT_TRANSLATE_NOOP("Reason",
                      "gzip ファイルではありません (gzip の印で始まっていません)"),  // GzipNotGzip
    QT_TRANSLATE_NOOP(
        "Reason",
        "途中で切れています: gzip のデータが展開後 %1 バイトで終わっています"),      // GzipCut
    QT_TRANSLATE_NOOP("Reason", "gzip のデータが壊れています: 「%1」"),              // GzipDamaged
    QT_TRANSLATE_NOOP("Reason", "gzip のデータの後に gzip でないデータがあります"),  // GzipTrailing
    QT_TRANSLATE_NOOP(
        "Reason",
        "展開すると %1 MB を超え、フレームに使えるメモリーを超えます"),  // GzipExpandsPast
    // JPEG
    QT_TRANSLATE_NOOP(
        "Reason", "種類の分からない %1 色成分の JPEG には対応していません"),  // JpegUnknownColour
    QT_TRANSLATE_NOOP("Reason", "%1 x %2 画素のメモリーが足りません"),        // NoMemoryPixels
    QT_TRANSLATE_NOOP("Reason", "JPEG ファイルではありません: 「%1」"),       // NotJpegLibrary
    QT_TRANSLATE_NOOP("Reason", "JPEG をデコードできません: 「%1」"),         // JpegCannotDecode
    QT_TRANSLATE_NOOP("Reason",
                      "JPEG を書き出せません: %1 x %2 画素の画像は無効です"),  // JpegWriteInvalid
    QT_TRANSLATE_NOOP("Reason",
                      "JPEG を書き出せません: 品質 %1 が 1..100 の範囲外です"),  // JpegWriteQuality
    QT_TRANSLATE_NOOP("Reason", "JPEG を書き出せません: 「%1」"),                // JpegCannotWrite
    QT_TRANSLATE_NOOP("Reason",
                      "JPEG を書き出せません: メモリーが足りません"),  // JpegWriteNoMemory
    QT_TRANSLATE_NOOP(
        "Reason",
        "JPEG ファイルではありません (JPEG の開始マーカーで始まっていません)"),  // NotJpeg
    QT_TRANSLATE_NOOP("Reason",
                      "JPEG デコーダーがウィンドウと異なる範囲を返しました"),  // JpegRegionDiffers
    // SER
    QT_TRANSLATE_NOOP("Reason",
                      "SER 動画ではありません (LUCAM-RECORDER の署名がありません)"),  // NotSer
    QT_TRANSLATE_NOOP(
        "Reason",
        "途中で切れています: ヘッダー 178 バイト中 %1 バイトしかありません"),        // SerHeaderCut
    QT_TRANSLATE_NOOP("Reason", "不明なカラー ID %1"),                               // SerColour
    QT_TRANSLATE_NOOP("Reason", "画素の深さが %1 です (読み込めるのは 1 から 16)"),  // SerDepth
    QT_TRANSLATE_NOOP("Reason", "フレームサイズが %1 x %2 です"),                    // SerFrameSize
    QT_TRANSLATE_NOOP("Reason", "フレームがありません (フレーム数 %1)"),             // SerNoFrames
    QT_TRANSLATE_NOOP(
        "Reason",
        "途中で切れています: %1 フレームと宣言され、%2 フレームしかありません"),  // SerFramesCut
    QT_TRANSLATE_NOOP("Reason",
                      "途中で切れています: %1 フレームと宣言され、%2 フレームと 1 "
                      "フレームの一部しかありません"),                         // SerFramesCutPart
    QT_TRANSLATE_NOOP("Reason", "行がフレームの外にあります"),                 // SerRowsOutside
    QT_TRANSLATE_NOOP("Reason", "書き出すフレームがありません"),               // SerNothingToWrite
    QT_TRANSLATE_NOOP("Reason", "フレーム %1 はありません (全 %2 フレーム)"),  // SerNoSuchFrame
    QT_TRANSLATE_NOOP("Reason", "SER 動画ではありません: %1"),                 // NotSerBecause
    QT_TRANSLATE_NOOP("Reason", "元の動画を読み込めません: %1"),               // ItsVideoUnreadable
    QT_TRANSLATE_NOOP("Reason", "ヘッダーが元の動画のものではありません"),     // HeaderNotVideos
    QT_TRANSLATE_NOOP("Reason",
                      "元の動画のフレーム以外のものを含んでいます"),  // HoldsMoreThanFrames
    QT_TRANSLATE_NOOP("Reason",
                      "%2 フレームではなく %1 フレームを含んでいます"),  // HoldsFrameCount
    QT_TRANSLATE_NOOP("Reason", "元の動画にフレーム %1 はありません"),   // ItsVideoNoFrame
    QT_TRANSLATE_NOOP("Reason",
                      "フレーム %1 が元の動画のフレーム %2 ではありません"),  // FrameNotFrame
    QT_TRANSLATE_NOOP("Reason",
                      "フレーム %1 が元の動画のどのフレームでもありません"),       // FrameNotVideos
    QT_TRANSLATE_NOOP("Reason", "フレーム %1 はありません (動画は %2 フレーム)"),  // NoFrameInVideo
    // Analysis
    QT_TRANSLATE_NOOP("Reason", "%1 フレームの表のメモリーが足りません"),   // NoMemoryTable
    QT_TRANSLATE_NOOP("Reason", "フレームを解析するメモリーが足りません"),  // NoMemoryAnalyse
    QT_TRANSLATE_NOOP("Reason", "フレームを読み込むメモリーが足りません"),  // NoMemoryReadFrame
    QT_TRANSLATE_NOOP("Reason", "BMP 画像を変換するメモリーが足りません"),  // NoMemoryBmpConvert
    QT_TRANSLATE_NOOP("Reason", "BMP の画素のメモリーが足りません"),        // NoMemoryBmpPixels
    QT_TRANSLATE_NOOP("Reason", "JPEG の画素のメモリーが足りません"),       // NoMemoryJpegPixels
    QT_TRANSLATE_NOOP("Reason",
                      "フレームは %1 x %2 画素です。%3 x %4 画素以上が必要です"),  // FrameTooSmall
    QT_TRANSLATE_NOOP("Reason",
                      "値が大きすぎて解析できません: フレームの周波数振幅の合計が double の最大値 "
                      "(約 1.8e308) を超えます"),  // ValuesTooLarge
    QT_TRANSLATE_NOOP("Reason",
                      "%1の読み込みに %2 MB のメモリーが必要で、1 回の実行で使える %3 MB "
                      "を超えます"),                                 // NeedsMemory
    QT_TRANSLATE_NOOP("Reason", "フレーム"),                         // TheFrame
    QT_TRANSLATE_NOOP("Reason", "%3圧縮された %1 x %2 のフレーム"),  // TheTiledFrame
    // Pictures in the viewer
    QT_TRANSLATE_NOOP("Reason", "%1 x %2 の画像を表示するメモリーが足りません"),  // NoMemoryPicture
    QT_TRANSLATE_NOOP("Reason", "SER 動画のフレームではありません (PATH#N)"),     // NotSerFrame
    QT_TRANSLATE_NOOP("Reason", "不明なファイルの種類です"),                      // UnknownFileKind
    QT_TRANSLATE_NOOP("Reason", "画像がありません"),                              // NoPicture
    QT_TRANSLATE_NOOP("Reason", "画像を変換するメモリーが足りません"),            // NoMemoryConvert
    QT_TRANSLATE_NOOP("Reason", "画像データがサイズ %1 x %2 と一致しません"),  // DataSizeMismatch
    QT_TRANSLATE_NOOP("Reason", "画像の書き出しに失敗しました"),               // WriterFailed
    // Moves into Good, their records and undo
    QT_TRANSLATE_NOOP("Reason",
                      "%1 MB を超えています (%2 バイト): 読み飛ばしました"),  // RecordTooLarge
    QT_TRANSLATE_NOOP("Reason", "\"%1\" を確認できません: 「%2」"),           // CannotLookAt
    QT_TRANSLATE_NOOP("Reason", "Good にも \"%1\" にもありません"),           // NeitherHere
    QT_TRANSLATE_NOOP("Reason", "\"%1\" がまた存在します"),                   // ExistsAgain
    QT_TRANSLATE_NOOP("Reason",
                      "サイズか時刻が移動したファイルと異なります: 移動後に Good "
                      "で変更されています"),                        // ChangedInGood
    QT_TRANSLATE_NOOP("Reason", "書き出した後に変更されています"),  // ChangedAfterWritten
    QT_TRANSLATE_NOOP(
        "Reason",
        "\"%1\" のフレームだけではありません: %2 動画ではありません"),  // NotOnlyFramesKind
    QT_TRANSLATE_NOOP("Reason",
                      "元の動画 \"%1\" を読み込めません (%2): "
                      "これがフレームの唯一のコピーかもしれません"),         // ItsVideoCannotBeRead
    QT_TRANSLATE_NOOP("Reason", "\"%1\" のフレームだけではありません: %2"),  // NotOnlyFrames
    QT_TRANSLATE_NOOP("Reason", "比較中に変更されました"),                   // ChangedWhileCompared
    QT_TRANSLATE_NOOP("Reason", "削除できません: 「%1」"),                   // CannotRemoveIt
    QT_TRANSLATE_NOOP("Reason", "\"%1\" に移動を記録できません: %2"),        // CannotRecord
    QT_TRANSLATE_NOOP("Reason", "記録に追加できません"),                     // RecordClosed
    QT_TRANSLATE_NOOP("Reason", "移動の記録に追加できません: 「%1」"),       // CannotAddRecord
    QT_TRANSLATE_NOOP("Reason", "移動の記録ではありません: 完全な行がありません"),  // RecordNoLine
    QT_TRANSLATE_NOOP(
        "Reason",
        "移動の記録ではありません: 最初の行が \"%1\" でも \"%2\" でもありません"),  // RecordFirstLine
    QT_TRANSLATE_NOOP(
        "Reason",
        "\"%1\" では別の移動か元に戻す処理が行われています。そこでは何もしませんでした "
        "(それが終わってから、もう一度お試しください)"),                        // GoodInUse
    QT_TRANSLATE_NOOP("Reason", "\"%1\" はフォルダーではありません"),           // NotAFolder
    QT_TRANSLATE_NOOP("Reason", "移動を中止しました。元の場所に残っています"),  // MoveStopped
    QT_TRANSLATE_NOOP("Reason", "別の移動が \"%1\" にコピー中です"),            // PartInUse
    QT_TRANSLATE_NOOP("Reason", "\"%1\" はすでに存在します"),                   // TargetExists
    QT_TRANSLATE_NOOP("Reason", "コピーを \"%1\" として置けません: 「%2」"),    // CannotPlaceCopy
    QT_TRANSLATE_NOOP("Reason",
                      "フォルダー \"%1\" をディスクに書き込めません: %2"),  // CannotFlushFolder
    QT_TRANSLATE_NOOP("Reason",
                      "元のフォルダーから削除できません: 「%1」"),   // CannotRemoveFromFolder
    QT_TRANSLATE_NOOP("Reason", "\"%1\" を作成できません: 「%2」"),  // CannotCreatePath
    QT_TRANSLATE_NOOP("Reason", "別の移動が \"%1\" を残ったファイルとして扱いました"),  // PartTaken
    QT_TRANSLATE_NOOP("Reason", "読み込めません: 「%1」"),                      // CannotReadIt
    QT_TRANSLATE_NOOP("Reason", "このファイルは通常のファイルではありません"),  // ItNotRegular
    QT_TRANSLATE_NOOP("Reason", "\"%1\" へのコピーに失敗しました: 「%2」"),     // CopyFailed
    QT_TRANSLATE_NOOP("Reason", "リンクを読み込めません: 「%1」"),              // CannotReadLink
    QT_TRANSLATE_NOOP("Reason", "リンク \"%1\" を読み込めません: 「%2」"),     // CannotReadLinkPath
    QT_TRANSLATE_NOOP("Reason", "\"%1\" と \"%2\" を比較できません: 「%3」"),  // CannotCompare
    QT_TRANSLATE_NOOP("Reason", "もう存在しません"),                           // NoLongerExists
    QT_TRANSLATE_NOOP(
        "Reason", "フォルダー \"%1\" がもう存在しません。元の場所に残っています"),  // FolderGone
    QT_TRANSLATE_NOOP("Reason",
                      "\"%1\" は存在しますがフォルダーではありません"),  // ExistsNotFolder
    QT_TRANSLATE_NOOP("Reason",
                      "フォルダー \"%1\" を作成できません: 「%2」"),  // CannotCreateFolder
};

// Unlike QString::arg, one pass: a value holding "%2" stays as it is, and "%13" is %1
// followed by 3.
QString Fill(const QString& text, const QStringList& values) {
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar next = i + 1 < text.size() ? text[i + 1] : QChar();
        const int place = next.unicode() - '1';
        if (text[i] == u'%' && place >= 0 && place < 9 && place < values.size()) {
            out += values[place];
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

QString Local(const std::string& text) { return QString::fromLocal8Bit(text.c_str()); }

QString Translated(const ParsedReason& parsed);

// A reason within another: its own kind's text, or quoted when it has none.
QString NestedText(const std::string& reason) {
    ParsedReason parsed;
    if (framesifter::ParseReason(reason, parsed)) return Translated(parsed);
    return QCoreApplication::translate("Reason", "「%1」").arg(Local(reason));
}

QString Translated(const ParsedReason& parsed) {
    const char* kinds = ReasonEntryOf(parsed.kind).values;
    QStringList values;
    for (std::size_t i = 0; i < parsed.values.size(); ++i) {
        const std::string& value = parsed.values[i];
        values << (ValueKindOf(kinds[i]) == ValueKind::Nested ? NestedText(value) : Local(value));
    }
    return Fill(QCoreApplication::translate("Reason", ReasonSourceText(parsed.kind)), values);
}

}  // namespace

const char* ReasonSourceText(ReasonKind kind) { return kSourceTexts[std::size_t(kind)]; }

QString ReasonText(const std::string& reason) {
    ParsedReason parsed;
    if (framesifter::ParseReason(reason, parsed)) return Translated(parsed);
    return QCoreApplication::translate("Reason", "詳細: 「%1」").arg(Local(reason));
}
