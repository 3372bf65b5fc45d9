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
struct TermModel
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
    TermModel Term;                 ///< receive box
    QString txtPopStr;              ///< last complete line (hidden)
    QStringList lstPopStrings;      ///< its non-empty words (hidden)
    QString Secunden;               ///< sample time
    QString Text8, Text9, Text10;   ///< ACT, MAX, MIN of INP1
    QString Text11, Text12, Text13; ///< ACT, MAX, MIN of INP2
    qint16 Bar1Level = 0, Bar2Level = 0;        ///< level meters
    qint16 Bar1FullScale = 100, Bar2FullScale = 100;
    bool Label7Visible = false;     ///< overload of INP1
    bool Label8Visible = false;     ///< overload of INP2
    bool Image1Visible = false;     ///< "data present" picture (opens the graph)
    bool Image2Visible = false;     ///< its stand-in while no data are present

    /// Counts changes, so a view redraws only when something changed.
    quint64 revision = 0;
    void touch() { ++revision; }

    /// Empties the figures and sets both meters to 0 (Start/Stop).
    void clearFigures()
    {
        Secunden.clear();
        Text8.clear(); Text9.clear(); Text10.clear();
        Text11.clear(); Text12.clear(); Text13.clear();
        Bar1Level = 0; Bar2Level = 0;
        touch();
    }
};
