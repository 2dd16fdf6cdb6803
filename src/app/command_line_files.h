#pragma once
// The files named on the program's command line, as a file manager's "Open with" passes
// them: local paths (relative ones from the current folder) or file: URLs.

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

// `arguments` without the program's name and without Qt's own options. Relative paths are
// taken from `currentFolder`; URLs of other schemes and empty arguments are left out, so
// that what is left opens as dropped files do.
QList<QUrl> CommandLineFiles(const QStringList& arguments, const QString& currentFolder);
