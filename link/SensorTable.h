#pragma once
// The fixed table of the instrument's sensor types: which two-digit sensor
// code selects which full scale and which scale captions.

#include <QLatin1String>
#include <QList>
#include <QString>
#include <QtGlobal>

namespace sensors {

/// One sensor type: the codes that select it, its full scale and the two
/// scale captions (eleven tick values from the top down, spaced by blanks).
struct SensorType
{
    int row;                   ///< 1 to 28, the order in which rows are tried
    QList<qint16> codes;       ///< sensor codes of this row (rows never share a code)
    QLatin1String shownTop;    ///< top of the scale as the captions show it
    qint16 fullScale;          ///< full scale kept for overload checks and meters
    QLatin1String graphCaption;///< caption beside the preview graph
    QLatin1String meterCaption;///< caption beside the level meter
};

/// All 28 sensor types, row 1 first.
const QList<SensorType> &sensorTypes();

/// The row whose codes contain `code`, or nullptr (15, 48 and above, negative).
const SensorType *sensorTypeForCode(qint16 code);

/// The sensor code at the end of a sensor-range line: the last two
/// characters (the whole text when shorter) read as a leading number and
/// rounded halves-to-even ("SR1 04" -> 4, " 4" -> 4, ".5" -> 0, "SK1" -> 0,
/// "" -> 0). Two characters always give a value between -9 and 99, so the
/// 16-bit result cannot overflow; if it ever did, -1 is returned, a code
/// that selects no row.
qint16 sensorCode(const QString &text);

} // namespace sensors
