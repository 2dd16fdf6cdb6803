#pragma once
// The language of the program's own texts and of Qt's dialogs. Japanese is the source of
// every text, so choosing it removes the program's translator; English installs the one
// embedded in the program and removes Qt's Japanese texts so that Qt's built-in English
// shows. Installing or removing a translator sends every widget a LanguageChange event,
// which each window answers by setting its texts again.

#include <QString>

#include <string>

enum class Language { Japanese, English };

// Makes `language` the one shown, at once, in every window. False, with `error` naming
// what could not be loaded, when a translation is missing; the texts then stay as they were
// where they could not be changed.
[[nodiscard]] bool SetLanguage(Language language, std::string& error);
Language CurrentLanguage();

// "ja" or "en", as kept in the preferences.
QString LanguageCode(Language language);
// The language a kept code names; Japanese for anything else.
Language LanguageFromCode(const QString& code);
