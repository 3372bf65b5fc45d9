#pragma once
// What the main window does with each communication event code of the
// serial port: hand received text on, drop a line-state event, or report
// an error.

#include <QString>
#include <QtGlobal>

/// The class of one event code and its text.
struct CommClass
{
    enum Kind {
        None,     ///< ignored
        Receive,  ///< characters are waiting: read and process them
        Event,    ///< line-state or status event, consumed silently
        Error     ///< communication error: beep and OK/Cancel box
    } kind = None;
    QString text;  ///< text of an event or error; empty otherwise
};

/// Classifies a CommEvent code; codes outside the table are errors with
/// the text "Unknown error or event".
CommClass classifyCommEvent(qint16 code);

/// Title of the communication error box.
inline QString commErrorTitle() { return QStringLiteral("Click Cancel to quit, OK to ignore."); }
