#include "reason_text.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QSet>
#include <QTranslator>

#include <gtest/gtest.h>

using namespace framesifter;

namespace {

// Translators need an application object; one serves every test.
void EnsureApplication() {
    static int argc = 1;
    static char name[] = "ui_tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app =
        QCoreApplication::instance() ? nullptr : new QCoreApplication(argc, argv);
    (void)app;
}

// The English translation installed while it lives; Japanese, the source, again after.
class English {
public:
    English() {
        EnsureApplication();
        loaded_ = translator_.load(QStringLiteral(":/i18n/framesifter_en.qm")) &&
                  QCoreApplication::installTranslator(&translator_);
    }
    ~English() { QCoreApplication::removeTranslator(&translator_); }
    bool loaded() const { return loaded_; }

private:
    QTranslator translator_;
    bool loaded_ = false;
};

QSet<QString> PlacesOf(const QString& text) {
    QSet<QString> places;
    static const QRegularExpression place(QStringLiteral("%[1-9]"));
    for (const QRegularExpressionMatch& m : place.globalMatch(text)) places << m.captured();
    return places;
}

}  // namespace

TEST(ReasonText, JapaneseNamesTheKindAndQuotesTheLibrarysWords) {
    EnsureApplication();
    struct Case {
        std::string reason;
        const char* shown;
    };
    const Case cases[] = {
        {Reason(ReasonKind::TruncatedData, {306720, 614400}),
         "途中で切れています: データ 614400 バイト中 306720 バイトしかありません"},
        {"not a FITS file (it does not start with a SIMPLE card)",
         "FITS ファイルではありません (SIMPLE カードで始まっていません)"},
        {"100 x 100 8-bit colour JPEG", "100 x 100 8 ビット カラー JPEG"},
        // The system's text after a translated lead, quoted.
        {"cannot open: No such file or directory", "開けません: 「No such file or directory」"},
        {"not a JPEG file: Not a JPEG file: starts with 0x78 0x78",
         "JPEG ファイルではありません: 「Not a JPEG file: starts with 0x78 0x78」"},
        // Part by part: the prefix, then the reason within it.
        {"cannot record the move in \"/n/Good\": cannot open: Permission denied",
         "\"/n/Good\" に移動を記録できません: 開けません: 「Permission denied」"},
        {"cannot record the move in \"/n/Good\": Permission denied",
         "\"/n/Good\" に移動を記録できません: 「Permission denied」"},
        {Reason(ReasonKind::NeedsMemory,
                {Reason(ReasonKind::TheTiledFrame,
                        {4000, 3000, Reason(ReasonKind::TilesText, {100, 1})}),
                 900, 512}),
         "100 x 1 画素のタイルで圧縮された 4000 x 3000 のフレームの読み込みに 900 MB "
         "のメモリーが必要で、1 回の実行で使える 512 MB を超えます"},
        // A reason of no known kind: a lead, and the text as it came.
        {"std::bad_alloc", "詳細: 「std::bad_alloc」"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reason);
        EXPECT_EQ(ReasonText(c.reason).toStdString(), c.shown);
    }
}

TEST(ReasonText, EveryKindHasItsOwnTextWithTheTemplatesPlaces) {
    QSet<QString> seen;
    for (const ReasonEntry& entry : ReasonCatalogue()) {
        SCOPED_TRACE(entry.english);
        const char* source = ReasonSourceText(entry.kind);
        ASSERT_NE(source, nullptr);
        const QString text = QString::fromUtf8(source);
        EXPECT_EQ(PlacesOf(text), PlacesOf(QString::fromUtf8(entry.english)));
        EXPECT_FALSE(seen.contains(text)) << "two kinds would share one translation";
        seen << text;
    }
}

TEST(ReasonText, EnglishShowsTheReasonAsWritten) {
    English english;
    ASSERT_TRUE(english.loaded());
    std::vector<std::string> reasons = {"std::bad_alloc", "Permission denied",
                                        "cannot record the move in \"/n/Good\": Is a directory"};
    for (const ReasonEntry& entry : ReasonCatalogue()) {
        std::vector<std::string> values;
        for (const char* k = entry.values; *k; ++k) {
            const std::size_t i = std::size_t(k - entry.values) + 1;
            values.push_back(ValueKindOf(*k) == ValueKind::Nested
                                 ? Reason(ReasonKind::CannotOpen, {"No such file or directory"})
                             : ValueKindOf(*k) == ValueKind::Number
                                 ? std::to_string(i * 7)
                                 : "/data/m" + std::to_string(i) + ".fit");
        }
        reasons.push_back(FillTemplate(entry.english, values));
    }
    for (const std::string& reason : reasons) EXPECT_EQ(ReasonText(reason).toStdString(), reason);
}
