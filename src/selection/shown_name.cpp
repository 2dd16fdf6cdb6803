#include "shown_name.h"

#include <QFile>

namespace framesifter {

QString FrameDisplayName(const FrameRef& frame) {
    const QString file = QFile::decodeName(frame.file.c_str());
    const QString name = file.mid(file.lastIndexOf(QLatin1Char('/')) + 1);
    if (!frame.inVideo()) return name;
    return QStringLiteral("%1 #%2").arg(name).arg(frame.frame);
}

namespace {

// Where a video's frame number begins (" #N" at the end), or the name's length.
qsizetype FrameNumberStart(const QString& name) {
    const qsizetype mark = name.lastIndexOf(QStringLiteral(" #"));
    if (mark < 0 || mark + 2 >= name.size()) return name.size();
    for (qsizetype k = mark + 2; k < name.size(); ++k)
        if (!name[k].isDigit()) return name.size();
    return mark;
}

}  // namespace

QString ElideFrameName(const QString& name, int width,
                       const std::function<int(const QString&)>& widthOf) {
    if (widthOf(name) <= width) return name;
    const QString ellipsis(QChar(0x2026));
    const qsizetype split = FrameNumberStart(name);
    const QString stem = name.left(split), tail = name.mid(split);
    if (widthOf(ellipsis + tail) > width) {
        const QString number = tail.mid(1);
        return !tail.isEmpty() && widthOf(number) <= width ? number : QString();
    }
    // The most characters of the stem that fit: a longer kept part never measures narrower.
    const auto shown = [&](qsizetype kept) {
        const qsizetype front = (kept + 1) / 2;
        return stem.left(front) + ellipsis + stem.right(kept - front) + tail;
    };
    qsizetype fits = 0, fails = stem.size();
    while (fails - fits > 1) {
        const qsizetype mid = (fits + fails) / 2;
        (widthOf(shown(mid)) <= width ? fits : fails) = mid;
    }
    return shown(fits);
}

}  // namespace framesifter
