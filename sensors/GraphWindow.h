#pragma once
// The live preview graph: once a second it shows the actual values of both
// inputs and the logging time, and appends the two values to a strip chart
// scaled by the sensor selection.

#include "LiveModel.h"
#include "InstrumentState.h"
#include "LanguageText.h"

#include <QWidget>
#include <memory>

class QFrame;
class QLabel;
class QTimer;
class StripChart;
namespace Ui { class GraphWindow; }

/// The preview graph window. It is created by the main window, which keeps
/// a guarded pointer to it and then calls prepare(); closing it deletes
/// it, and with it the traces.
class GraphWindow : public QWidget
{
    Q_OBJECT

public:
    /// `live` supplies both actual values and the sample time; `ranges` the scales of
    /// the chart and `scales` its captions, both chosen by the sensor
    /// selection of the measurement; `language` the caption.
    GraphWindow(const LiveModel &live, const SensorRanges &ranges, const SensorScales &scales,
                Language language, QWidget *parent = nullptr);
    ~GraphWindow() override;

    /// Readies the window: scale label sizes, captions, the selected scales, then the
    /// once-a-second timer.
    void prepare();

    /// Shows the scale captions and chart ranges the sensor selection chose.
    void showScales();

    /// Shows each input's unit under its scale and after its value.
    void showUnits(const QString &inp1Unit, const QString &inp2Unit);

    StripChart *chart() const;
    QLabel *inp1ScaleCaption() const;   ///< INP1 scale caption
    QLabel *inp2ScaleCaption() const;   ///< INP2 scale caption
    QLabel *inp1ValueLead() const;   ///< text before the INP1 value
    QLabel *inp2ValueUnit() const;   ///< INP2 unit after its value
    QLabel *inp2ValueLead() const;   ///< text before the INP2 value
    QLabel *inp1ValueUnit() const;   ///< INP1 unit after its value
    QLabel *inp1ScaleUnit() const;   ///< INP1 unit under its scale
    QLabel *inp2ScaleUnit() const;   ///< INP2 unit under its scale
    QLabel *sampleTimeLine() const;   ///< logging-time line
    QLabel *inp1Value() const;  ///< INP1 actual value
    QLabel *inp2Value() const;  ///< INP2 actual value
    QFrame *outerFrame() const;
    QFrame *chartFrame() const;   ///< border of the chart
    QTimer *tickTimer() const { return m_tickTimer; }

public slots:
    /// One tick: copy the actual values and the logging time, plot both
    /// values, redraw the chart.
    void tick();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void alignScales(const QRect &plotArea);

    const LiveModel &m_live;
    const SensorRanges &m_ranges;
    const SensorScales &m_scales;
    Language m_language;

    std::unique_ptr<Ui::GraphWindow> m_ui;
    QTimer *m_tickTimer = nullptr;
    bool m_chartBehind = false;   // traces gathered while hidden, not drawn yet
};
