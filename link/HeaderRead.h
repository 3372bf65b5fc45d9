#pragma once
// The file part of reading the instrument header: a copy of the working
// file is taken and its first 16 lines give the INP1, SR1, INP2, SR2 and
// "Pri" lines.

#include "InstrumentState.h"

#include <QString>

class HeldFile;

/// What a header read found beyond the header lines.
struct HeaderReadResult
{
    /// The last line beginning "Pri", for the printer header caption; a null
    /// text when no such line was read (the caption then stays as it is).
    QString label11;
    /// True when inp1Header does not begin with "INP1" after the read:
    /// the transmission error is to be reported.
    bool transmissionError = false;
};

/// Number of line reads of a header read.
constexpr int HeaderLineReads = 16;

/// Longest header line kept: the rest of a longer line is read past and
/// dropped, so a runaway line never reaches the labels or the scales. A
/// line of this length, even of the widest letters, fits the main window's
/// header labels without widening the window.
constexpr int HeaderLineLimit = 64;

/// What the instrument's first header line begins with; a header read after
/// a start that finds no line beginning so reports a transmission error.
inline QLatin1String inp1Marker() { return QLatin1String("INP1"); }

/// Where the unit stands in a header line: after "INP1 = ", at most
/// HeaderUnitLength characters.
constexpr int HeaderUnitStart = 7;
constexpr int HeaderUnitLength = 4;

/// Bare name of the header copy.
inline QString headerCopyName() { return QStringLiteral("vindo.qvy"); }

/// Copies the open working file `source` to `copyPath` (an old copy of
/// this user's there goes first), reads 16 lines of the copy and updates
/// inp1Header, sr1Header, inp2Header and sr2Header of `state`. When the
/// name is another user's, or the copy fails, the lines are read from
/// `source` itself, so a file someone else put there never decides what is
/// read. A line ends at a carriage return, with or without a line feed; a
/// read past the end repeats the previous line. A `source` that is not open
/// makes every read fail; the texts then stay as given.
HeaderReadResult readInstrumentHeader(const HeldFile &source, const QString &copyPath, InstrumentHeader &state);

/// The unit part of a header line: HeaderUnitLength characters from
/// HeaderUnitStart on (the text after "INP1 = ").
QString headerUnit(const QString &header);
