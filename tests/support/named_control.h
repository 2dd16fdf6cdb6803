#pragma once
// Window tests reach a control by its object name, as a user finds it by what it does, never
// through the window's members.

#include <QObject>
#include <QString>
#include <QtGlobal>

// The descendant of `window` of type T named `name`. A missing or renamed control ends the
// test program at once, naming the control, the window and the test function (Qt Test
// reports a fatal message with it): the test cannot go on without the control.
template <class T>
T* Control(const QObject& window, const char* name) {
    T* found = window.findChild<T*>(QLatin1String(name));
    if (!found)
        qFatal("%s has no %s named \"%s\"", window.metaObject()->className(),
               T::staticMetaObject.className(), name);
    return found;
}
