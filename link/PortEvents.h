#pragma once
// What the measurement does with each event code of the serial port: hand
// received text on, drop a line-state event, or report an error.

#include <QString>
#include <QtGlobal>

/// The class of one event code and its text.
struct PortEventClass
{
    enum Kind {
        None,     ///< ignored
        Receive,  ///< characters are waiting: read and process them
        Event,    ///< line-state or status event, consumed silently
        Error     ///< communication error: beep and OK/Cancel box
    } kind = None;
    QString text;  ///< text of an event or error; empty otherwise
};

/// Classifies an event code of the port; codes outside the table are
/// errors with the text "Unknown error or event".
PortEventClass classifyPortEvent(qint16 code);

/// Title of the communication error box.
inline QString portErrorTitle() { return QStringLiteral("Click Cancel to quit, OK to ignore."); }
