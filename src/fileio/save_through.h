#pragma once
// Writing a file whole or not at all: the target is replaced only once the new file is
// complete, and what a link points at is replaced, not the link.

#include <QByteArray>
#include <QSaveFile>
#include <QString>

// `write` fills the file and returns false when it could not; `what` names the writer in the
// error when the file itself reported nothing.
template <typename Write>
bool SaveThrough(const QString& path, QString& error, Write write,
                 const QString& what = QStringLiteral("the writer failed")) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        error = file.errorString();
        return false;
    }
    if (!write(file)) {
        error = file.error() != QFileDevice::NoError ? file.errorString() : what;
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        error = file.errorString();
        return false;
    }
    return true;
}

inline bool SaveWholeFile(const QString& path, const QByteArray& bytes, QString& error) {
    return SaveThrough(path, error,
                       [&](QSaveFile& file) { return file.write(bytes) == bytes.size(); });
}
