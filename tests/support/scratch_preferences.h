#pragma once
// Points the program's preferences at a scratch folder, so that no test reads or writes
// the user's own. Make one before the first window and keep it for the whole test program;
// clear() before each test gives every test the defaults.

#include <QSettings>
#include <QTemporaryDir>

#include <cstdlib>

class ScratchPreferences {
public:
    ScratchPreferences() {
        if (!dir_.isValid()) std::abort();
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir_.path());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir_.path());
        clear();
    }
    static void clear() {
        QSettings(QStringLiteral("FrameSifter"), QStringLiteral("FrameSifter")).clear();
    }
    // Writes a value as a hand edit would leave it.
    static void put(const QString& key, const QVariant& value) {
        QSettings(QStringLiteral("FrameSifter"), QStringLiteral("FrameSifter"))
            .setValue(key, value);
    }
    QString folder() const { return dir_.path(); }

private:
    QTemporaryDir dir_;
};
