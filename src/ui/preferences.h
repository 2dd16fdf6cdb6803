#pragma once
// The program's own preferences, kept by QSettings under "FrameSifter" / "FrameSifter"
// (on Linux ~/.config/FrameSifter/FrameSifter.conf): where each file dialog was last left,
// the selector's band, pass level, window mode, score kind and place, the main window's
// geometry and the language.
// Every getter checks what it reads, since the file may be edited by hand or left by another
// version: out-of-range numbers are clamped, anything else unusable gives the default.

#include "frame_scores.h"
#include "language.h"

#include <QList>
#include <QPoint>
#include <QRect>
#include <QSettings>
#include <QString>

#include <optional>

enum class FileDialogKind { ViewerOpen, ViewerSave, SelectorOpen, ScoresSave };

class Preferences {
public:
    static constexpr int kLastBandBin = 127;  // what a graph click can set
    static constexpr int kDefaultBandLow = 25;
    static constexpr int kDefaultBandHigh = 50;
    static constexpr int kMaxPassLevel = 10;
    static constexpr int kDefaultPassLevel = 5;

    Preferences();

    // The folder the dialog was last accepted in; `fallback` (the current folder when empty)
    // when none is kept or the kept one is gone.
    QString dialogFolder(FileDialogKind dialog, const QString& fallback = QString()) const;
    // The entry last chosen, 0 when none is kept or it is not one of `filterCount` entries.
    int dialogFilter(FileDialogKind dialog, int filterCount) const;
    // `chosen` is a file the dialog returned; its folder is kept.
    void keepDialogChoice(FileDialogKind dialog, const QString& chosen, int filter);

    int bandLow() const;   // 0..kLastBandBin
    int bandHigh() const;  // 0..kLastBandBin
    void setBand(int low, int high);
    int passLevel() const;  // 0..kMaxPassLevel
    void setPassLevel(int level);
    bool peakMode() const;  // false: the centre of the picture
    void setPeakMode(bool peak);
    // Band when what is kept is not a kind's name.
    framesifter::ScoreKind scoreKind() const;
    void setScoreKind(framesifter::ScoreKind kind);
    // The Good folder of the last move, where the undo chooser opens after a restart (empty
    // when none is kept).
    QString lastGoodFolder() const;
    void setLastGoodFolder(const QString& folder);
    // The selector's top-left corner, not checked against the screens.
    std::optional<QPoint> selectorPlace() const;
    void setSelectorPlace(const QPoint& place);

    // The language chosen in the menu; Japanese when none is kept.
    Language language() const;
    void setLanguage(Language language);

    // The main window's normal geometry, when one of a usable size is kept.
    std::optional<QRect> mainGeometry() const;
    bool mainMaximized() const;
    void setMainGeometry(const QRect& geometry, bool maximized);

private:
    int number(const char* key, int fallback, int lowest, int highest) const;

    QSettings settings_;
};

// Whether a window at `frame` shows enough of itself on one of `screens` to be grabbed and
// moved: a part at least 32 pixels square (or the whole window, when smaller) on one screen.
bool PlaceIsOnScreen(const QRect& frame, const QList<QRect>& screens);
// The same against the available areas of the screens now attached.
bool PlaceIsOnScreen(const QRect& frame);
