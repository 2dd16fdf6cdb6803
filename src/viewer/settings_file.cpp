#include "settings_file.h"

#include "save_through.h"

#include <QDir>
#include <QFile>

#include <climits>
#include <cmath>
#include <sstream>

int Binning = 1;

int ParseSettings(const std::string& text, double numbers[8]) {
    for (int i = 0; i < 8; ++i) numbers[i] = 0.0;
    std::istringstream in(text);
    in.imbue(std::locale::classic());
    int count = 0;
    for (; count < 8; ++count) {
        std::string key;
        double value = 0.0;
        if (!(in >> key >> value)) break;
        numbers[count] = value;
    }
    return count;
}

int BinningFromSettings(const std::string& text) {
    double numbers[8];
    ParseSettings(text, numbers);
    const double b = std::trunc(numbers[7]);
    if (std::isnan(b)) return 0;
    if (b >= double(INT_MAX)) return INT_MAX;
    if (b <= double(INT_MIN)) return INT_MIN;
    return int(b);
}

std::string FormatSettings(int binning, double version) {
    std::ostringstream out;
    out.imbue(std::locale::classic());
    out << "X " << 768 << "\r\n"
        << "Y " << 512 << "\r\n"
        << "P " << 9 << "\r\n"
        << "D " << 200 << "\r\n"
        << "F " << 2000 << "\r\n"
        << "S " << 2 << "\r\n"
        << "M " << 1000 << "\r\n"
        << "B " << binning << "\r\n"
        << "V " << version << "\r\n";
    return out.str();
}

void ReadSettings(const QString& folder) {
    QFile file(QDir(folder).filePath(QString::fromLatin1(kSettingsFileName)));
    if (!file.exists() || !file.open(QIODevice::ReadOnly)) return;
    // A settings file is a few dozen bytes; anything past 64 KiB is not one of ours.
    const QByteArray bytes = file.read(64 * 1024);
    Binning = BinningFromSettings(bytes.toStdString());
}

bool WriteSettings(const QString& folder, std::string& error) {
    return SaveWholeFile(QDir(folder).filePath(QString::fromLatin1(kSettingsFileName)),
                         QByteArray::fromStdString(FormatSettings(Binning, 0.0)), error);
}
