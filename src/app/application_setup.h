#pragma once
// What the application object needs before the first window: fonts, Qt's own texts in
// Japanese, and the program's icon.

#include <string>

// Loads Qt's Japanese translations (Yes/No buttons, file dialogs) into the application.
// False, with `error` naming the file, when they are not installed; the program then runs
// with Qt's English texts.
bool InstallQtTranslations(std::string& error);

// Fonts, translations and the window icon; a missing translation is reported on standard
// error only.
void SetUpApplication();
