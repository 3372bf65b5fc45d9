#include "GraphWindow.h"

#include "LanguageText.h"
#include "Rules.h"
#include "ScaleLabel.h"
#include "StripChart.h"
#include "WindowTexts.h"
#include "ui_GraphWindow.h"

#include <QFrame>
#include <QLabel>
#include <QTimer>

#include <limits>

namespace {

/// The scale captions beside the chart: one tick value per line, top down.
const QSize kScaleLabelSize(37, 286);
const QString kLoadCaption = QStringLiteral("INP 1  +  INP 2  Preview Graph    ");

const LanguageText kCaption{
    QStringLiteral("INP 1  INP 2  Vorschau Grafik "),
    QStringLiteral("INP 1  INP 2  Preview Graph"),
    QStringLiteral("INP 1  INP 2  aprecu"),
};

/// The whole number a value caption plots: its leading number rounded
/// halves-to-even. A number beyond 32 bits is pinned to the nearest end of
/// the range, so both traces keep one point per tick.
qint32 plottedValue(const QString &caption)
{
    const double number = rules::leadingNumber(caption);
    return rules::toInt32(number).value_or(number < 0 ? std::numeric_limits<qint32>::min()
                                                      : std::numeric_limits<qint32>::max());
}

} // namespace

GraphWindow::GraphWindow(const LiveModel &live, const SensorRanges &ranges, const SensorScales &scales,
                         Language language, QWidget *parent)
    : QWidget(parent, Qt::Window), m_live(live), m_ranges(ranges), m_scales(scales), m_language(language),
      m_ui(std::make_unique<Ui::GraphWindow>())
{
    m_ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);

    // INP1 in blue, INP2 in red.
    const QColor inp1(Qt::blue);
    const QColor inp2(Qt::red);
    const std::pair<QLabel *, QColor> colours[] = {
        {m_ui->inp1ScaleCaption, inp1}, {m_ui->inp1ScaleUnit, inp1}, {m_ui->inp1ValueLead, inp1}, {m_ui->inp1Value, inp1}, {m_ui->inp1ValueUnit, inp1},
        {m_ui->inp2ScaleCaption, inp2}, {m_ui->inp2ScaleUnit, inp2}, {m_ui->inp2ValueLead, inp2}, {m_ui->inp2Value, inp2}, {m_ui->inp2ValueUnit, inp2}};
    for (const auto &[label, colour] : colours) {
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, colour);
        label->setPalette(palette);
    }

    // Tick values of the scales line up with the top and bottom of the plot.
    connect(m_ui->chart, &StripChart::plotAreaChanged, this, &GraphWindow::alignScales);
    alignScales(m_ui->chart->plotArea());

    m_tickTimer = new QTimer(this);
    m_tickTimer->setObjectName(QStringLiteral("tickTimer"));
    m_tickTimer->setInterval(1000);
    connect(m_tickTimer, &QTimer::timeout, this, &GraphWindow::tick);
}

GraphWindow::~GraphWindow() = default;

StripChart *GraphWindow::chart() const { return m_ui->chart; }
QLabel *GraphWindow::inp1ScaleCaption() const { return m_ui->inp1ScaleCaption; }
QLabel *GraphWindow::inp2ScaleCaption() const { return m_ui->inp2ScaleCaption; }
QLabel *GraphWindow::inp1ValueLead() const { return m_ui->inp1ValueLead; }
QLabel *GraphWindow::inp2ValueUnit() const { return m_ui->inp2ValueUnit; }
QLabel *GraphWindow::inp2ValueLead() const { return m_ui->inp2ValueLead; }
QLabel *GraphWindow::inp1ValueUnit() const { return m_ui->inp1ValueUnit; }
QLabel *GraphWindow::inp1ScaleUnit() const { return m_ui->inp1ScaleUnit; }
QLabel *GraphWindow::inp2ScaleUnit() const { return m_ui->inp2ScaleUnit; }
QLabel *GraphWindow::sampleTimeLine() const { return m_ui->sampleTimeLine; }
QLabel *GraphWindow::inp1Value() const { return m_ui->inp1Value; }
QLabel *GraphWindow::inp2Value() const { return m_ui->inp2Value; }
QFrame *GraphWindow::outerFrame() const { return m_ui->outerFrame; }
QFrame *GraphWindow::chartFrame() const { return m_ui->chartFrame; }

void GraphWindow::alignScales(const QRect &plotArea)
{
    // Before the chart is laid out it has no plot area; the captions keep
    // their own spacing until it has one.
    if (plotArea.isEmpty())
        return;
    // Both scales stand on the grid the chart draws.
    const QList<int> grid = m_ui->chart->gridRows();
    for (QLabel *label : {m_ui->inp1ScaleCaption, m_ui->inp2ScaleCaption}) {
        QList<int> rows;
        for (int row : grid)
            rows << label->mapFrom(this, m_ui->chart->mapTo(this, QPoint(0, row))).y();
        static_cast<ScaleLabel *>(label)->setTickRows(rows);
    }
}

void GraphWindow::prepare()
{
    m_ui->inp1ScaleCaption->setFixedSize(kScaleLabelSize);
    m_ui->inp2ScaleCaption->setFixedSize(kScaleLabelSize);
    setWindowTitle(kLoadCaption);

    showScales();

    applyWindowTexts({{this, &QWidget::setWindowTitle, kCaption}}, m_language);
    m_tickTimer->start();
}

void GraphWindow::showScales()
{
    // A caption the selection did not choose keeps the layout's text.
    if (!m_scales.graphCaption1.isNull())
        m_ui->inp1ScaleCaption->setText(m_scales.graphCaption1);
    if (!m_scales.graphCaption2.isNull())
        m_ui->inp2ScaleCaption->setText(m_scales.graphCaption2);
    m_ui->chart->setRange(1, m_ranges.rangeBase1, m_ranges.rangeLimit1);
    m_ui->chart->setRange(2, m_ranges.rangeBase2, m_ranges.rangeLimit2);
}

void GraphWindow::showUnits(const QString &inp1Unit, const QString &inp2Unit)
{
    m_ui->inp1ScaleUnit->setText(inp1Unit);
    m_ui->inp1ValueUnit->setText(inp1Unit);
    m_ui->inp2ScaleUnit->setText(inp2Unit);
    m_ui->inp2ValueUnit->setText(inp2Unit);
}

void GraphWindow::tick()
{
    m_ui->inp1Value->setText(m_live.inp1Actual);
    m_ui->inp2Value->setText(m_live.inp2Actual);
    m_ui->sampleTimeLine->setText(QStringLiteral(" Data logging time.. ") + m_live.sampleTime
                      + QStringLiteral(" Sec."));

    // Plot the values the labels show.
    m_ui->chart->append(1, plottedValue(m_live.inp1Actual));
    m_ui->chart->append(2, plottedValue(m_live.inp2Actual));
    // A hidden window only gathers the traces; they are drawn when it is
    // shown, so a measurement with the graph closed costs no chart work.
    if (isVisible())
        m_ui->chart->updateChart();
    else
        m_chartBehind = true;
}

void GraphWindow::showEvent(QShowEvent *event)
{
    if (m_chartBehind) {
        m_chartBehind = false;
        m_ui->chart->updateChart();
    }
    QWidget::showEvent(event);
}
