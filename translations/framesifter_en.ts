<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ja">
<context>
    <name>CommandGuard</name>
    <message>
        <source>予期しないエラーが発生しました</source>
        <translation>An unexpected error occurred</translation>
    </message>
</context>
<context>
    <name>ImageWindow</name>
    <message>
        <source>フレームごとに伸ばす</source>
        <translation>Stretch each frame</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>ファイルがすでに存在しています。&#x3000;上書きしますか？</source>
        <translation>The file already exists. Overwrite it?</translation>
    </message>
    <message>
        <source>ビットマップ(*.bmp) (*.bmp)</source>
        <translation>Bitmap(*.bmp) (*.bmp)</translation>
    </message>
    <message>
        <source>開く(&amp;O)</source>
        <translation>&amp;Open</translation>
    </message>
    <message>
        <source>保存(&amp;S)</source>
        <translation>&amp;Save</translation>
    </message>
    <message>
        <source>終了(&amp;Q)</source>
        <translation>&amp;Quit</translation>
    </message>
    <message>
        <source>設定(&amp;S)</source>
        <translation>&amp;Frame Selector…</translation>
    </message>
    <message>
        <source>スコア</source>
        <translation>Scores</translation>
    </message>
    <message>
        <source>元に戻す</source>
        <translation>Undo Move</translation>
    </message>
    <message>
        <source>このウィンドウを閉じる(&amp;C)</source>
        <translation>&amp;Close This Window</translation>
    </message>
    <message>
        <source>すべてを閉じる(&amp;L)</source>
        <translation>C&amp;lose All</translation>
    </message>
    <message>
        <source>バージョン(&amp;V)</source>
        <translation>&amp;Version</translation>
    </message>
    <message>
        <source>セレクト</source>
        <translation>Select</translation>
    </message>
    <message>
        <source>ファイル(&amp;F)</source>
        <translation>&amp;File</translation>
    </message>
    <message>
        <source>セレクト(&amp;S)</source>
        <translation>&amp;Select</translation>
    </message>
    <message>
        <source>ウィンドウ(&amp;W)</source>
        <translation>&amp;Window</translation>
    </message>
    <message>
        <source>画像を開けません: %1
%2</source>
        <translation>Cannot open the image: %1
%2</translation>
    </message>
    <message>
        <source>画像を保存できません: %1
%2</source>
        <translation>Cannot save the image: %1
%2</translation>
    </message>
    <message>
        <source>%1 は合格ファイルではありません</source>
        <translation>%1 is not a passed file</translation>
    </message>
</context>
<context>
    <name>NoticeWindow</name>
    <message>
        <source>お知らせ</source>
        <translation>Notice</translation>
    </message>
    <message>
        <source>閉じる</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>お知らせはありません。</source>
        <translation>There is no notice.</translation>
    </message>
</context>
<context>
    <name>Reason</name>
    <message>
        <source>開けません: 「%1」</source>
        <translation>cannot open: %1</translation>
    </message>
    <message>
        <source>調べられません: 「%1」</source>
        <translation>cannot examine: %1</translation>
    </message>
    <message>
        <source>通常のファイルではありません</source>
        <translation>not a regular file</translation>
    </message>
    <message>
        <source>読み込みエラー: 「%1」</source>
        <translation>read error: %1</translation>
    </message>
    <message>
        <source>書き込みエラー: 「%1」</source>
        <translation>write error: %1</translation>
    </message>
    <message>
        <source>途中で切れています: ファイルは %2 バイト目の前、%1 バイト目で終わっています</source>
        <translation>truncated: the file ends at byte %1 before byte %2</translation>
    </message>
    <message>
        <source>開いているファイルがありません</source>
        <translation>no file is open</translation>
    </message>
    <message>
        <source>%1 バイトを読み込むメモリーが足りません</source>
        <translation>not enough memory to read %1 bytes</translation>
    </message>
    <message>
        <source>ファイルが大きすぎます: %1 バイト</source>
        <translation>file too large: %1 bytes</translation>
    </message>
    <message>
        <source>フォルダーにファイルを作成できません: 「%1」</source>
        <translation>cannot create a file in its folder: %1</translation>
    </message>
    <message>
        <source>別のプロセスが &quot;%1&quot; を残ったファイルとして扱いました</source>
        <translation>another process took &quot;%1&quot; as a leftover</translation>
    </message>
    <message>
        <source>すでに存在します</source>
        <translation>already exists</translation>
    </message>
    <message>
        <source>&quot;%1&quot; は書き込み中に置き換えられました</source>
        <translation>&quot;%1&quot; was replaced while it was written</translation>
    </message>
    <message>
        <source>作成できません: 「%1」</source>
        <translation>cannot create: %1</translation>
    </message>
    <message>
        <source>&quot;%1&quot; を調べられません: 「%2」</source>
        <translation>cannot examine &quot;%1&quot;: %2</translation>
    </message>
    <message>
        <source>&quot;%1&quot; を削除できません: 「%2」</source>
        <translation>cannot remove &quot;%1&quot;: %2</translation>
    </message>
    <message>
        <source>&quot;%1&quot; はファイルではありません</source>
        <translation>&quot;%1&quot; is not a file</translation>
    </message>
    <message>
        <source>&quot;%1&quot; を開けません: 「%2」</source>
        <translation>cannot open &quot;%1&quot;: %2</translation>
    </message>
    <message>
        <source>&quot;%1&quot; が書き込み中かどうか分かりません: 「%2」</source>
        <translation>cannot tell whether &quot;%1&quot; is being written: %2</translation>
    </message>
    <message>
        <source>%1: %2</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source>&quot;%1&quot;: 「%2」</source>
        <translation>&quot;%1&quot;: %2</translation>
    </message>
    <message>
        <source>BMP ファイルではありません</source>
        <translation>not a BMP file</translation>
    </message>
    <message>
        <source>不明な BMP ヘッダーサイズ %1</source>
        <translation>unknown BMP header size %1</translation>
    </message>
    <message>
        <source>BMP ヘッダーが途中で切れています</source>
        <translation>the BMP header is cut off</translation>
    </message>
    <message>
        <source>BMP のサイズが %1 x %2 です</source>
        <translation>BMP size %1 x %2</translation>
    </message>
    <message>
        <source>プレーン数が %1 の BMP です</source>
        <translation>BMP with %1 planes</translation>
    </message>
    <message>
        <source>対応していない BMP の深さ %1 ビット</source>
        <translation>unsupported BMP depth of %1 bits</translation>
    </message>
    <message>
        <source>対応していない BMP 圧縮 %1 (%2 ビット)</source>
        <translation>unsupported BMP compression %1 at %2 bits</translation>
    </message>
    <message>
        <source>BMP のチャンネルマスクが途中で切れています</source>
        <translation>the BMP&apos;s channel masks are cut off</translation>
    </message>
    <message>
        <source>BMP の画素データの位置 %1 がファイルの外にあります</source>
        <translation>the BMP pixel data offset %1 lies outside the file</translation>
    </message>
    <message>
        <source>途中で切れています: %2 バイト中 %1 バイトしかありません</source>
        <translation>truncated: %1 of %2 bytes present</translation>
    </message>
    <message>
        <source>BMP の %1 マスクが %2 ビットの画素からはみ出しています</source>
        <translation>the BMP&apos;s %1 mask lies outside its %2-bit pixels</translation>
    </message>
    <message>
        <source>BMP の %1 マスクが連続したビットではありません</source>
        <translation>the BMP&apos;s %1 mask is not one run of bits</translation>
    </message>
    <message>
        <source>BMP のパレットが %1 色です (256 色まで)</source>
        <translation>BMP palette of %1 colours (at most 256)</translation>
    </message>
    <message>
        <source>BMP のパレットが途中で切れています</source>
        <translation>the BMP palette is cut off</translation>
    </message>
    <message>
        <source>途中で切れています: BMP の行がファイルの終わりを越えています</source>
        <translation>truncated: the BMP&apos;s rows run past the end of the file</translation>
    </message>
    <message>
        <source>ランレングスデータが壊れています: %1</source>
        <translation>damaged run-length data: %1</translation>
    </message>
    <message>
        <source>画素が画像の終わりを越えています</source>
        <translation>pixels go on past the image</translation>
    </message>
    <message>
        <source>ランが行の終わりを越えています</source>
        <translation>a run goes past the end of its row</translation>
    </message>
    <message>
        <source>コマンドの途中でデータが終わっています</source>
        <translation>the data end inside a command</translation>
    </message>
    <message>
        <source>画像の終わりより前にデータが終わっています</source>
        <translation>the data end before the image does</translation>
    </message>
    <message>
        <source>移動が画像の外に出ています</source>
        <translation>a move goes past the image</translation>
    </message>
    <message>
        <source>BMP 画像のメモリーが足りません</source>
        <translation>not enough memory for the BMP image</translation>
    </message>
    <message>
        <source>BMP、JPEG、FITS のファイル名ではありません</source>
        <translation>not a BMP, JPEG or FITS file name</translation>
    </message>
    <message>
        <source>%1 動画です: フレームは PATH#1、PATH#2、... と指定します</source>
        <translation>a %1 video: its frames are named PATH#1, PATH#2, ...</translation>
    </message>
    <message>
        <source>画像が大きすぎます: %1 x %2 画素と宣言されています (最大 %3 x %4)</source>
        <translation>image too large: %1 x %2 pixels declared (at most %3 x %4)</translation>
    </message>
    <message>
        <source>フレーム番号は先頭に 0 を付けずに書きます: %1</source>
        <translation>frame numbers are written without leading zeros: %1</translation>
    </message>
    <message>
        <source>%1 にフレーム %2 はありません。フレーム番号は 1 から %3 までです</source>
        <translation>%1 has no frame %2; its frames are numbered 1 to %3</translation>
    </message>
    <message>
        <source>%1 にフレーム %2 はありません。フレーム番号は 1 から始まります</source>
        <translation>%1 has no frame %2; its frames are numbered from 1</translation>
    </message>
    <message>
        <source>フレームを取り出す動画 %1 がなく、同じ名前のファイルもフレームではありません: %2</source>
        <translation>there is no video %1 to take a frame from, and the file of this very name is no frame: %2</translation>
    </message>
    <message>
        <source>%1 フレームを超えています</source>
        <translation>more than %1 frames</translation>
    </message>
    <message>
        <source>%1: その %2 フレームを加えると全部で %3 フレームを超えます</source>
        <translation>%1: its %2 frames would make more than %3 frames in all</translation>
    </message>
    <message>
        <source>フレーム %1 はありません (動画のフレーム数は %2)</source>
        <translation>no frame %1 (the video has %2)</translation>
    </message>
    <message>
        <source>%1 x %2 %3 ビット %4</source>
        <translation>%1 x %2 %3-bit %4</translation>
    </message>
    <message>
        <source>%1 x %2 %3 ビット 浮動小数点 %4</source>
        <translation>%1 x %2 %3-bit float %4</translation>
    </message>
    <message>
        <source>%1 x %2 %3 ビット カラー %4</source>
        <translation>%1 x %2 %3-bit colour %4</translation>
    </message>
    <message>
        <source>%1 x %2 %3 ビット 浮動小数点 カラー %4</source>
        <translation>%1 x %2 %3-bit float colour %4</translation>
    </message>
    <message>
        <source>%1 x %2 の画像には画素がありません</source>
        <translation>a %1 x %2 image has no pixels</translation>
    </message>
    <message>
        <source>%1 x %2 の画像のメモリーが足りません</source>
        <translation>not enough memory for a %1 x %2 image</translation>
    </message>
    <message>
        <source>%1 カードがありません</source>
        <translation>no %1 card</translation>
    </message>
    <message>
        <source>%1 が 2 回以上あります</source>
        <translation>%1 appears more than once</translation>
    </message>
    <message>
        <source>%1 が整数ではありません: &apos;%2&apos;</source>
        <translation>%1 is not an integer: &apos;%2&apos;</translation>
    </message>
    <message>
        <source>%1 が数値ではありません: &apos;%2&apos;</source>
        <translation>%1 is not a number: &apos;%2&apos;</translation>
    </message>
    <message>
        <source>空のファイルです</source>
        <translation>empty file</translation>
    </message>
    <message>
        <source>空のプライマリーヘッダーの後に拡張がありません</source>
        <translation>no extension after the empty primary header</translation>
    </message>
    <message>
        <source>FITS ファイルではありません (SIMPLE カードで始まっていません)</source>
        <translation>not a FITS file (it does not start with a SIMPLE card)</translation>
    </message>
    <message>
        <source>空のプライマリーヘッダーの後の拡張が XTENSION で始まっていません</source>
        <translation>the extension after the empty primary header does not start with XTENSION</translation>
    </message>
    <message>
        <source>最初の %1 ヘッダーブロックに END カードがありません</source>
        <translation>no END card in the first %1 header blocks</translation>
    </message>
    <message>
        <source>END カードがありません: ファイルの終わりまでにヘッダーが終わっていません</source>
        <translation>no END card: the header does not end before the end of the file</translation>
    </message>
    <message>
        <source>%1BITPIX が %2 です。読み込めるのは BITPIX 8、16、32、-32、-64 の画像です</source>
        <translation>%1BITPIX is %2; images of BITPIX 8, 16, 32, -32 or -64 are read</translation>
    </message>
    <message>
        <source>%1NAXIS が %2 です。2 次元の画像が必要です</source>
        <translation>%1NAXIS is %2; a two-dimensional image is needed</translation>
    </message>
    <message>
        <source>%1 が %2 です。読み込めるのは 3 軸までの画像です</source>
        <translation>%1 is %2; only images of up to three axes are read</translation>
    </message>
    <message>
        <source>画像サイズ %1 x %2 が 1..%3 の範囲外です</source>
        <translation>image size %1 x %2 is outside 1..%3</translation>
    </message>
    <message>
        <source>%13 が %2 です。読み込めるのは 1..%3 プレーンです</source>
        <translation>%13 is %2; 1..%3 planes are read</translation>
    </message>
    <message>
        <source>%1 が %2 です</source>
        <translation>%1 is %2</translation>
    </message>
    <message>
        <source>最初の拡張が画像ではありません (XTENSION %1)</source>
        <translation>the first extension is not an image (XTENSION %1)</translation>
    </message>
    <message>
        <source>最初の拡張に画像がありません</source>
        <translation>the first extension holds no image</translation>
    </message>
    <message>
        <source>BSCALE が 0 です</source>
        <translation>BSCALE is 0</translation>
    </message>
    <message>
        <source>圧縮画像のテーブルの NAXIS が 2 ではなく %1 です</source>
        <translation>the compressed image&apos;s table has NAXIS %1, not 2</translation>
    </message>
    <message>
        <source>圧縮画像のテーブルのサイズが範囲外です</source>
        <translation>the compressed image&apos;s table sizes are out of range</translation>
    </message>
    <message>
        <source>圧縮画像のテーブルにタイルがありません</source>
        <translation>the compressed image&apos;s table holds no tiles</translation>
    </message>
    <message>
        <source>途中で切れています: ヘッダーの最後のブロックが欠けています</source>
        <translation>truncated: the header&apos;s last block is cut off</translation>
    </message>
    <message>
        <source>途中で切れています: データ %2 バイト中 %1 バイトしかありません</source>
        <translation>truncated: %1 of %2 data bytes present</translation>
    </message>
    <message>
        <source>最初の拡張のヘッダーが読み込んだ範囲の外にあります</source>
        <translation>the first extension&apos;s header lies beyond the bytes read</translation>
    </message>
    <message>
        <source>BITPIX が %1 です</source>
        <translation>BITPIX is %1</translation>
    </message>
    <message>
        <source>画像を開けません: 「%1」</source>
        <translation>cannot open the image: %1</translation>
    </message>
    <message>
        <source>画像を読み込めません: 「%1」</source>
        <translation>cannot read the image: %1</translation>
    </message>
    <message>
        <source>画像のタイルを読み込めません: 「%1」</source>
        <translation>cannot read the image&apos;s tiles: %1</translation>
    </message>
    <message>
        <source>画像のサイズがヘッダーと異なります</source>
        <translation>the image&apos;s size differs from its header&apos;s</translation>
    </message>
    <message>
        <source>画像が開かれていません</source>
        <translation>the image is not open</translation>
    </message>
    <message>
        <source>ブロックが画像の外にあります</source>
        <translation>the block lies outside the image</translation>
    </message>
    <message>
        <source>圧縮タイルが %1 x %2 画素を主張していますが、タイルは %3 画素です</source>
        <translation>a compressed tile claims %1 x %2 pixels, more than its %3</translation>
    </message>
    <message>
        <source>%1 バイトの圧縮タイルが、その %3 画素の %2 バイトを超えて展開されます</source>
        <translation>a compressed tile of %1 bytes inflates to more than the %2 bytes of its %3 pixels</translation>
    </message>
    <message>
        <source>%1 x %2 画素のタイルで</source>
        <translation>in tiles of %1 x %2 pixels</translation>
    </message>
    <message>
        <source>%1 x %2 x %3 画素のタイルで</source>
        <translation>in tiles of %1 x %2 x %3 pixels</translation>
    </message>
    <message>
        <source>%1圧縮された画像の展開に %2 MB 必要で、許容される %3 MB を超えます</source>
        <translation>the image, compressed %1, needs %2 MB to be decompressed, more than the %3 MB allowed</translation>
    </message>
    <message>
        <source>cfitsio を読み込めません: 「%1」</source>
        <translation>cfitsio cannot be loaded: %1</translation>
    </message>
    <message>
        <source>cfitsio (%1) に %2 がありません</source>
        <translation>cfitsio (%1) has no %2</translation>
    </message>
    <message>
        <source>範囲がプレーンの外にあります</source>
        <translation>the area lies outside the plane</translation>
    </message>
    <message>
        <source>画像に整数でない値があります</source>
        <translation>the image holds values that are not integers</translation>
    </message>
    <message>
        <source>gzip ファイルではありません (gzip の印で始まっていません)</source>
        <translation>not a gzip file (it does not start with the gzip signature)</translation>
    </message>
    <message>
        <source>途中で切れています: gzip のデータが展開後 %1 バイトで終わっています</source>
        <translation>truncated: the gzip data end after %1 expanded bytes</translation>
    </message>
    <message>
        <source>gzip のデータが壊れています: 「%1」</source>
        <translation>damaged gzip data: %1</translation>
    </message>
    <message>
        <source>gzip のデータの後に gzip でないデータがあります</source>
        <translation>data that are not gzip follow the gzip data</translation>
    </message>
    <message>
        <source>展開すると %1 MB を超え、フレームに使えるメモリーを超えます</source>
        <translation>it expands to more than %1 MB, more than a frame may hold in memory</translation>
    </message>
    <message>
        <source>種類の分からない %1 色成分の JPEG には対応していません</source>
        <translation>a JPEG of %1 colour components of no known kind, which is not supported</translation>
    </message>
    <message>
        <source>%1 x %2 画素のメモリーが足りません</source>
        <translation>out of memory for %1 x %2 pixels</translation>
    </message>
    <message>
        <source>JPEG ファイルではありません: 「%1」</source>
        <translation>not a JPEG file: %1</translation>
    </message>
    <message>
        <source>JPEG をデコードできません: 「%1」</source>
        <translation>cannot decode JPEG: %1</translation>
    </message>
    <message>
        <source>JPEG を書き出せません: %1 x %2 画素の画像は無効です</source>
        <translation>cannot write JPEG: invalid image of %1 x %2 pixels</translation>
    </message>
    <message>
        <source>JPEG を書き出せません: 品質 %1 が 1..100 の範囲外です</source>
        <translation>cannot write JPEG: quality %1 is not in 1..100</translation>
    </message>
    <message>
        <source>JPEG を書き出せません: 「%1」</source>
        <translation>cannot write JPEG: %1</translation>
    </message>
    <message>
        <source>JPEG を書き出せません: メモリーが足りません</source>
        <translation>cannot write JPEG: out of memory</translation>
    </message>
    <message>
        <source>JPEG ファイルではありません (JPEG の開始マーカーで始まっていません)</source>
        <translation>not a JPEG file (it does not start with a JPEG start-of-image marker)</translation>
    </message>
    <message>
        <source>JPEG デコーダーがウィンドウと異なる範囲を返しました</source>
        <translation>the JPEG decoder returned another region than the window</translation>
    </message>
    <message>
        <source>SER 動画ではありません (LUCAM-RECORDER の署名がありません)</source>
        <translation>not a SER video (no LUCAM-RECORDER signature)</translation>
    </message>
    <message>
        <source>途中で切れています: ヘッダー 178 バイト中 %1 バイトしかありません</source>
        <translation>truncated: %1 of 178 header bytes present</translation>
    </message>
    <message>
        <source>不明なカラー ID %1</source>
        <translation>unknown colour ID %1</translation>
    </message>
    <message>
        <source>画素の深さが %1 です (読み込めるのは 1 から 16)</source>
        <translation>pixel depth %1 (1 to 16 are read)</translation>
    </message>
    <message>
        <source>フレームサイズが %1 x %2 です</source>
        <translation>frame size %1 x %2</translation>
    </message>
    <message>
        <source>フレームがありません (フレーム数 %1)</source>
        <translation>no frames (frame count %1)</translation>
    </message>
    <message>
        <source>途中で切れています: %1 フレームと宣言され、%2 フレームしかありません</source>
        <translation>truncated: %1 frames announced, %2 present</translation>
    </message>
    <message>
        <source>途中で切れています: %1 フレームと宣言され、%2 フレームと 1 フレームの一部しかありません</source>
        <translation>truncated: %1 frames announced, %2 present and part of one more</translation>
    </message>
    <message>
        <source>行がフレームの外にあります</source>
        <translation>rows outside the frame</translation>
    </message>
    <message>
        <source>書き出すフレームがありません</source>
        <translation>no frames to write</translation>
    </message>
    <message>
        <source>フレーム %1 はありません (全 %2 フレーム)</source>
        <translation>frame %1 of %2 does not exist</translation>
    </message>
    <message>
        <source>SER 動画ではありません: %1</source>
        <translation>not a SER video: %1</translation>
    </message>
    <message>
        <source>元の動画を読み込めません: %1</source>
        <translation>its video cannot be read: %1</translation>
    </message>
    <message>
        <source>ヘッダーが元の動画のものではありません</source>
        <translation>its header is not its video&apos;s</translation>
    </message>
    <message>
        <source>元の動画のフレーム以外のものを含んでいます</source>
        <translation>it holds more than frames of its video</translation>
    </message>
    <message>
        <source>%2 フレームではなく %1 フレームを含んでいます</source>
        <translation>it holds %1 frames, not %2</translation>
    </message>
    <message>
        <source>元の動画にフレーム %1 はありません</source>
        <translation>its video has no frame %1</translation>
    </message>
    <message>
        <source>フレーム %1 が元の動画のフレーム %2 ではありません</source>
        <translation>its frame %1 is not frame %2 of its video</translation>
    </message>
    <message>
        <source>フレーム %1 が元の動画のどのフレームでもありません</source>
        <translation>its frame %1 is not one of its video&apos;s</translation>
    </message>
    <message>
        <source>フレーム %1 はありません (動画は %2 フレーム)</source>
        <translation>no frame %1 in a video of %2 frames</translation>
    </message>
    <message>
        <source>%1 フレームの表のメモリーが足りません</source>
        <translation>not enough memory for the table of %1 frames</translation>
    </message>
    <message>
        <source>フレームを解析するメモリーが足りません</source>
        <translation>not enough memory to analyse the frame</translation>
    </message>
    <message>
        <source>フレームを読み込むメモリーが足りません</source>
        <translation>not enough memory to read the frame</translation>
    </message>
    <message>
        <source>BMP 画像を変換するメモリーが足りません</source>
        <translation>out of memory converting the BMP image</translation>
    </message>
    <message>
        <source>BMP の画素のメモリーが足りません</source>
        <translation>out of memory for the BMP pixels</translation>
    </message>
    <message>
        <source>JPEG の画素のメモリーが足りません</source>
        <translation>out of memory for the JPEG pixels</translation>
    </message>
    <message>
        <source>フレームは %1 x %2 画素です。%3 x %4 画素以上が必要です</source>
        <translation>the frame is %1 x %2 pixels; at least %3 x %4 are needed</translation>
    </message>
    <message>
        <source>値が大きすぎて解析できません: フレームの周波数振幅の合計が double の最大値 (約 1.8e308) を超えます</source>
        <translation>values too large to analyse: the frame&apos;s frequency amplitudes add up beyond the largest double (about 1.8e308)</translation>
    </message>
    <message>
        <source>%1の読み込みに %2 MB のメモリーが必要で、1 回の実行で使える %3 MB を超えます</source>
        <translation>%1 needs %2 MB of memory to be read, more than the %3 MB a run may use</translation>
    </message>
    <message>
        <source>フレーム</source>
        <translation>the frame</translation>
    </message>
    <message>
        <source>%3圧縮された %1 x %2 のフレーム</source>
        <translation>the %1 x %2 frame, compressed %3,</translation>
    </message>
    <message>
        <source>%1 x %2 の画像を表示するメモリーが足りません</source>
        <translation>not enough memory for a %1 x %2 picture</translation>
    </message>
    <message>
        <source>SER 動画のフレームではありません (PATH#N)</source>
        <translation>not a frame of a SER video (PATH#N)</translation>
    </message>
    <message>
        <source>不明なファイルの種類です</source>
        <translation>unknown file kind</translation>
    </message>
    <message>
        <source>画像がありません</source>
        <translation>no picture</translation>
    </message>
    <message>
        <source>画像を変換するメモリーが足りません</source>
        <translation>not enough memory to convert the picture</translation>
    </message>
    <message>
        <source>画像データがサイズ %1 x %2 と一致しません</source>
        <translation>the image data do not match the size %1 x %2</translation>
    </message>
    <message>
        <source>画像の書き出しに失敗しました</source>
        <translation>the picture writer failed</translation>
    </message>
    <message>
        <source>%1 MB を超えています (%2 バイト): 読み飛ばしました</source>
        <translation>larger than %1 MB (%2 bytes): skipped</translation>
    </message>
    <message>
        <source>&quot;%1&quot; を確認できません: 「%2」</source>
        <translation>cannot look at &quot;%1&quot;: %2</translation>
    </message>
    <message>
        <source>Good にも &quot;%1&quot; にもありません</source>
        <translation>it is neither in Good nor at &quot;%1&quot;</translation>
    </message>
    <message>
        <source>&quot;%1&quot; がまた存在します</source>
        <translation>&quot;%1&quot; exists again</translation>
    </message>
    <message>
        <source>サイズか時刻が移動したファイルと異なります: 移動後に Good で変更されています</source>
        <translation>its size or time is not the moved file&apos;s: it changed in Good since</translation>
    </message>
    <message>
        <source>書き出した後に変更されています</source>
        <translation>it changed after it was written</translation>
    </message>
    <message>
        <source>&quot;%1&quot; のフレームだけではありません: %2 動画ではありません</source>
        <translation>it is not only frames of &quot;%1&quot;: not a %2 video</translation>
    </message>
    <message>
        <source>元の動画 &quot;%1&quot; を読み込めません (%2): これがフレームの唯一のコピーかもしれません</source>
        <translation>its video &quot;%1&quot; cannot be read (%2): it may be the only copy of its frames</translation>
    </message>
    <message>
        <source>&quot;%1&quot; のフレームだけではありません: %2</source>
        <translation>it is not only frames of &quot;%1&quot;: %2</translation>
    </message>
    <message>
        <source>比較中に変更されました</source>
        <translation>it changed while it was compared</translation>
    </message>
    <message>
        <source>削除できません: 「%1」</source>
        <translation>cannot remove it: %1</translation>
    </message>
    <message>
        <source>&quot;%1&quot; に移動を記録できません: %2</source>
        <translation>cannot record the move in &quot;%1&quot;: %2</translation>
    </message>
    <message>
        <source>記録に追加できません</source>
        <translation>the record cannot be added to</translation>
    </message>
    <message>
        <source>移動の記録に追加できません: 「%1」</source>
        <translation>cannot add to the move&apos;s record: %1</translation>
    </message>
    <message>
        <source>移動の記録ではありません: 完全な行がありません</source>
        <translation>not a move record: no line is complete</translation>
    </message>
    <message>
        <source>移動の記録ではありません: 最初の行が &quot;%1&quot; でも &quot;%2&quot; でもありません</source>
        <translation>not a move record: its first line is not &quot;%1&quot; nor &quot;%2&quot;</translation>
    </message>
    <message>
        <source>&quot;%1&quot; では別の移動か元に戻す処理が行われています。そこでは何もしませんでした (それが終わってから、もう一度お試しください)</source>
        <translation>another move or undo is working in &quot;%1&quot;; nothing was done there (try again once it has finished)</translation>
    </message>
    <message>
        <source>&quot;%1&quot; はフォルダーではありません</source>
        <translation>&quot;%1&quot; is not a folder</translation>
    </message>
    <message>
        <source>移動を中止しました。元の場所に残っています</source>
        <translation>the move was stopped; it stayed where it was</translation>
    </message>
    <message>
        <source>別の移動が &quot;%1&quot; にコピー中です</source>
        <translation>another move is copying it into &quot;%1&quot; now</translation>
    </message>
    <message>
        <source>&quot;%1&quot; はすでに存在します</source>
        <translation>&quot;%1&quot; already exists</translation>
    </message>
    <message>
        <source>コピーを &quot;%1&quot; として置けません: 「%2」</source>
        <translation>cannot place the copy as &quot;%1&quot;: %2</translation>
    </message>
    <message>
        <source>フォルダー &quot;%1&quot; をディスクに書き込めません: %2</source>
        <translation>cannot flush the folder &quot;%1&quot;: %2</translation>
    </message>
    <message>
        <source>元のフォルダーから削除できません: 「%1」</source>
        <translation>cannot remove it from its folder: %1</translation>
    </message>
    <message>
        <source>&quot;%1&quot; を作成できません: 「%2」</source>
        <translation>cannot create &quot;%1&quot;: %2</translation>
    </message>
    <message>
        <source>別の移動が &quot;%1&quot; を残ったファイルとして扱いました</source>
        <translation>another move took &quot;%1&quot; as a leftover</translation>
    </message>
    <message>
        <source>読み込めません: 「%1」</source>
        <translation>cannot read it: %1</translation>
    </message>
    <message>
        <source>このファイルは通常のファイルではありません</source>
        <translation>it is not a regular file</translation>
    </message>
    <message>
        <source>&quot;%1&quot; へのコピーに失敗しました: 「%2」</source>
        <translation>copying it into &quot;%1&quot; failed: %2</translation>
    </message>
    <message>
        <source>リンクを読み込めません: 「%1」</source>
        <translation>cannot read the link: %1</translation>
    </message>
    <message>
        <source>リンク &quot;%1&quot; を読み込めません: 「%2」</source>
        <translation>cannot read the link &quot;%1&quot;: %2</translation>
    </message>
    <message>
        <source>&quot;%1&quot; と &quot;%2&quot; を比較できません: 「%3」</source>
        <translation>cannot compare &quot;%1&quot; with &quot;%2&quot;: %3</translation>
    </message>
    <message>
        <source>もう存在しません</source>
        <translation>it no longer exists</translation>
    </message>
    <message>
        <source>フォルダー &quot;%1&quot; がもう存在しません。元の場所に残っています</source>
        <translation>the folder &quot;%1&quot; no longer exists; it stays where it is</translation>
    </message>
    <message>
        <source>&quot;%1&quot; は存在しますがフォルダーではありません</source>
        <translation>&quot;%1&quot; exists but is not a folder</translation>
    </message>
    <message>
        <source>フォルダー &quot;%1&quot; を作成できません: 「%2」</source>
        <translation>cannot create the folder &quot;%1&quot;: %2</translation>
    </message>
    <message>
        <source>「%1」</source>
        <translation>%1</translation>
    </message>
    <message>
        <source>詳細: 「%1」</source>
        <translation>%1</translation>
    </message>
</context>
<context>
    <name>ScoresPlot</name>
    <message>
        <source>不合格</source>
        <translation>Failed</translation>
    </message>
    <message>
        <source>合格</source>
        <translation>Passed</translation>
    </message>
    <message>
        <source>スコア</source>
        <translation>Score</translation>
    </message>
    <message>
        <source>フレームなし</source>
        <translation>No frames</translation>
    </message>
</context>
<context>
    <name>ScoresTableModel</name>
    <message>
        <source>飽和</source>
        <translation>Saturated</translation>
    </message>
    <message>
        <source>端</source>
        <translation>Edge</translation>
    </message>
    <message>
        <source>明るさ</source>
        <translation>Brightness</translation>
    </message>
    <message>
        <source>重複</source>
        <translation>Duplicate</translation>
    </message>
    <message>
        <source>異種</source>
        <translation>Odd</translation>
    </message>
    <message>
        <source>番号</source>
        <translation>No.</translation>
    </message>
    <message>
        <source>ファイル</source>
        <translation>File</translation>
    </message>
    <message>
        <source>スコア</source>
        <translation>Score</translation>
    </message>
    <message>
        <source>順位</source>
        <translation>Rank</translation>
    </message>
    <message>
        <source>合格</source>
        <translation>Passed</translation>
    </message>
    <message>
        <source>注意</source>
        <translation>Flags</translation>
    </message>
</context>
<context>
    <name>ScoresWindow</name>
    <message>
        <source>推奨バンド: %1-%2</source>
        <translation>Suggested band: %1-%2</translation>
    </message>
    <message>
        <source>推奨バンド: なし</source>
        <translation>Suggested band: none</translation>
    </message>
    <message>
        <source>スコア</source>
        <translation>Scores</translation>
    </message>
    <message>
        <source>リスト順のスコア</source>
        <translation>Scores in list order</translation>
    </message>
    <message>
        <source>リスト順</source>
        <translation>List order</translation>
    </message>
    <message>
        <source>しきい値</source>
        <translation>Threshold</translation>
    </message>
    <message>
        <source>よい順のスコア</source>
        <translation>Scores, best first</translation>
    </message>
    <message>
        <source>順位</source>
        <translation>Rank</translation>
    </message>
    <message>
        <source>合格の境界</source>
        <translation>Pass boundary</translation>
    </message>
    <message>
        <source>基準</source>
        <translation>Rule</translation>
    </message>
    <message>
        <source>レベル</source>
        <translation>Level</translation>
    </message>
    <message>
        <source>上位 N 枚</source>
        <translation>Best N</translation>
    </message>
    <message>
        <source>上位 %</source>
        <translation>Best %</translation>
    </message>
    <message>
        <source>適用</source>
        <translation>Apply</translation>
    </message>
    <message>
        <source>CSV に保存</source>
        <translation>Save as CSV</translation>
    </message>
    <message>
        <source>注意付きを除外</source>
        <translation>Leave out flagged frames</translation>
    </message>
    <message>
        <source>保存できません: %1
%2</source>
        <translation>Cannot save: %1
%2</translation>
    </message>
    <message>
        <source>帯域</source>
        <translation>Band</translation>
    </message>
    <message>
        <source>正規化</source>
        <translation>Normalised</translation>
    </message>
    <message>
        <source>スコア</source>
        <comment>the kind of score</comment>
        <translation>Score</translation>
    </message>
    <message>
        <source>上位 N 枚には 1 以上の整数を入れてください</source>
        <translation>Best N takes a whole number of 1 or more</translation>
    </message>
    <message>
        <source>上位 % には 0 より大きく 100 以下の数を入れてください</source>
        <translation>Best % takes a number above 0 and at most 100</translation>
    </message>
</context>
<context>
    <name>SelectorWindow</name>
    <message>
        <source>画像サイズは256x256以上にしてください
%1 (%2 x %3)</source>
        <translation>Images must be at least 256x256
%1 (%2 x %3)</translation>
    </message>
    <message>
        <source>ファイルを読み込めません: %1
%2</source>
        <translation>Cannot read the file: %1
%2</translation>
    </message>
    <message>
        <source>多くのフレーム: %1</source>
        <translation>Most frames: %1</translation>
    </message>
    <message>
        <source>

続けますか？</source>
        <translation>

Continue?</translation>
    </message>
    <message>
        <source>画像サイズは256x256以上にしてください (%1 x %2)</source>
        <translation>Images must be at least 256x256 (%1 x %2)</translation>
    </message>
    <message>
        <source>ファイルを読み込めません: %1</source>
        <translation>Cannot read the file: %1</translation>
    </message>
    <message>
        <source>ファイル</source>
        <translation>Files</translation>
    </message>
    <message>
        <source>周波数特性</source>
        <translation>Frequency response</translation>
    </message>
    <message>
        <source>合格ファイル</source>
        <translation>Passed</translation>
    </message>
    <message>
        <source>画像</source>
        <translation>Images</translation>
    </message>
    <message>
        <source>開く</source>
        <translation>Open</translation>
    </message>
    <message>
        <source>グラフ</source>
        <translation>Graph</translation>
    </message>
    <message>
        <source>画像の中心</source>
        <translation>Centre</translation>
    </message>
    <message>
        <source>ピーク位置</source>
        <translation>Peak</translation>
    </message>
    <message>
        <source>合格基準</source>
        <translation>Pass level</translation>
    </message>
    <message>
        <source>移動</source>
        <translation>Move</translation>
    </message>
    <message>
        <source>中止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>ファイル数を4000個以下にしてください</source>
        <translation>Choose at most 4000 files</translation>
    </message>
    <message>
        <source>フレーム数を%1個以下にしてください
%2 (%3 フレーム)</source>
        <translation>Choose at most %1 frames
%2 (%3 frames)</translation>
    </message>
    <message>
        <source>先にFFTを実行してください</source>
        <translation>Run the FFT first</translation>
    </message>
    <message>
        <source>移動するファイルがありません</source>
        <translation>There are no files to move</translation>
    </message>
    <message>
        <source>元に戻す Good フォルダー</source>
        <translation>Good folder to undo</translation>
    </message>
    <message>
        <source>このフォルダーには移動の記録がありません</source>
        <translation>This folder holds no record of a move</translation>
    </message>
    <message>
        <source>

Good に残ったファイルがあります
</source>
        <translation>

Some files stayed in Good
</translation>
    </message>
    <message>
        <source>このファイルは解析できません: %1
%2</source>
        <translation>This file cannot be analysed: %1
%2</translation>
    </message>
    <message>
        <source>

このファイルを除いて続けますか？</source>
        <translation>

Leave this file out and continue?</translation>
    </message>
    <message>
        <source>次のファイルを除いて解析しました
</source>
        <translation>These files were left out of the analysis
</translation>
    </message>
    <message>
        <source>移動できなかったファイルがあります
</source>
        <translation>Some files could not be moved
</translation>
    </message>
    <message>
        <source>%1 個のファイルを Good に移動し、
動画のフレーム %2 個を Good の同じ名前の動画に書き出しますか？
（元の動画はそのまま残ります）</source>
        <translation>Move %1 files to Good and
write %2 video frames to videos of the same names in Good?
(The original videos stay as they are.)</translation>
    </message>
    <message numerus="yes">
        <source>ほか %n 個</source>
        <translation>
            <numerusform>and %n more</numerusform>
            <numerusform>and %n more</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>他と異なるフレームがあります (%n 個)</source>
        <translation>
            <numerusform>One frame differs from the others</numerusform>
            <numerusform>%n frames differ from the others</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n 個のファイルを元の場所に戻しました</source>
        <translation>
            <numerusform>%n file was put back where it was</numerusform>
            <numerusform>%n files were put back where they were</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>
Good に書き出した動画 %n 個を削除しました</source>
        <translation>
            <numerusform>
%n video written to Good was deleted</numerusform>
            <numerusform>
%n videos written to Good were deleted</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n 個のファイルを Good に移動しますか？</source>
        <translation>
            <numerusform>Move %n file to Good?</numerusform>
            <numerusform>Move %n files to Good?</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>動画のフレーム %n 個を Good の同じ名前の動画に書き出しますか？
（元の動画はそのまま残ります）</source>
        <translation>
            <numerusform>Write %n video frame to a video of the same name in Good?
(The original video stays as it is.)</numerusform>
            <numerusform>Write %n video frames to videos of the same names in Good?
(The original videos stay as they are.)</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%1 (%n 個のファイル)</source>
        <translation>
            <numerusform>%1 (%n file)</numerusform>
            <numerusform>%1 (%n files)</numerusform>
        </translation>
    </message>
    <message>
        <source>同じフレームが2回選ばれています
%1
%2</source>
        <translation>The same frame is chosen twice
%1
%2</translation>
    </message>
    <message>
        <source>%1 は別の移動か元に戻す処理が使用中です
それが終わってから、もう一度お試しください</source>
        <translation>Another move or undo is working in %1
Please try again once it has finished</translation>
    </message>
    <message numerus="yes">
        <source>%1 は別の移動か元に戻す処理が使用中です (%n 個のファイル)</source>
        <translation>
            <numerusform>Another move or undo is working in %1 (%n file)</numerusform>
            <numerusform>Another move or undo is working in %1 (%n files)</numerusform>
        </translation>
    </message>
    <message>
        <source>すべてのフレーム</source>
        <translation>All frame kinds</translation>
    </message>
    <message numerus="yes">
        <source>
中止しました: %n 個のファイルはまだ Good にあります（もう一度 元に戻す で続きを戻せます）</source>
        <translation>
            <numerusform>
Stopped: %n file is still in Good (Undo Move again brings the rest back)</numerusform>
            <numerusform>
Stopped: %n files are still in Good (Undo Move again brings the rest back)</numerusform>
        </translation>
    </message>
    <message>
        <source>元に戻す</source>
        <translation>Undo Move</translation>
    </message>
    <message>
        <source>Good のファイルを元の場所に戻しています</source>
        <translation>Putting the files in Good back where they were</translation>
    </message>
    <message>
        <source>中止しています…</source>
        <translation>Stopping…</translation>
    </message>
    <message>
        <source>Good のファイルを元の場所に戻しています
%1 / %2</source>
        <translation>Putting the files in Good back where they were
%1 / %2</translation>
    </message>
</context>
</TS>
