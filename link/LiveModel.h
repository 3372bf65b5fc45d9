#pragma once
// What the main window shows of the running measurement, kept apart from
// the widgets: the acquisition changes it per received block and the
// window draws it at a paced rate, so a fast stream costs little.

#include <QString>
#include <QStringList>
#include <QtGlobal>

/// The receive box: its exact text (a carriage return and a line feed are
/// two characters) and its selection, on which appending and backspace
/// handling work.
struct ReceivedText
{
    QString text;
    int selStart = 0;
    int selLength = 0;

    /// Replaces the selected text by `s` and puts the caret behind it.
    void replaceSelection(const QString &s)
    {
        const int start = qBound(0, selStart, int(text.size()));
        const int length = qBound(0, selLength, int(text.size()) - start);
        text.replace(start, length, s);
        selStart = start + int(s.size());
        selLength = 0;
    }
    /// Appends at the end, as setting the selection to the end and replacing it.
    void append(const QString &s)
    {
        selStart = int(text.size());
        selLength = 0;
        replaceSelection(s);
    }
    void clear() { text.clear(); selStart = 0; selLength = 0; }
};

/// Displays of the main window driven by received data.
struct LiveModel
{
    ReceivedText received;                         ///< the receive box (receivedText)
    QString lastLine;                           ///< last complete line
    QStringList lastLineWords;                  ///< its non-empty words
    QString sampleTime;                         ///< time of the last sample (sampleTimeValue)
    QString inp1Actual, inp1Max, inp1Min;       ///< inp1ActualValue, inp1MaxValue, inp1MinValue
    QString inp2Actual, inp2Max, inp2Min;       ///< inp2ActualValue, inp2MaxValue, inp2MinValue
    qint16 inp1Level = 0, inp2Level = 0;        ///< level meters inp1Meter, inp2Meter
    qint16 inp1FullScale = 100, inp2FullScale = 100;
    bool inp1Overload = false;                  ///< inp1OverloadLabel shown
    bool inp2Overload = false;                  ///< inp2OverloadLabel shown
    bool graphPictureShown = false;             ///< graphPicture: data present, opens the graph
    bool idlePictureShown = false;              ///< idleGraphPicture: its stand-in while no data are present

    /// Counts changes, so a view redraws only when something changed.
    quint64 revision = 0;
    void touch() { ++revision; }

    /// Empties the figures and sets both meters to 0 (Start/Stop).
    void clearFigures()
    {
        sampleTime.clear();
        inp1Actual.clear(); inp1Max.clear(); inp1Min.clear();
        inp2Actual.clear(); inp2Max.clear(); inp2Min.clear();
        inp1Level = 0; inp2Level = 0;
        touch();
    }
};
