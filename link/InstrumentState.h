#pragma once
// What the instrument has told about its two inputs during a measurement:
// the header lines it sent, and the scale of each input that the sensor
// selection derived from the sensor codes.

#include <QString>
#include <QtGlobal>

/// The header lines of the running measurement.
struct InstrumentHeader
{
    QString inp1Header;        ///< INP1 header line (or "INP1" / empty around Start/Stop)
    QString inp2Header;        ///< INP2 header line
    QString sr1Header;         ///< SR1 sensor-range line
    QString sr2Header;         ///< SR2 sensor-range line
};

/// Full scale and bottom of each input's scale.
struct SensorRanges
{
    qint16 rangeLimit1 = 0;    ///< full scale of INP1 (overload threshold)
    qint16 rangeLimit2 = 0;    ///< full scale of INP2
    qint16 rangeBase1 = 0;     ///< bottom of the INP1 scale
    qint16 rangeBase2 = 0;     ///< bottom of the INP2 scale
};

/// What the sensor selection shows of both inputs' scales. A null caption
/// leaves the caption the window was laid out with.
struct SensorScales
{
    QString graphCaption1, graphCaption2;   ///< scale captions beside the preview graph
    QString meterCaption1, meterCaption2;   ///< scale captions beside the level meters
};

