#include "PortEvents.h"

PortEventClass classifyPortEvent(qint16 code)
{
    const auto event = [](const char *text) { return PortEventClass{PortEventClass::Event, QString::fromLatin1(text)}; };
    const auto error = [](const char *text) { return PortEventClass{PortEventClass::Error, QString::fromLatin1(text)}; };
    switch (code) {
    case 1:
    case 1005:
    case 1007:
    case 1008:
        return PortEventClass{PortEventClass::None, QString()};
    case 2:
        return PortEventClass{PortEventClass::Receive, QString()};
    case 3: return event("Change in CTS Detected");
    case 4: return event("Change in DSR Detected");
    case 5: return event("Change in CD Detected");
    case 6: return event("The Phone is Ringing");
    case 7: return event("End of File Detected");
    case 1001: return event("Break Received");
    case 1002: return error("CTS Timeout");
    case 1003: return error("DSR Timeout");
    case 1004: return event("Framing Error");
    case 1006: return error("Overrun Error");
    case 1009: return event("Parity Error");
    default: return error("Unknown error or event");
    }
}
