#pragma once
// Applies the sensor type table to the two sensor-range texts: full scale,
// scale base and scale captions of each input.

#include "InstrumentState.h"

#include <QString>
#include <functional>

/// Where the sensor selection writes; an unset target is skipped.
struct SensorTargets
{
    std::function<void(const QString &)> setGraphCaption1, setGraphCaption2; ///< beside the preview graph
    std::function<void(const QString &)> setMeterCaption1, setMeterCaption2; ///< beside the level meters
    std::function<void(qint16)> setFullScale1, setFullScale2;                 ///< of the level meters
};

/// Sensor selection on the two SR texts of the header (SR1 and SR2).
///
/// Both sensor codes are computed before anything is written. For each
/// input, row 1 is tried, then an empty text empties the meter caption,
/// then rows 2 to 28 are tried one by one; a matching row writes the graph
/// caption, the meter caption, the full scale and a base of 0, in that
/// order. An input whose code has no row keeps everything it had. Finally
/// both meters get the (possibly unchanged) full scales.
void sensorSelection(const QString &text0, const QString &text1, SensorRanges &state,
                     const SensorTargets &targets);
