#pragma once
// The live preview graph: once a second it shows the actual values of both
// inputs and the logging time, and appends the two values to a strip chart
// scaled by the sensor selection.

#include "LiveModel.h"
#include "SharedState.h"

#include <QWidget>
#include <functional>

class QFrame;
class QLabel;
class QTimer;
class StripChart;

/// The preview graph window. It is created by the main window, which keeps
/// a guarded pointer to it and then calls Form_Load(); closing it deletes
/// it, and with it the traces.
class Graph : public QWidget
{
    Q_OBJECT

public:
    /// `live` supplies Text8, Text11 and Secunden; `state` the ranges and the
    /// language; `sensorwahl` runs the sensor selection of the main window.
    Graph(const LiveModel &live, SharedState &state, std::function<void()> sensorwahl,
          QWidget *parent = nullptr);

    /// Load: scale label sizes, captions, sensor selection, chart ranges,
    /// then the once-a-second timer.
    void Form_Load();

    StripChart *Chartl321() const { return m_chart; }
    QLabel *Label1() const { return m_label1; }   ///< INP1 scale caption
    QLabel *Label2() const { return m_label2; }   ///< INP2 scale caption
    QLabel *Label3() const { return m_label3; }   ///< text before the INP1 value
    QLabel *Label4() const { return m_label4; }   ///< INP2 unit after its value
    QLabel *Label5() const { return m_label5; }   ///< text before the INP2 value
    QLabel *Label6() const { return m_label6; }   ///< INP1 unit after its value
    QLabel *Label7() const { return m_label7; }   ///< INP1 unit under its scale
    QLabel *Label8() const { return m_label8; }   ///< INP2 unit under its scale
    QLabel *Label9() const { return m_label9; }   ///< logging-time line
    QLabel *Label10() const { return m_label10; } ///< INP1 actual value
    QLabel *Label11() const { return m_label11; } ///< INP2 actual value
    QFrame *Frame1() const { return m_frame1; }
    QFrame *Frame2() const { return m_frame2; }   ///< border of the chart
    QTimer *Timer1() const { return m_timer1; }

public slots:
    /// One tick: copy the actual values and the logging time, plot both
    /// values, redraw the chart.
    void Timer1_Timer();

private:
    void alignScales(const QRect &plotArea);
    QLabel *addLabel(QLabel *label, const char *name, const QString &caption,
                     QRect twips, const QColor &colour);

    const LiveModel &m_live;
    SharedState &m_state;
    std::function<void()> m_sensorwahl;

    QFrame *m_frame1 = nullptr;
    QFrame *m_frame2 = nullptr;
    StripChart *m_chart = nullptr;
    QLabel *m_label1 = nullptr, *m_label2 = nullptr, *m_label3 = nullptr;
    QLabel *m_label4 = nullptr, *m_label5 = nullptr, *m_label6 = nullptr;
    QLabel *m_label7 = nullptr, *m_label8 = nullptr, *m_label9 = nullptr;
    QLabel *m_label10 = nullptr, *m_label11 = nullptr;
    QTimer *m_timer1 = nullptr;
};
