#pragma once
// The line in the status bar that says, while the measurement waits for its
// vanished device, which device it waits for and since when, that recording
// goes on when it returns, and that Start/Stop ends the measurement.

#include "LanguageText.h"
#include "Measurement.h"

#include <QLabel>

class QStatusBar;

class DeviceWaitNote : public QLabel
{
    Q_OBJECT
public:
    DeviceWaitNote(const Measurement &measurement, Language language, QStatusBar *bar);

    /// The note's text for `device`, gone since `since`.
    static QString text(Language language, const QString &device, const QDateTime &since);

private:
    void showState(Measurement::State state);

    const Measurement &m_measurement;
    Language m_language;
};
