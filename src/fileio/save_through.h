#pragma once
// Writing a file whole or not at all: the target is replaced only once the new file is
// complete, and what a link points at is replaced, not the link.

#include <QByteArray>
#include <QSaveFile>
#include <QString>

#include <string>

// `write` fills the file and returns false when it could not; `what` is the reason then when
// the file itself reported nothing.
template <typename Write>
[[nodiscard]] bool SaveThrough(const QString& path, Write write, const std::string& what,
                               std::string& error) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        error = file.errorString().toStdString();
        return false;
    }
    if (!write(file)) {
        error = file.error() != QFileDevice::NoError ? file.errorString().toStdString() : what;
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        error = file.errorString().toStdString();
        return false;
    }
    return true;
}

[[nodiscard]] inline bool SaveWholeFile(const QString& path, const QByteArray& bytes,
                                        std::string& error) {
    return SaveThrough(
        path, [&](QSaveFile& file) { return file.write(bytes) == bytes.size(); },
        "the writer failed", error);
}
