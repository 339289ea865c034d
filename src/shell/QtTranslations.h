#pragma once

class QCoreApplication;

// Qt's own texts (shortcut names such as "Strg+F1", the text boxes' context menu, the standard
// buttons) in German, to match the rest of the program, whatever the user's language. Reads
// qtbase_de from Qt's translations folder (Debian: qt6-translations-l10n). False when that file
// is missing; the texts then stay English.
bool installGermanQtTranslations(QCoreApplication& app);
