#pragma once
// The program's icon, drawn here so that the windows and the installed picture agree.

#include <QImage>

// A planet with a dark band on a transparent square of size x size pixels.
QImage ProgramIconImage(int size);
