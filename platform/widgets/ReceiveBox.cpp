#include "ReceiveBox.h"

#include <QMouseEvent>
#include <QPaintEngine>
#include <QPainter>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>

namespace {

/// The box's scroll bar, drawn in bands of a few dozen rows. The raster
/// engine hands every gradient fill or line taller than about a hundred rows
/// to worker threads and waits for them; the scroll bar's groove is such a
/// fill and is redrawn with every line received, so drawn whole it woke two
/// threads dozens of times a second. Each band is clipped below that size
/// and is drawn on the calling thread; the pixels are the same.
class BandedScrollBar : public QScrollBar
{
public:
    using QScrollBar::QScrollBar;

protected:
    void paintEvent(QPaintEvent *event) override
    {
        QPaintEngine *engine = nullptr;
        QRegion whole;
        {
            QPainter probe(this);
            engine = probe.paintEngine();
            if (engine)
                whole = engine->systemClip();
        }
        constexpr int kBandRows = 48;
        const QRect bounds = whole.boundingRect();
        if (!engine || whole.isEmpty() || bounds.height() <= kBandRows) {
            QScrollBar::paintEvent(event);
            return;
        }
        for (int top = bounds.top(); top <= bounds.bottom(); top += kBandRows) {
            const QRegion band = whole & QRect(bounds.left(), top, bounds.width(), kBandRows);
            if (band.isEmpty())
                continue;
            engine->setSystemClip(band);
            QScrollBar::paintEvent(event);
        }
        engine->setSystemClip(whole);
    }
};

} // namespace

/// The box's document layout, keeping the shaped glyphs of every line. A
/// line is shaped when it is laid out; without this its glyphs would be
/// dropped right after and shaped again each time the line is drawn, which
/// is every redraw while lines stream in and the view scrolls. The text is
/// bounded, so the kept glyphs are too.
///
/// While the box appends at the end, the layout asks for no redraw of the
/// whole view, as a plain text layout otherwise does for every new line; the
/// box redraws only what the new text covers.
class ReceiveBox::GlyphKeepingLayout : public QPlainTextDocumentLayout
{
public:
    using QPlainTextDocumentLayout::QPlainTextDocumentLayout;

    /// Whether the next changes only add text at the end, drawn by the box.
    void setAppending(bool appending) { m_appending = appending; }

protected:
    void documentChanged(int from, int charsRemoved, int charsAdded) override
    {
        const QTextDocument *doc = document();
        QTextBlock block = doc->findBlock(from);
        const QTextBlock last = doc->findBlock(from + charsAdded);
        for (; block.isValid(); block = block.next()) {
            if (QTextLayout *layout = block.layout(); layout && !layout->cacheEnabled())
                layout->setCacheEnabled(true);
            if (block == last)
                break;
        }
        if (!m_appending || charsRemoved != 0) {
            QPlainTextDocumentLayout::documentChanged(from, charsRemoved, charsAdded);
            return;
        }
        {
            const QSignalBlocker quiet(this);
            QPlainTextDocumentLayout::documentChanged(from, charsRemoved, charsAdded);
        }
        // The scroll bar still follows the text's new length.
        emit documentSizeChanged(documentSize());
    }

private:
    bool m_appending = false;
};

namespace {

// The widget breaks lines itself: a CR LF pair (or a lone CR) is one break.
QString forDisplay(QString s)
{
    s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return s;
}

} // namespace

ReceiveBox::ReceiveBox(QWidget *parent)
    : QPlainTextEdit(parent)
{
    // The same set-up as the box's own document, with the layout above.
    auto *doc = new QTextDocument(this);
    m_layout = new GlyphKeepingLayout(doc);
    m_layout->setPaintDevice(viewport());
    doc->setDocumentLayout(m_layout);
    doc->setDefaultFont(font());
    setDocument(doc);
    setReadOnly(true);
    // The text changes by appending and dropping its head; an undo history
    // of that would grow for as long as the program runs.
    setUndoRedoEnabled(false);
    setVerticalScrollBar(new BandedScrollBar(Qt::Vertical, this));
    QFont mono(QStringLiteral("Monospace"));
    mono.setStyleHint(QFont::TypeWriter);
    setFont(mono);
}

void ReceiveBox::showText(const QString &text)
{
    if (text == m_shown)
        return;
    QScrollBar *bar = verticalScrollBar();
    const bool atEnd = bar->value() >= bar->maximum() - 2;
    QTextBlock appendedFrom;

    // Find how much of what is shown was dropped (the model drops whole
    // blocks of 4096 characters), so only the head and the tail change.
    qsizetype dropped = -1;
    const QStringView shown(m_shown);
    for (qsizetype k = 0; k < shown.size(); k += 4096) {
        if (QStringView(text).startsWith(shown.mid(k))) {
            dropped = k;
            break;
        }
    }
    const bool cutsLineEnd = dropped > 0 && shown.at(dropped - 1) == QLatin1Char('\r');
    if (m_shown.isEmpty() || dropped < 0 || cutsLineEnd || m_shown.endsWith(QLatin1Char('\r'))) {
        setPlainText(forDisplay(text));
    } else {
        // Each change is an edit of its own, so the layout redoes only the
        // blocks it touched; inside an edit block the cursor jumps straight
        // to a position instead of stepping through every character and
        // working out where each one stands on its line.
        if (dropped > 0) {
            QTextCursor head(document());
            head.beginEditBlock();
            head.setPosition(int(forDisplay(m_shown.left(dropped)).size()), QTextCursor::KeepAnchor);
            head.removeSelectedText();
            head.endEditBlock();
        }
        // Set straight to the end: moving there would first lay out the
        // block the cursor starts in, the first one, which is never shown.
        QTextCursor tail(document());
        tail.beginEditBlock();
        tail.setPosition(document()->characterCount() - 1);
        appendedFrom = tail.block();
        m_layout->setAppending(true);
        tail.insertText(forDisplay(text.mid(m_shown.size() - dropped)));
        tail.endEditBlock();
        m_layout->setAppending(false);
    }
    m_shown = text;
    if (atEnd) {
        if (bar->maximum() - bar->value() > bar->pageStep()) {
            // More lines arrived than the box shows, so every visible line
            // changes. Scrolling there would lay out each line passed over
            // on the way; with updates held the view takes its new top line
            // at once and is then drawn whole.
            viewport()->setUpdatesEnabled(false);
            bar->setValue(bar->maximum());
            viewport()->setUpdatesEnabled(true);
            appendedFrom = QTextBlock();
        } else {
            bar->setValue(bar->maximum());
        }
    }
    // New text is drawn from the line it continues down; a scroll has moved
    // the lines above it already drawn. (A view drawn whole needs nothing.)
    if (appendedFrom.isValid()) {
        const int top = int(blockBoundingGeometry(appendedFrom).translated(contentOffset()).top());
        if (top < viewport()->height())
            viewport()->update(QRect(0, qMax(0, top), viewport()->width(), viewport()->height()));
    }
}

void ReceiveBox::mouseDoubleClickEvent(QMouseEvent *event)
{
    event->accept();
    emit doubleClicked();
}
