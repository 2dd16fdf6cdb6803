// The windowed program started as a child process.

#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

namespace {

struct Outcome {
    int status = -1;
    QString errorText;
};

Outcome RunProgram(const QProcessEnvironment& env) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(FRAMESIFTER_PROGRAM), {});
    Outcome o;
    if (!p.waitForFinished(20000)) {
        p.kill();
        p.waitForFinished();
        return o;
    }
    if (p.exitStatus() == QProcess::NormalExit) o.status = p.exitCode();
    o.errorText = QString::fromLocal8Bit(p.readAllStandardError());
    return o;
}

}  // namespace

TEST(ProgramStart, WithoutADisplaySaysSoAndExitsWithOne) {
    // An empty variable counts as unset: Qt would fail on it all the same.
    for (const char* empty : {"", "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QString::fromLatin1(name));
        if (*empty) env.insert(QString::fromLatin1(empty), QString());
        const Outcome o = RunProgram(env);
        EXPECT_EQ(o.status, 1) << empty;
        EXPECT_EQ(o.errorText.trimmed().count(QLatin1Char('\n')), 0) << o.errorText.toStdString();
        EXPECT_TRUE(o.errorText.startsWith(QStringLiteral("framesifter: no display: set DISPLAY")))
            << o.errorText.toStdString();
    }
}

TEST(ProgramStart, ADisplayNamedButNotThereSaysSoAndExitsWithOne) {
    // A display number no X server here listens on, alone and with the X11 plugin asked for.
    for (const char* platform : {"", "xcb"}) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        if (*platform) env.insert(QStringLiteral("QT_QPA_PLATFORM"), QString::fromLatin1(platform));
        env.insert(QStringLiteral("DISPLAY"), QStringLiteral(":917"));
        const Outcome o = RunProgram(env);
        EXPECT_EQ(o.status, 1) << platform;
        EXPECT_EQ(o.errorText.trimmed(),
                  QStringLiteral("framesifter: cannot open display :917: start its X server or "
                                 "set DISPLAY to one that runs"))
            << o.errorText.toStdString();
    }
}

TEST(ProgramStart, AWaylandDisplayWithoutACompositorSaysSoAndExitsWithOne) {
    // A socket name no compositor listens on: alone it ends the start with one line; with a
    // running display beside it, Qt's fallback to X11 is left to work.
    const struct {
        const char* platform;
        const char* expected;
    } cases[] = {
        {"",
         "framesifter: cannot connect to the Wayland display wayland-917 and no DISPLAY is "
         "set: start the compositor, set DISPLAY to a running X server, or "
         "QT_QPA_PLATFORM=offscreen"},
        {"wayland",
         "framesifter: cannot connect to the Wayland display wayland-917: start the "
         "compositor, set DISPLAY to a running X server, or QT_QPA_PLATFORM=offscreen"},
        {"xcb",
         "framesifter: no display: set DISPLAY or WAYLAND_DISPLAY, or "
         "QT_QPA_PLATFORM=offscreen"},
    };
    for (const auto& c : cases) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        if (*c.platform)
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QString::fromLatin1(c.platform));
        env.insert(QStringLiteral("WAYLAND_DISPLAY"), QStringLiteral("wayland-917"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), QStringLiteral("/tmp"));
        const Outcome o = RunProgram(env);
        EXPECT_EQ(o.status, 1) << c.platform;
        EXPECT_EQ(o.errorText.trimmed(), QString::fromLatin1(c.expected)) << c.platform;
    }
}
