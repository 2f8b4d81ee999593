#pragma once

class QCoreApplication;

// Qt's own texts (the buttons of the question box, the file picker) in German, as everything else
// on the station's screen. Loads Qt's German catalogue from Qt's translations folder (Debian:
// qt6-translations-l10n); returns false when it is not there, and the texts stay English.
bool installGermanQtTexts(QCoreApplication& app);
