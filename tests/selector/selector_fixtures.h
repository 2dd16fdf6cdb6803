#pragma once
// Scripted dialogs and frames written on the spot for the selector window's tests.

#include "fits_writer.h"
#include "user_dialogs.h"

#include <QImage>
#include <QString>
#include <QStringList>

#include <cmath>
#include <cstdint>
#include <deque>
#include <optional>
#include <stdexcept>
#include <vector>

using namespace framesifter;

// Answers the selector's dialogs from queues and records what it was shown.
class ScriptedDialogs : public UserDialogs {
public:
    std::deque<OpenChoice> opens;
    std::deque<bool> answers;
    std::deque<QString> folders;  // folder-chooser choices; an empty queue cancels
    QStringList messages;
    QStringList errors;
    QStringList questions;
    QStringList lastFilters;
    int lastInitialFilter = -1;
    QString lastFolder;
    QWidget* lastParent = nullptr;  // the folder chooser's and the messages' window
    bool failOpen = false;          // the dialog itself fails, as an out-of-memory would
    // The question about frames that differ from most is answered with this when it is set,
    // and recorded apart, so that tests about other questions need not script it.
    std::optional<bool> mixedAnswer = true;
    QStringList mixedQuestions;

    ScriptedDialogs() { SetDialogs(this); }
    ~ScriptedDialogs() override { SetDialogs(nullptr); }

    void chooseFiles(const QStringList& files, int filter = 0) {
        OpenChoice c;
        c.accepted = true;
        c.files = files;
        c.filterIndex = filter;
        opens.push_back(c);
    }
    void cancel() { opens.push_back(OpenChoice{}); }

    OpenChoice getOpenFiles(QWidget*, const QString&, const QStringList& filters, int initialFilter,
                            const QString& folder) override {
        lastFilters = filters;
        lastInitialFilter = initialFilter;
        lastFolder = folder;
        if (failOpen) throw std::runtime_error("scripted failure");
        if (opens.empty()) return {};
        OpenChoice c = opens.front();
        opens.pop_front();
        return c;
    }
    SaveChoice getSaveFile(QWidget*, const QString&, const QStringList&, int,
                           const QString&) override {
        return {};
    }
    QString getExistingFolder(QWidget* parent, const QString&, const QString& folder) override {
        lastParent = parent;
        lastFolder = folder;
        if (folders.empty()) return {};
        const QString chosen = folders.front();
        folders.pop_front();
        return chosen;
    }
    void showMessage(QWidget* parent, const QString& text) override {
        lastParent = parent;
        messages << text;
    }
    void showError(QWidget* parent, const QString& text) override {
        lastParent = parent;
        errors << text;
    }
    bool askYesNo(QWidget*, const QString& text, bool) override {
        if (mixedAnswer && text.startsWith(QStringLiteral("他と異なるフレームがあります"))) {
            mixedQuestions << text;
            return *mixedAnswer;
        }
        questions << text;
        if (answers.empty()) return false;
        bool a = answers.front();
        answers.pop_front();
        return a;
    }
};

// Vertical stripes 100 + amplitude * cos(2 pi * cycles * x / 256): their amplitude lands
// in bins cycles-1 and cycles of the characteristic, about 0.707 * amplitude each.
inline int StripeValue(int x, int amplitude, int cycles) {
    return int(std::lround(100 + amplitude * std::cos(2 * M_PI * cycles * x / 256.0)));
}

inline QString WriteStripesBmp(const QString& path, int amplitude, int width = 256,
                               int height = 256, int cycles = 30) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int x = 0; x < width; ++x) {
        const int g = StripeValue(x, amplitude, cycles);
        for (int y = 0; y < height; ++y) image.setPixel(x, y, qRgb(0, g, 0));
    }
    if (!image.save(path, "BMP")) return QString();
    return path;
}

inline QString WriteStripesFits(const QString& path, int amplitude, int width = 256,
                                int height = 256, int cycles = 30) {
    std::vector<std::uint16_t> values(std::size_t(width) * std::size_t(height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            values[std::size_t(y) * width + x] = std::uint16_t(StripeValue(x, amplitude, cycles));
    std::string error;
    if (!WriteFits16(path.toStdString(), values.data(), width, height, error)) return QString();
    return path;
}
