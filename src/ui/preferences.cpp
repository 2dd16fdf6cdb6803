#include "preferences.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>

#include <algorithm>
#include <climits>

namespace {

const char* DialogGroup(FileDialogKind dialog) {
    switch (dialog) {
    case FileDialogKind::ViewerOpen:
        return "viewerOpen";
    case FileDialogKind::ViewerSave:
        return "viewerSave";
    case FileDialogKind::SelectorOpen:
        return "selectorOpen";
    case FileDialogKind::ScoresSave:
        return "scoresSave";
    }
    return "other";
}

QString Key(FileDialogKind dialog, const char* name) {
    return QStringLiteral("%1/%2").arg(QLatin1String(DialogGroup(dialog)), QLatin1String(name));
}

// Sizes a main window can usefully have; anything else was not written by this program.
const int kSmallestMain = 100;
const int kLargestMain = 100000;
// Coordinates are kept far inside int so that a rectangle's far edge cannot overflow.
const int kFar = 1000000;
const int kNone = INT_MIN;

}  // namespace

Preferences::Preferences()
    : settings_(QStringLiteral("FrameSifter"), QStringLiteral("FrameSifter")) {}

int Preferences::number(const char* key, int fallback, int lowest, int highest) const {
    bool ok = false;
    const qlonglong value =
        settings_.value(QLatin1String(key)).toString().trimmed().toLongLong(&ok);
    if (!ok) return fallback;
    return int(std::clamp<qlonglong>(value, lowest, highest));
}

QString Preferences::dialogFolder(FileDialogKind dialog, const QString& fallback) const {
    const QString folder = settings_.value(Key(dialog, "folder")).toString();
    if (!folder.isEmpty() && QFileInfo(folder).isDir()) return folder;
    return fallback.isEmpty() ? QDir::currentPath() : fallback;
}

int Preferences::dialogFilter(FileDialogKind dialog, int filterCount) const {
    bool ok = false;
    const int filter = settings_.value(Key(dialog, "filter")).toString().toInt(&ok);
    return ok && filter >= 0 && filter < filterCount ? filter : 0;
}

void Preferences::keepDialogChoice(FileDialogKind dialog, const QString& chosen, int filter) {
    settings_.setValue(Key(dialog, "folder"), QFileInfo(chosen).absolutePath());
    settings_.setValue(Key(dialog, "filter"), filter);
}

int Preferences::bandLow() const {
    return number("selector/bandLow", kDefaultBandLow, 0, kLastBandBin);
}

int Preferences::bandHigh() const {
    return number("selector/bandHigh", kDefaultBandHigh, 0, kLastBandBin);
}

void Preferences::setBand(int low, int high) {
    settings_.setValue(QStringLiteral("selector/bandLow"), low);
    settings_.setValue(QStringLiteral("selector/bandHigh"), high);
}

int Preferences::passLevel() const {
    return number("selector/passLevel", kDefaultPassLevel, 0, kMaxPassLevel);
}

void Preferences::setPassLevel(int level) {
    settings_.setValue(QStringLiteral("selector/passLevel"), level);
}

bool Preferences::peakMode() const {
    return settings_.value(QStringLiteral("selector/windowMode")).toString() ==
           QLatin1String("peak");
}

void Preferences::setPeakMode(bool peak) {
    settings_.setValue(QStringLiteral("selector/windowMode"),
                       peak ? QStringLiteral("peak") : QStringLiteral("centre"));
}

framesifter::ScoreKind Preferences::scoreKind() const {
    framesifter::ScoreKind kind = framesifter::ScoreKind::Band;
    const QString kept = settings_.value(QStringLiteral("selector/scoreKind")).toString();
    if (!framesifter::ParseScoreKind(kept.toStdString(), kind)) return framesifter::ScoreKind::Band;
    return kind;
}

void Preferences::setScoreKind(framesifter::ScoreKind kind) {
    settings_.setValue(QStringLiteral("selector/scoreKind"),
                       QLatin1String(framesifter::ScoreKindName(kind)));
}

QString Preferences::lastGoodFolder() const {
    return settings_.value(QStringLiteral("selector/lastGood")).toString();
}

void Preferences::setLastGoodFolder(const QString& folder) {
    settings_.setValue(QStringLiteral("selector/lastGood"), folder);
}

std::optional<QPoint> Preferences::selectorPlace() const {
    const int x = number("selector/x", kNone, -kFar, kFar);
    const int y = number("selector/y", kNone, -kFar, kFar);
    if (x == kNone || y == kNone) return std::nullopt;
    return QPoint(x, y);
}

void Preferences::setSelectorPlace(const QPoint& place) {
    settings_.setValue(QStringLiteral("selector/x"), place.x());
    settings_.setValue(QStringLiteral("selector/y"), place.y());
}

Language Preferences::language() const {
    return LanguageFromCode(settings_.value(QStringLiteral("language")).toString());
}

void Preferences::setLanguage(Language language) {
    settings_.setValue(QStringLiteral("language"), LanguageCode(language));
}

std::optional<QRect> Preferences::mainGeometry() const {
    const int x = number("mainWindow/x", kNone, -kFar, kFar);
    const int y = number("mainWindow/y", kNone, -kFar, kFar);
    const int w = number("mainWindow/width", 0, 0, kFar);
    const int h = number("mainWindow/height", 0, 0, kFar);
    if (x == kNone || y == kNone) return std::nullopt;
    if (w < kSmallestMain || h < kSmallestMain || w > kLargestMain || h > kLargestMain)
        return std::nullopt;
    return QRect(x, y, w, h);
}

bool Preferences::mainMaximized() const {
    return settings_.value(QStringLiteral("mainWindow/maximized")).toString() ==
           QLatin1String("true");
}

void Preferences::setMainGeometry(const QRect& geometry, bool maximized) {
    settings_.setValue(QStringLiteral("mainWindow/x"), geometry.x());
    settings_.setValue(QStringLiteral("mainWindow/y"), geometry.y());
    settings_.setValue(QStringLiteral("mainWindow/width"), geometry.width());
    settings_.setValue(QStringLiteral("mainWindow/height"), geometry.height());
    settings_.setValue(QStringLiteral("mainWindow/maximized"), maximized);
}

bool PlaceIsOnScreen(const QRect& frame, const QList<QRect>& screens) {
    if (frame.isEmpty()) return false;
    const int needW = std::min(frame.width(), 32);
    const int needH = std::min(frame.height(), 32);
    for (const QRect& screen : screens) {
        const QRect seen = frame.intersected(screen);
        if (seen.width() >= needW && seen.height() >= needH) return true;
    }
    return false;
}

bool PlaceIsOnScreen(const QRect& frame) {
    QList<QRect> areas;
    for (const QScreen* screen : QGuiApplication::screens()) areas << screen->availableGeometry();
    return PlaceIsOnScreen(frame, areas);
}
