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
</context>
</TS>
