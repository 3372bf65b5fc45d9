#include "DeviceWaitNote.h"

#include <QDir>
#include <QStatusBar>

namespace {

const LanguageText waitingText{
    QStringLiteral("%1 ist seit %2 getrennt. Die Aufzeichnung geht weiter, sobald es zurück ist; "
                   "Start/Stop beendet die Messung."),
    QStringLiteral("%1 is gone since %2. Recording goes on when it is back; "
                   "Start/Stop ends the measurement."),
    QStringLiteral("%1 est absent depuis %2. L'enregistrement reprend à son retour ; "
                   "Start/Stop termine la mesure.")};
const LanguageText noteName{QStringLiteral("Messgerät getrennt"), QStringLiteral("Instrument gone"),
                            QStringLiteral("Instrument absent")};

} // namespace

DeviceWaitNote::DeviceWaitNote(const Measurement &measurement, Language language, QStatusBar *bar)
    : QLabel(bar), m_measurement(measurement), m_language(language)
{
    setObjectName(QStringLiteral("deviceWaitNote"));
    setAccessibleName(noteName.pickOrEnglish(language));
    setWordWrap(true);
    bar->addWidget(this, 1);
    hide();
    connect(&measurement, &Measurement::stateChanged, this, &DeviceWaitNote::showState);
}

QString DeviceWaitNote::text(Language language, const QString &device, const QDateTime &since)
{
    return waitingText.pickOrEnglish(language)
        .arg(QDir::toNativeSeparators(device), since.time().toString(QStringLiteral("hh:mm:ss")));
}

void DeviceWaitNote::showState(Measurement::State state)
{
    if (state != Measurement::State::WaitingForDevice) {
        hide();
        clear();
        return;
    }
    setText(text(m_language, m_measurement.lostDevice(), m_measurement.lostSince()));
    show();
}
