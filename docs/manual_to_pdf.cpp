// Turns the user manual, one Markdown file per language, into one PDF with
// Qt's own text layout, so the manual needs nothing beyond the libraries the
// program is built with.
//
//   manual_to_pdf OUTPUT.pdf manual.de.md manual.en.md manual.fr.md
//
// The PDF has a cover page that lists the languages, then one part per file:
// the part's title and its table of contents with page numbers, then its
// chapters. Pages are A4 with 20 mm margins; the footer, inside the margins,
// carries the part's name and the page number. Pictures wider than the text
// are scaled down to the text width.
//
// Markdown conventions: the first level-1 heading is the part's title;
// level-2 headings are chapters and level-3 headings sections, both listed
// in the contents. Picture paths are relative to the Markdown file.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QList>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextLayout>
#include <QTextList>
#include <QTextTable>
#include <QAbstractTextDocumentLayout>

#include <cstdio>
#include <memory>

namespace {

// ---------------------------------------------------------------- geometry

constexpr int Dpi = 1200;               // the PDF writer's resolution
constexpr qreal MarginMm = 20.0;        // every edge; nothing is printed outside
constexpr qreal FooterMm = 10.0;        // footer band at the bottom, inside the margin
constexpr qreal BodyPt = 10.5;          // body text
constexpr qreal CodePt = 9.0;           // examples, file names in blocks
constexpr qreal FooterPt = 9.0;

const QString SansFamily = QStringLiteral("DejaVu Sans");
const QString MonoFamily = QStringLiteral("DejaVu Sans Mono");

/// Millimetres to the writer's device units.
qreal mm(qreal v) { return v * Dpi / 25.4; }

/// Points to the units of text formats (margins, padding, widths), which the
/// layout scales from 96 dpi to the device.
qreal fmt(qreal pt) { return pt * 96.0 / 72.0; }

const QSizeF PageSizeMm(210.0, 297.0);

/// The text area of a page, in device units.
QRectF bodyRect()
{
    return QRectF(mm(MarginMm), mm(MarginMm), mm(PageSizeMm.width() - 2 * MarginMm),
                  mm(PageSizeMm.height() - 2 * MarginMm - FooterMm));
}

// ---------------------------------------------------------------- languages

/// Words the tool itself puts on the pages of a part.
struct PartWords
{
    QString language;     ///< on the cover page
    QString contents;     ///< heading of the table of contents
    QString footer;       ///< left in the footer
};

PartWords wordsFor(const QString &fileName)
{
    if (fileName.contains(QLatin1String(".de.")))
        return {QStringLiteral("Deutsch"), QStringLiteral("Inhalt"), QStringLiteral("Quendrel/2 Datenrecorder – Bedienungsanleitung")};
    if (fileName.contains(QLatin1String(".fr.")))
        return {QStringLiteral("Français"), QStringLiteral("Sommaire"), QStringLiteral("Quendrel/2 Data Recorder – Manuel d'utilisation")};
    return {QStringLiteral("English"), QStringLiteral("Contents"), QStringLiteral("Quendrel/2 Data Recorder – User manual")};
}

// ---------------------------------------------------------------- formats

QFont sans(qreal pt, bool bold = false)
{
    QFont f(SansFamily);
    f.setPointSizeF(pt);
    f.setBold(bold);
    return f;
}

/// A document laid out for the PDF writer's pages.
std::unique_ptr<QTextDocument> newDocument(QPaintDevice *device)
{
    auto doc = std::make_unique<QTextDocument>();
    doc->documentLayout()->setPaintDevice(device);
    doc->setDefaultFont(sans(BodyPt));
    doc->setDocumentMargin(0);
    doc->setPageSize(bodyRect().size());
    return doc;
}

/// Heading sizes and spacing for levels 1 to 4, in points.
struct HeadingStyle { qreal size; qreal above; qreal below; };
HeadingStyle headingStyle(int level)
{
    switch (level) {
    case 1: return {20.0, 0.0, 14.0};
    case 2: return {15.0, 16.0, 7.0};
    case 3: return {12.0, 11.0, 4.0};
    default: return {BodyPt, 8.0, 3.0};
    }
}

/// Gives every block of a Markdown document the manual's look: fonts, sizes
/// and spacing of headings, paragraphs, lists, examples and tables.
void styleDocument(QTextDocument &doc)
{
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        QTextCursor cursor(block);
        QTextBlockFormat bf = block.blockFormat();
        const int level = bf.headingLevel();
        const bool code = bf.hasProperty(QTextFormat::BlockCodeFence) || bf.nonBreakableLines();
        if (level > 0) {
            const HeadingStyle hs = headingStyle(level);
            bf.setTopMargin(fmt(hs.above));
            bf.setBottomMargin(fmt(hs.below));
            cursor.setBlockFormat(bf);
            // The Markdown reader sizes headings relative to the body; the
            // manual gives them fixed sizes.
            auto sized = [&hs](QTextCharFormat cf) {
                cf.clearProperty(QTextFormat::FontSizeAdjustment);
                cf.setFontPointSize(hs.size);
                cf.setFontWeight(QFont::Bold);
                return cf;
            };
            cursor.setBlockCharFormat(sized(block.charFormat()));
            for (auto it = block.begin(); !it.atEnd(); ++it) {
                const QTextFragment fragment = it.fragment();
                QTextCursor c(&doc);
                c.setPosition(fragment.position());
                c.setPosition(fragment.position() + fragment.length(), QTextCursor::KeepAnchor);
                c.setCharFormat(sized(fragment.charFormat()));
            }
        } else if (cursor.currentTable()) {
            // Table rows stay compact; the cell padding gives the air.
            bf.setTopMargin(0);
            bf.setBottomMargin(0);
            cursor.setBlockFormat(bf);
        } else if (code) {
            bf.setTopMargin(fmt(2.0));
            bf.setBottomMargin(fmt(6.0));
            bf.setLeftMargin(fmt(10.0));
            bf.setBackground(QColor(0xf0, 0xf0, 0xf0));
            cursor.setBlockFormat(bf);
        } else if (block.textList()) {
            // Items close together, the list as a whole apart from the text.
            const bool lastItem = !block.next().isValid() || block.next().textList() != block.textList();
            bf.setTopMargin(0);
            bf.setBottomMargin(fmt(lastItem ? 6.0 : 2.0));
            cursor.setBlockFormat(bf);
        } else {
            bf.setTopMargin(0);
            bf.setBottomMargin(fmt(6.0));
            cursor.setBlockFormat(bf);
        }
        // Fixed-pitch text (examples, names of files and keys) in the
        // manual's own fixed font, a little smaller than the body.
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.charFormat().fontFixedPitch() && !code)
                continue;
            QTextCursor c(&doc);
            c.setPosition(fragment.position());
            c.setPosition(fragment.position() + fragment.length(), QTextCursor::KeepAnchor);
            QTextCharFormat cf;
            cf.setFontFamilies({MonoFamily});
            cf.setFontPointSize(code ? CodePt : BodyPt - 0.5);
            cf.setFontFixedPitch(true);
            c.mergeCharFormat(cf);
        }
    }
    // Tables: thin rules, some air in the cells, the whole text width.
    for (QTextFrame *frame : doc.rootFrame()->childFrames()) {
        auto *table = qobject_cast<QTextTable *>(frame);
        if (!table)
            continue;
        QTextTableFormat tf = table->format();
        tf.setBorder(fmt(0.5));
        tf.setBorderBrush(QColor(0x80, 0x80, 0x80));
        tf.setBorderStyle(QTextFrameFormat::BorderStyle_Solid);
        tf.setBorderCollapse(false);
        tf.setCellPadding(fmt(3.0));
        tf.setCellSpacing(0);
        tf.setWidth(QTextLength(QTextLength::PercentageLength, 100));
        tf.setTopMargin(fmt(3.0));
        tf.setBottomMargin(fmt(6.0));
        table->setFormat(tf);
    }
}

/// Loads every picture the document names from beside the Markdown file and
/// scales those wider than the text down to the text width. Returns false
/// (after saying which) when a picture is missing.
bool placePictures(QTextDocument &doc, const QDir &folder)
{
    // Format widths count in 96-dpi pixels; the layout scales them up.
    const qreal textWidth = bodyRect().width() * 96.0 / Dpi;
    bool ok = true;
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.charFormat().isImageFormat())
                continue;
            QTextImageFormat image = fragment.charFormat().toImageFormat();
            const QString path = folder.filePath(image.name());
            const QImage picture(path);
            if (picture.isNull()) {
                std::fprintf(stderr, "manual_to_pdf: cannot read the picture %s\n", qPrintable(path));
                ok = false;
                continue;
            }
            doc.addResource(QTextDocument::ImageResource, QUrl(image.name()), picture);
            const qreal width = qMin<qreal>(picture.width(), textWidth);
            image.setWidth(width);
            image.setHeight(picture.height() * width / picture.width());
            QTextCursor c(&doc);
            c.setPosition(fragment.position());
            c.setPosition(fragment.position() + fragment.length(), QTextCursor::KeepAnchor);
            c.setCharFormat(image);
        }
    }
    return ok;
}

// ---------------------------------------------------------------- pagination

qreal pageHeight(const QTextDocument &doc) { return doc.pageSize().height(); }

int pageOf(const QTextDocument &doc, qreal y) { return int(y / pageHeight(doc)); }

/// Moves headings that would stand alone at the foot of a page to the next
/// page, together with what follows them.
void keepHeadingsWithText(QTextDocument &doc)
{
    for (int pass = 0; pass < 50; ++pass) {
        bool moved = false;
        for (QTextBlock block = doc.begin(); block.isValid() && !moved; block = block.next()) {
            if (block.blockFormat().headingLevel() < 2 || !block.next().isValid())
                continue;
            if (block.blockFormat().pageBreakPolicy() & QTextFormat::PageBreak_AlwaysBefore)
                continue;
            // The heading and up to three lines of what follows, by where
            // their lines stand: a block's own top stays on the page before
            // when its first line was moved on.
            const QTextLayout *heading = block.layout();
            const QTextLayout *next = block.next().layout();
            // (Lines in a table count from the table; headings are followed by
            // text in this manual.)
            if (!heading || !next || heading->lineCount() == 0 || next->lineCount() == 0
                || QTextCursor(block.next()).currentTable())
                continue;
            const qreal headingTop = heading->position().y() + heading->lineAt(0).y();
            const QTextLine last = next->lineAt(qMin(2, next->lineCount() - 1));
            const qreal nextBottom = next->position().y() + last.y() + last.height();
            if (pageOf(doc, headingTop + 1) != pageOf(doc, nextBottom - 1)) {
                QTextBlockFormat bf = block.blockFormat();
                bf.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
                QTextCursor(block).setBlockFormat(bf);
                moved = true;
            }
        }
        if (!moved)
            return;
    }
}

/// Splits every paragraph that runs over a page end into two blocks, one per
/// page, without moving a line. The layout draws a block whole, and a line
/// of the page before would then be written (clipped, so unseen, but in the
/// text that search and copy find) above the top of the next page.
void splitBlocksAtPageEnds(QTextDocument &doc)
{
    for (int pass = 0; pass < 1000; ++pass) {
        bool split = false;
        for (QTextBlock block = doc.begin(); block.isValid() && !split; block = block.next()) {
            QTextLayout *layout = block.layout();
            if (!layout || layout->lineCount() < 2 || QTextCursor(block).currentTable())
                continue;
            const qreal top = layout->position().y();
            const int firstPage = pageOf(doc, top + layout->lineAt(0).y() + 1);
            for (int i = 1; i < layout->lineCount(); ++i) {
                const QTextLine line = layout->lineAt(i);
                if (pageOf(doc, top + line.y() + 1) == firstPage)
                    continue;
                QTextBlockFormat head = block.blockFormat();
                head.setBottomMargin(0);
                QTextCursor cursor(block);
                cursor.setBlockFormat(head);
                cursor.setPosition(block.position() + line.textStart());
                QTextBlockFormat tail = head;
                tail.setTopMargin(0);
                tail.setBottomMargin(block.blockFormat().bottomMargin());
                cursor.insertBlock(tail);
                // The rest of a list item goes on under its text, without a
                // bullet of its own.
                if (QTextList *list = cursor.block().textList()) {
                    list->remove(cursor.block());
                    QTextBlockFormat f = cursor.block().blockFormat();
                    f.setIndent(list->format().indent());
                    cursor.setBlockFormat(f);
                }
                split = true;
                break;
            }
        }
        if (!split)
            return;
    }
}

/// A chapter or section with the page (counted from 0 within its document)
/// that it starts on.
struct Heading
{
    int level;
    QString text;
    int page;
};

QList<Heading> headingsOf(const QTextDocument &doc)
{
    QList<Heading> headings;
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        const int level = block.blockFormat().headingLevel();
        const QTextLayout *layout = block.layout();
        if ((level == 2 || level == 3) && layout && layout->lineCount() > 0) {
            // The page where the heading's text stands, after any break.
            const qreal top = layout->position().y() + layout->lineAt(0).y();
            headings.append({level, block.text(), pageOf(doc, top + 1)});
        }
    }
    return headings;
}

/// Takes the first level-1 heading out of the document and returns its text.
QString takeTitle(QTextDocument &doc)
{
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        if (block.blockFormat().headingLevel() != 1)
            continue;
        const QString title = block.text();
        QTextCursor c(block);
        c.select(QTextCursor::BlockUnderCursor);
        if (block == doc.begin()) {
            // The first block has no block separator before it.
            c.setPosition(block.position());
            c.setPosition(block.next().isValid() ? block.next().position() : block.position() + block.length() - 1,
                          QTextCursor::KeepAnchor);
        }
        c.removeSelectedText();
        return title;
    }
    return QString();
}

// ---------------------------------------------------------------- the parts

struct Part
{
    PartWords words;
    QString title;
    std::unique_ptr<QTextDocument> body;
    QList<Heading> headings;
    std::unique_ptr<QTextDocument> contents;
    int firstPage = 0;  ///< global page number (from 1) of its contents page
};

/// Title, contents heading and one row per chapter and section; page
/// numbers are counted from `bodyFirstPage`.
std::unique_ptr<QTextDocument> contentsDocument(QPaintDevice *device, const Part &part, int bodyFirstPage)
{
    auto doc = newDocument(device);
    QTextCursor c(doc.get());
    QTextBlockFormat titleBlock;
    titleBlock.setBottomMargin(fmt(4.0));
    c.setBlockFormat(titleBlock);
    c.setCharFormat(QTextCharFormat());
    QTextCharFormat title;
    title.setFont(sans(20.0, true));
    c.insertText(part.title, title);

    QTextBlockFormat sub;
    sub.setBottomMargin(fmt(18.0));
    QTextCharFormat subText;
    subText.setFont(sans(BodyPt));
    c.insertBlock(sub, subText);
    c.insertText(QStringLiteral("Version 2.1 · ") + part.words.language, subText);

    QTextBlockFormat head;
    head.setBottomMargin(fmt(8.0));
    QTextCharFormat headText;
    headText.setFont(sans(15.0, true));
    c.insertBlock(head, headText);
    c.insertText(part.words.contents, headText);

    QTextTableFormat tf;
    tf.setBorder(0);
    tf.setCellPadding(fmt(1.5));
    tf.setCellSpacing(0);
    tf.setWidth(QTextLength(QTextLength::PercentageLength, 100));
    tf.setColumnWidthConstraints({QTextLength(QTextLength::PercentageLength, 90),
                                  QTextLength(QTextLength::PercentageLength, 10)});
    QTextTable *table = c.insertTable(int(part.headings.size()), 2, tf);
    for (int row = 0; row < part.headings.size(); ++row) {
        const Heading &h = part.headings.at(row);
        const bool chapter = h.level == 2;
        QTextCharFormat text;
        text.setFont(sans(BodyPt, chapter));
        QTextBlockFormat left;
        left.setLeftMargin(chapter ? 0 : fmt(14.0));
        left.setTopMargin(chapter && row > 0 ? fmt(4.0) : 0);
        QTextCursor cell = table->cellAt(row, 0).firstCursorPosition();
        cell.setBlockFormat(left);
        cell.insertText(h.text, text);
        QTextBlockFormat right;
        right.setAlignment(Qt::AlignRight);
        right.setTopMargin(left.topMargin());
        cell = table->cellAt(row, 1).firstCursorPosition();
        cell.setBlockFormat(right);
        cell.insertText(QString::number(bodyFirstPage + h.page), text);
    }
    return doc;
}

/// The cover: the manual's title and where each language begins.
std::unique_ptr<QTextDocument> coverDocument(QPaintDevice *device, const std::vector<Part> &parts)
{
    auto doc = newDocument(device);
    QTextCursor c(doc.get());
    // The first block's top margin does not count; the frame's does.
    QTextFrameFormat frame = doc->rootFrame()->frameFormat();
    frame.setTopMargin(fmt(200.0));
    doc->rootFrame()->setFrameFormat(frame);
    QTextBlockFormat top;
    top.setBottomMargin(fmt(8.0));
    top.setAlignment(Qt::AlignHCenter);
    c.setBlockFormat(top);
    QTextCharFormat title;
    title.setFont(sans(24.0, true));
    c.insertText(QStringLiteral("Quendrel/2 Data Recorder"), title);

    QTextBlockFormat centred;
    centred.setAlignment(Qt::AlignHCenter);
    centred.setBottomMargin(fmt(4.0));
    QTextCharFormat text;
    text.setFont(sans(12.0));
    c.insertBlock(centred, text);
    c.insertText(QStringLiteral("Bedienungsanleitung · User manual · Manuel d'utilisation"), text);
    QTextBlockFormat version = centred;
    version.setBottomMargin(fmt(60.0));
    c.insertBlock(version, text);
    c.insertText(QStringLiteral("Version 2.1"), text);

    QTextTableFormat tf;
    tf.setBorder(0);
    tf.setCellPadding(fmt(3.0));
    tf.setCellSpacing(0);
    tf.setAlignment(Qt::AlignHCenter);
    tf.setTopMargin(fmt(40.0));
    tf.setWidth(QTextLength(QTextLength::PercentageLength, 60));
    tf.setColumnWidthConstraints({QTextLength(QTextLength::PercentageLength, 80),
                                  QTextLength(QTextLength::PercentageLength, 20)});
    QTextTable *table = c.insertTable(int(parts.size()), 2, tf);
    for (int row = 0; row < int(parts.size()); ++row) {
        const Part &part = parts.at(row);
        QTextCharFormat entry;
        entry.setFont(sans(12.0, true));
        table->cellAt(row, 0).firstCursorPosition().insertText(part.words.language, entry);
        QTextCursor cell = table->cellAt(row, 1).firstCursorPosition();
        QTextBlockFormat right;
        right.setAlignment(Qt::AlignRight);
        cell.setBlockFormat(right);
        cell.insertText(QString::number(part.firstPage), entry);
    }
    return doc;
}

// ---------------------------------------------------------------- printing

/// Prints every page of `doc`, each with the footer, numbering from
/// `firstPage`. Returns the next page number.
int printDocument(QPdfWriter &writer, QPainter &painter, QTextDocument &doc, int firstPage,
                  const QString &footer, bool &firstSheet)
{
    const QRectF body = bodyRect();
    const int pages = doc.pageCount();
    QAbstractTextDocumentLayout *layout = doc.documentLayout();
    for (int page = 0; page < pages; ++page) {
        if (!firstSheet)
            writer.newPage();
        firstSheet = false;

        painter.save();
        // A hair short of the text area's foot: a picture that begins the
        // next page starts exactly there.
        painter.setClipRect(body.adjusted(0, 0, 0, -mm(0.3)));
        painter.translate(body.left(), body.top() - page * body.height());
        QAbstractTextDocumentLayout::PaintContext context;
        // Lines that end where the page begins, or begin where it ends,
        // belong to the neighbouring page: the clip leaves them out, so no
        // text is written twice (hidden, but found by search and copy).
        constexpr qreal Hair = 2.0;
        context.clip = QRectF(0, page * body.height() + Hair, body.width(), body.height() - 2 * Hair);
        layout->draw(&painter, context);
        painter.restore();

        // Footer: a thin rule, the part's name on the left, the number right.
        const int number = firstPage + page;
        const qreal ruleY = body.bottom() + mm(4.0);
        painter.save();
        painter.setPen(QPen(QColor(0x80, 0x80, 0x80), mm(0.2)));
        painter.drawLine(QPointF(body.left(), ruleY), QPointF(body.right(), ruleY));
        painter.setPen(Qt::black);
        painter.setFont(sans(FooterPt));
        const QRectF band(body.left(), ruleY + mm(1.0), body.width(), mm(FooterMm - 5.0));
        painter.drawText(band, Qt::AlignLeft | Qt::AlignVCenter, footer);
        painter.drawText(band, Qt::AlignRight | Qt::AlignVCenter, QString::number(number));
        painter.restore();
    }
    return firstPage + pages;
}

} // namespace

int main(int argc, char *argv[])
{
    // Picture sizes count from 96 dpi whatever screen the build runs on.
    QCoreApplication::setAttribute(Qt::AA_Use96Dpi);
    QGuiApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: manual_to_pdf OUTPUT.pdf MANUAL.md...\n");
        return 2;
    }

    const QString output = QString::fromLocal8Bit(argv[1]);
    QPdfWriter writer(output);
    writer.setResolution(Dpi);
    writer.setTitle(QStringLiteral("Quendrel/2 Data Recorder - User manual"));
    writer.setCreator(QStringLiteral("Quendrel2_Datarecorder"));
    // The whole sheet is the writer's page; margins are drawn by this tool.
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(),
                                     QPageLayout::Millimeter));

    std::vector<Part> parts;
    for (int i = 2; i < argc; ++i) {
        const QString path = QString::fromLocal8Bit(argv[i]);
        QFile source(path);
        if (!source.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "manual_to_pdf: cannot read %s\n", argv[i]);
            return 1;
        }
        Part part;
        part.words = wordsFor(QFileInfo(path).fileName());
        part.body = newDocument(&writer);
        part.body->setMarkdown(QString::fromUtf8(source.readAll()), QTextDocument::MarkdownDialectGitHub);
        part.title = takeTitle(*part.body);
        if (!placePictures(*part.body, QFileInfo(path).absoluteDir()))
            return 1;
        styleDocument(*part.body);
        keepHeadingsWithText(*part.body);
        splitBlocksAtPageEnds(*part.body);
        part.headings = headingsOf(*part.body);
        parts.push_back(std::move(part));
    }

    // Page numbers: the cover is page 1; each part has its contents, then
    // its body. The contents' length does not depend on the numbers in it,
    // so one layout with provisional numbers fixes every page.
    int page = 2;
    for (Part &part : parts) {
        part.firstPage = page;
        const int contentsPages = contentsDocument(&writer, part, 0)->pageCount();
        part.contents = contentsDocument(&writer, part, page + contentsPages);
        page += contentsPages + part.body->pageCount();
    }
    auto cover = coverDocument(&writer, parts);

    QPainter painter;
    if (!painter.begin(&writer)) {
        std::fprintf(stderr, "manual_to_pdf: cannot write %s\n", argv[1]);
        return 1;
    }
    bool firstSheet = true;
    int next = printDocument(writer, painter, *cover, 1, QStringLiteral("Quendrel/2 Data Recorder"), firstSheet);
    for (Part &part : parts) {
        next = printDocument(writer, painter, *part.contents, next, part.words.footer, firstSheet);
        next = printDocument(writer, painter, *part.body, next, part.words.footer, firstSheet);
    }
    painter.end();
    std::printf("manual_to_pdf: %d pages\n", next - 1);
    return 0;
}
