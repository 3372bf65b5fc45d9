#include "Graph.h"

#include "Rules.h"
#include "ScaleLabel.h"
#include "StripChart.h"

#include <QFrame>
#include <QLabel>
#include <QTimer>

#include <limits>

namespace {

// The window's geometry is given in twips; 15 twips are one pixel at 96 dpi.
constexpr int px(int twips) { return twips / 15; }
QRect twipsRect(int x, int y, int w, int h) { return QRect(px(x), px(y), px(w), px(h)); }

const QSize kScaleLabelSize(px(555), px(4290));
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

Graph::Graph(const LiveModel &live, SharedState &state, std::function<void()> sensorwahl,
             QWidget *parent)
    : QWidget(parent, Qt::Window), m_live(live), m_state(state), m_sensorwahl(std::move(sensorwahl))
{
    setObjectName(QStringLiteral("Graph"));
    setAttribute(Qt::WA_DeleteOnClose);
    QFont font = this->font();
    font.setPointSize(8);
    setFont(font);

    const QColor inp1(Qt::blue);
    const QColor inp2(Qt::red);

    // Frame1 holds the chart in Frame2, the two scales with their units to
    // its right and the logging-time line below; the value line runs along
    // the bottom of the window.
    m_frame1 = new QFrame(this);
    m_frame1->setObjectName(QStringLiteral("Frame1"));
    m_frame1->setFrameShape(QFrame::Box);
    m_frame1->setGeometry(twipsRect(120, 120, 6540, 4785));

    m_frame2 = new QFrame(m_frame1);
    m_frame2->setObjectName(QStringLiteral("Frame2"));
    m_frame2->setFrameShape(QFrame::Box);
    m_frame2->setGeometry(twipsRect(90, 90, 5055, 4290));

    m_chart = new StripChart(m_frame2);
    m_chart->setObjectName(QStringLiteral("Chartl321"));
    m_chart->setGeometry(twipsRect(90, 135, 4875, 4020));

    m_label1 = addLabel(new ScaleLabel(m_frame1), "Label1", QStringLiteral("10000"),
                        {5205, 225, 555, 4290}, inp1);
    m_label2 = addLabel(new ScaleLabel(m_frame1), "Label2",
                        QStringLiteral("10000") + QString(14, QLatin1Char(' ')),
                        {5760, 225, 555, 4290}, inp2);
    m_label7 = addLabel(new QLabel(m_frame1), "Label7", QStringLiteral("1"),
                        {5205, 4515, 465, 240}, inp1);
    m_label8 = addLabel(new QLabel(m_frame1), "Label8", QStringLiteral("2"),
                        {5760, 4515, 555, 195}, inp2);
    m_label9 = addLabel(new QLabel(m_frame1), "Label9", QStringLiteral("*"),
                        {90, 4380, 4380, 195}, QColor());

    m_label3 = addLabel(new QLabel(this), "Label3", QStringLiteral("INP 1  ACT = "),
                        {120, 4965, 1275, 240}, inp1);
    m_label10 = addLabel(new QLabel(this), "Label10", QStringLiteral("999,9"),
                         {1395, 4965, 555, 240}, inp1);
    m_label6 = addLabel(new QLabel(this), "Label6", QString(), {1950, 4965, 870, 240}, inp1);
    m_label5 = addLabel(new QLabel(this), "Label5", QStringLiteral("INP 2  ACT ="),
                        {2820, 4965, 1230, 240}, inp2);
    m_label11 = addLabel(new QLabel(this), "Label11", QStringLiteral("999,9"),
                         {4050, 4965, 555, 285}, inp2);
    m_label4 = addLabel(new QLabel(this), "Label4", QString(), {4605, 4965, 1005, 240}, inp2);

    // Tick values of the scales line up with the top and bottom of the plot.
    connect(m_chart, &StripChart::plotAreaChanged, this, &Graph::alignScales);
    alignScales(m_chart->plotArea());

    m_timer1 = new QTimer(this);
    m_timer1->setObjectName(QStringLiteral("Timer1"));
    m_timer1->setInterval(1000);
    connect(m_timer1, &QTimer::timeout, this, &Graph::Timer1_Timer);

    // Fixed layout: the window cannot be resized, so a resize has nothing to do.
    setFixedSize(px(6780), px(5370));
}

QLabel *Graph::addLabel(QLabel *label, const char *name, const QString &caption,
                        QRect twips, const QColor &colour)
{
    // Units and values come from the instrument: shown as they are, never as markup.
    label->setTextFormat(Qt::PlainText);
    label->setText(caption);
    label->setObjectName(QLatin1String(name));
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setGeometry(twipsRect(twips.x(), twips.y(), twips.width(), twips.height()));
    label->setFixedSize(label->size());
    if (colour.isValid()) {
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, colour);
        label->setPalette(palette);
    }
    return label;
}

void Graph::alignScales(const QRect &plotArea)
{
    // Before the chart is laid out it has no plot area; the captions keep
    // their own spacing until it has one.
    if (plotArea.isEmpty())
        return;
    for (QLabel *label : {m_label1, m_label2}) {
        const int top = label->mapFrom(this, m_chart->mapTo(this, plotArea.topLeft())).y();
        const int bottom = label->mapFrom(this, m_chart->mapTo(this, plotArea.bottomLeft())).y();
        static_cast<ScaleLabel *>(label)->setTickSpan(top, bottom);
    }
}

void Graph::Form_Load()
{
    m_label1->setFixedSize(kScaleLabelSize);
    m_label2->setFixedSize(kScaleLabelSize);
    setWindowTitle(kLoadCaption);

    // The selection writes Label1/Label2 of this window and the ranges used
    // just below.
    if (m_sensorwahl)
        m_sensorwahl();

    m_chart->setTop1(m_state.rangeLimit1);
    m_chart->setBottom1(m_state.rangeBase1);
    m_chart->setTop2(m_state.rangeLimit2);
    m_chart->setBottom2(m_state.rangeBase2);

    setWindowTitle(kCaption.pick(m_state.currentLanguage, windowTitle()));
    m_timer1->start();
}

void Graph::Timer1_Timer()
{
    m_label10->setText(m_live.Text8);
    m_label11->setText(m_live.Text11);
    m_label9->setText(QStringLiteral(" Data logging time.. ") + m_live.Secunden
                      + QStringLiteral(" Sec."));

    // Plot what the labels show, read back from them.
    m_chart->append(1, plottedValue(m_label10->text()));
    m_chart->append(2, plottedValue(m_label11->text()));
    m_chart->updateChart();
}
