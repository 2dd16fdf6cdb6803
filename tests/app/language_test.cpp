// The English translation: complete, fitting the fixed layouts, and switched at run time in
// open windows.

#include "application_setup.h"
#include "fake_dialogs.h"
#include "guarded_application.h"
#include "language.h"
#include "main_window.h"
#include "named_control.h"
#include "preferences.h"
#include "scores_window.h"
#include "scratch_preferences.h"
#include "selector_window.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDirIterator>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QStyleOption>
#include <QTableView>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

#include <functional>
#include <map>
#include <memory>

namespace {

// (context, source) -> translation; unfinished entries map to an empty text.
std::map<std::pair<QString, QString>, QString> ReadTs(const QString& path) {
    std::map<std::pair<QString, QString>, QString> messages;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return messages;
    QXmlStreamReader xml(&file);
    QString context, source;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement) continue;
        if (xml.name() == u"name") {
            context = xml.readElementText();
        } else if (xml.name() == u"source") {
            source = xml.readElementText();
        } else if (xml.name() == u"translation") {
            const bool unfinished = xml.attributes().value(QStringLiteral("type")) == u"unfinished";
            const QString text = xml.readElementText();
            messages[{context, source}] = unfinished ? QString() : text;
        }
    }
    return messages;
}

// Texts whose English is missing or too wide: how wide a control's text may be, from the
// style's own metrics, compared with what the text needs in the control's font.
QStringList Misfits(QWidget* root) {
    QStringList misfits;
    QStyle* style = root->style();
    const auto check = [&](QWidget* w, const QString& text, int room) {
        const int need = w->fontMetrics().horizontalAdvance(QString(text).remove(u'&'));
        if (need > room)
            misfits << QStringLiteral("%1 \"%2\": %3 px in %4")
                           .arg(w->objectName(), text)
                           .arg(need)
                           .arg(room);
    };
    for (QWidget* w : root->findChildren<QWidget*>()) {
        if (!w->isVisibleTo(root)) continue;
        const int frame = style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, w);
        if (auto* radio = qobject_cast<QRadioButton*>(w)) {
            QStyleOptionButton option;
            option.initFrom(radio);
            check(w, radio->text(),
                  style->subElementRect(QStyle::SE_RadioButtonContents, &option, w).width());
        } else if (auto* box = qobject_cast<QCheckBox*>(w)) {
            QStyleOptionButton option;
            option.initFrom(box);
            check(w, box->text(),
                  style->subElementRect(QStyle::SE_CheckBoxContents, &option, w).width());
        } else if (auto* button = qobject_cast<QPushButton*>(w)) {
            check(w, button->text(), button->width() - 2 * frame);
        } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
            check(w, group->title(), group->width() - 4 * frame);
        } else if (auto* header = qobject_cast<QHeaderView*>(w);
                   header && header->orientation() == Qt::Horizontal) {
            // The last column stretches; the others keep the sort mark's room.
            for (int c = 0; c + 1 < header->count(); ++c)
                check(w, header->model()->headerData(c, Qt::Horizontal).toString(),
                      header->sectionSize(c) - 16);
        } else if (auto* label = qobject_cast<QLabel*>(w); label && !label->wordWrap()) {
            check(w, label->text(), label->width());
            // A caption sized to its text must still end before its neighbours begin.
            for (QWidget* other :
                 w->parentWidget()->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
                if (other != w && other->isVisibleTo(root) &&
                    other->geometry().intersects(w->geometry()))
                    misfits << QStringLiteral("%1 overlaps %2")
                                   .arg(w->objectName(), other->objectName());
        }
    }
    return misfits;
}

}  // namespace

class LanguageTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<FakeDialogs> dialogs_;
    std::unique_ptr<MainWindow> main_;
    QTemporaryDir folder_;

    void useLanguage(Language language) {
        std::string error;
        QVERIFY2(SetLanguage(language, error), error.c_str());
        // The new texts, then the layouts they ask for.
        for (int pass = 0; pass < 3; ++pass) QCoreApplication::processEvents();
    }

private slots:
    void initTestCase() {
        QDir::setCurrent(folder_.path());  // the settings file is written here
        dialogs_ = std::make_unique<FakeDialogs>();
        main_ = std::make_unique<MainWindow>();
        main_->show();
        main_->selectorWindow()->show();
        main_->selectorWindow()->scoresWindow()->show();
    }
    void cleanup() { useLanguage(Language::Japanese); }
    void cleanupTestCase() { main_.reset(); }

    // Every text lupdate finds in the sources has a finished English translation, and no
    // Japanese text reaches the screen without going through the translation system.
    void everyTextHasItsEnglish() {
        QTemporaryDir scratch;
        const QString found = scratch.filePath(QStringLiteral("found.ts"));
        QProcess lupdate;
        lupdate.start(
            QStringLiteral(FRAMESIFTER_LUPDATE),
            {QStringLiteral("-silent"), QStringLiteral("-locations"), QStringLiteral("none"),
             QStringLiteral(FRAMESIFTER_SOURCE_DIR "/src"), QStringLiteral("-ts"), found});
        QVERIFY(lupdate.waitForFinished(60000));
        QCOMPARE(lupdate.exitCode(), 0);
        const auto shipped =
            ReadTs(QStringLiteral(FRAMESIFTER_SOURCE_DIR "/translations/framesifter_en.ts"));
        const auto wanted = ReadTs(found);
        QVERIFY(wanted.size() > 50);
        QStringList missing;
        for (const auto& [key, unused] : wanted) {
            const auto it = shipped.find(key);
            if (it == shipped.end() || it->second.isEmpty())
                missing << key.first + QStringLiteral(": ") + key.second;
        }
        QVERIFY2(missing.isEmpty(), qPrintable(missing.join(u'\n')));

        // Language names are shown in their own language whichever is chosen.
        const QRegularExpression untranslated(QStringLiteral(
            "(QStringLiteral|fromUtf8|QLatin1String)\\(\"[^\"]*[\\x{3000}-\\x{9fff}]"));
        QStringList bare;
        QDirIterator files(QStringLiteral(FRAMESIFTER_SOURCE_DIR "/src"),
                           {QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files,
                           QDirIterator::Subdirectories);
        while (files.hasNext()) {
            QFile file(files.next());
            QVERIFY(file.open(QIODevice::ReadOnly));
            for (const QString& line : QString::fromUtf8(file.readAll()).split(u'\n'))
                if (untranslated.match(line).hasMatch() && !line.contains(u"日本語") &&
                    !line.contains(u"言語 / Language"))
                    bare << line.trimmed();
        }
        QVERIFY2(bare.isEmpty(), qPrintable(bare.join(u'\n')));
    }

    void textsFitTheirControls_data() {
        QTest::addColumn<int>("language");
        QTest::addColumn<QString>("window");
        for (Language language : {Language::Japanese, Language::English})
            for (const char* window : {"selector", "toolBar", "scores"})
                QTest::addRow("%s %s", qPrintable(LanguageCode(language)), window)
                    << int(language) << QString::fromLatin1(window);
    }
    // The selector's panel and the tool bar are fixed; the scores window at its first size.
    void textsFitTheirControls() {
        QFETCH(int, language);
        QFETCH(QString, window);
        useLanguage(Language(language));
        QWidget* root = window == u"selector" ? static_cast<QWidget*>(main_->selectorWindow())
                        : window == u"toolBar"
                            ? Control<QWidget>(*main_, "toolBar")
                            : static_cast<QWidget*>(main_->selectorWindow()->scoresWindow());
        const QStringList misfits = Misfits(root);
        QVERIFY2(misfits.isEmpty(), qPrintable(misfits.join(u'\n')));
    }

    // The menu switches every open window's texts, Qt's own with them, and the preferences
    // keep the choice.
    void switchingRetranslatesOpenWindows() {
        SelectorWindow* selector = main_->selectorWindow();
        ScoresWindow* scores = selector->scoresWindow();
        const struct {
            const char* what;
            std::function<QString()> text;
            QString japanese, english;
        } shown[] = {
            {"selector open", [&] { return Control<QPushButton>(*selector, "openButton")->text(); },
             "開く", "Open"},
            {"selector move", [&] { return Control<QPushButton>(*selector, "moveButton")->text(); },
             "移動", "Move"},
            {"selector group", [&] { return Control<QGroupBox>(*selector, "passGroup")->title(); },
             "合格基準", "Pass level"},
            {"selector mode",
             [&] { return Control<QRadioButton>(*selector, "peakModeButton")->text(); },
             "ピーク位置", "Peak"},
            {"main menu", [&] { return Control<QMenu>(*main_, "fileMenu")->title(); },
             "ファイル(&F)", "&File"},
            {"main button", [&] { return Control<QPushButton>(*main_, "selectorButton")->text(); },
             "セレクト", "Select"},
            {"scores title", [&] { return scores->windowTitle(); }, "スコア", "Scores"},
            {"scores header",
             [&] {
                 return Control<QTableView>(*scores, "scoresTable")
                     ->model()
                     ->headerData(3, Qt::Horizontal)
                     .toString();
             },
             "順位", "Rank"},
            {"scores apply",
             [&] { return Control<QPushButton>(*scores, "applyRuleButton")->text(); }, "適用",
             "Apply"},
            {"scores kind caption",
             [&] { return Control<QLabel>(*scores, "scoreKindCaption")->text(); }, "スコア",
             "Score"},
            {"scores kind",
             [&] { return Control<QComboBox>(*scores, "scoreKindBox")->itemText(1); }, "正規化",
             "Normalised"},
            {"Qt's own", [] { return QCoreApplication::translate("QPlatformTheme", "&Yes"); },
             "はい(&Y)", "&Yes"},
            {"one file",
             [] {
                 return QCoreApplication::translate(
                     "SelectorWindow", "%n 個のファイルを Good に移動しますか？", nullptr, 1);
             },
             "1 個のファイルを Good に移動しますか？", "Move 1 file to Good?"},
            {"files",
             [] {
                 return QCoreApplication::translate("SelectorWindow", "%1 (%n 個のファイル)",
                                                    nullptr, 12)
                     .arg("x");
             },
             "x (12 個のファイル)", "x (12 files)"},
        };
        for (QAction* action : {Control<QAction>(*main_, "englishAction"),
                                Control<QAction>(*main_, "japaneseAction")}) {
            action->trigger();
            for (int pass = 0; pass < 3; ++pass) QCoreApplication::processEvents();
            const bool english = action == Control<QAction>(*main_, "englishAction");
            for (const auto& row : shown)
                QVERIFY2(row.text() == (english ? row.english : row.japanese),
                         qPrintable(QStringLiteral("%1: %2").arg(row.what, row.text())));
            QCOMPARE(Preferences().language(), english ? Language::English : Language::Japanese);
            QVERIFY(action->isChecked());
        }
    }
};

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    GuardedApplication app(argc, argv);
    ScratchPreferences preferences;
    SetUpApplication();
    LanguageTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "language_test.moc"
