#include "command_line_files.h"

#include <QDir>

QList<QUrl> CommandLineFiles(const QStringList& arguments, const QString& currentFolder) {
    QList<QUrl> files;
    const QDir current(currentFolder);
    for (const QString& argument : arguments) {
        if (argument.isEmpty()) continue;
        if (argument.startsWith(QStringLiteral("file:"))) {
            const QUrl url(argument);
            if (url.isLocalFile()) files << url;
            continue;
        }
        if (argument.contains(QStringLiteral("://"))) continue;
        files << QUrl::fromLocalFile(QDir::cleanPath(current.absoluteFilePath(argument)));
    }
    return files;
}
