#pragma once
// How the recorder opens its serial port: the port number (resolved to a
// device through a COM<N> link or the system's own name) and the line
// settings, in Qt Serial Port's own types.

#include <QList>
#include <QSerialPort>
#include <QString>

#include <optional>

struct PortSettings
{
    qint16 number = 1;                 ///< port 1..; below 1 is "no port"
    qint32 baudRate = 2400;            ///< one of acceptedBaudRates()
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;

    bool operator==(const PortSettings &) const = default;

    /// The rates the settings file may name; any other is refused.
    static const QList<qint32> &acceptedBaudRates()
    {
        static const QList<qint32> rates = {110, 300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 28800,
                                            38400, 56000, 57600, 115200, 128000, 230400, 256000, 460800, 921600};
        return rates;
    }

    /// The rate at the start of `text` up to its first comma ("9600" or
    /// "9600,n,8,1"), when it is one of acceptedBaudRates().
    static std::optional<qint32> baudRateFromText(const QString &text)
    {
        bool ok = false;
        const qint32 rate = text.section(QLatin1Char(','), 0, 0).trimmed().toInt(&ok);
        if (!ok || !acceptedBaudRates().contains(rate))
            return std::nullopt;
        return rate;
    }
};
