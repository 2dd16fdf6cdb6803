#pragma once
// What the application object needs before the first window: fonts, the chosen language
// (the program's texts and Qt's own), and the program's icon.

#include <string>

// Fonts, the language kept in the preferences and the window icon; a missing translation
// is reported on standard error only, and the program runs with the texts it has.
void SetUpApplication();
