#pragma once
// Number rules of the recorder, shared by every layer:
// the leading number of a text and rounding halves to the even neighbour.

#include <QString>
#include <optional>

namespace rules {

/// The leading number of a text: blanks skipped, an optional sign, digits
/// and one point as the decimal separator; reading stops at the first other
/// character; a text without a leading number gives 0 ("12,5" -> 12,
/// "*Ovl*" -> 0).
double leadingNumber(const QString &text);

/// Rounds to the nearest whole number, halves to the even neighbour
/// (12.5 -> 12, 13.5 -> 14, -2.5 -> -2).
double roundHalfEven(double value);

/// roundHalfEven() as a 16-bit integer; empty when the result does not fit.
std::optional<qint16> toInt16(double value);

/// roundHalfEven() as a 32-bit integer; empty when the result does not fit.
std::optional<qint32> toInt32(double value);

} // namespace rules
