#pragma once
// Program-wide values that the main window owns and the other windows read
// and write, from start-up to the end of the run.

#include "LanguageText.h"

#include <QString>
#include <QtGlobal>

struct SharedState
{
    QString currentLanguage;   ///< entry 3 of the settings file, compared exactly
    QString inp1Header;        ///< INP1 header line (or "INP1" / empty, see Start/Stop)
    QString inp2Header;        ///< INP2 header line
    QString sr1Header;         ///< SR1 sensor-range line
    QString sr2Header;         ///< SR2 sensor-range line
    qint16 rangeLimit1 = 0;    ///< full scale of INP1 (overload threshold)
    qint16 rangeLimit2 = 0;    ///< full scale of INP2
    qint16 rangeBase1 = 0;     ///< bottom of the INP1 scale
    qint16 rangeBase2 = 0;     ///< bottom of the INP2 scale
    QString saveTarget;        ///< name of the last saved CSV file
    QString spreadsheetPath;   ///< spreadsheet program from the settings

    bool isDeutsch() const { return currentLanguage == QLatin1String("Deutsch"); }
    bool isEnglish() const { return currentLanguage == QLatin1String("English"); }
    bool isFrancais() const { return currentLanguage == QLatin1String("Francais"); }
};
