// Qt's own texts in German (the print and file dialogs, the calendar, the
// standard buttons), whatever the desktop's language: every text of the
// program is German. The catalogue comes with the package
// qt6-translations-l10n.
#pragma once

class QCoreApplication;

// Installs the translator and the German locale; false when the catalogue
// is missing (Qt's texts then stay English).
bool InstallGermanTranslations(QCoreApplication& app);
