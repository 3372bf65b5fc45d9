// The user manual that Help opens, read back from the built PDF the way a
// reader sees it: pdftotext (poppler-utils) gives every word with its box
// on the page, in points; mutool (mupdf-tools) gives the outline and the
// links; pdfinfo the document's metadata.

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QXmlStreamReader>
#include <QtTest>

#include <algorithm>

namespace {

constexpr double PointsPerMm = 72.0 / 25.4;
constexpr double MarginPt = 20.0 * PointsPerMm;  // every edge of the page
constexpr double FooterTopPt = (297.0 - 30.0) * PointsPerMm;  // below the text area

struct Word
{
    QString text;
    QRectF box;
};

struct Page
{
    QSizeF size;
    QList<Word> words;

    bool contains(const QString &text) const
    {
        return std::any_of(words.cbegin(), words.cend(), [&](const Word &w) { return w.text == text; });
    }
    /// Every word of the page, one blank between, in reading order.
    QString text() const
    {
        QStringList all;
        for (const Word &w : words)
            all << w.text;
        return all.join(QLatin1Char(' '));
    }
};

/// One entry of the PDF outline (bookmarks).
struct OutlineEntry
{
    int depth = 0;      ///< 1 part, 2 chapter, 3 section
    QString title;
    int page = 0;       ///< 1-based
    double top = 0;     ///< where the entry leads on its page, points from the top
};

/// One link on a page: its area and the page it leads to.
struct Link
{
    int page = 0;       ///< the page it is on, 1-based
    QRectF box;
    int target = 0;     ///< 1-based; 0 for a link out of the document
};

const char *const Languages[] = {"de", "en", "fr"};

QString run(const QString &program, const QStringList &arguments, bool *ok)
{
    QProcess process;
    process.start(program, arguments);
    *ok = process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit
        && process.exitCode() == 0;
    return QString::fromUtf8(process.readAllStandardOutput());
}

/// A heading line of the Markdown source as the reader sees it: no {#id},
/// no code or emphasis marks.
QString headingText(QString line)
{
    line.remove(QRegularExpression(QStringLiteral("^#+\\s*")));
    line.remove(QRegularExpression(QStringLiteral("\\s*\\{[^}]*\\}\\s*$")));
    line.remove(QLatin1Char('`'));
    line.remove(QLatin1Char('*'));
    return line.simplified();
}

/// One language's Markdown source.
QString manualSource(const char *language)
{
    QFile file(QStringLiteral(QDR_SOURCE_DIR "/docs/manual.%1.md").arg(QLatin1String(language)));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

/// The chapter headings (level 2) of one language's Markdown source.
QStringList chapterHeadings(const char *language)
{
    QFile file(QStringLiteral(QDR_SOURCE_DIR "/docs/manual.%1.md").arg(QLatin1String(language)));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList headings;
    bool fenced = false;
    for (const QByteArray &raw : file.readAll().split('\n')) {
        const QString line = QString::fromUtf8(raw);
        if (line.startsWith(QLatin1String("```")))
            fenced = !fenced;
        else if (!fenced && line.startsWith(QLatin1String("## ")))
            headings << headingText(line);
    }
    return headings;
}

/// A variable of the build's CPack configuration, as CPack reads it.
QString cpackValue(const QString &name)
{
    QFile file(QStringLiteral(QDR_BIN_DIR "/../CPackConfig.cmake"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QRegularExpression line(QStringLiteral("^set\\(%1 \"([^\"]*)\"\\)$").arg(name),
                                  QRegularExpression::MultilineOption);
    return line.match(QString::fromUtf8(file.readAll())).captured(1);
}

} // namespace

class tst_Manual : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void pagesAreA4AndNumberedInTheFooter();
    void bodyTextIsTenToElevenPoints();
    void everyWordLiesInsideTheMargins();
    void everyLanguageHasItsPartWithContents_data();
    void everyLanguageHasItsPartWithContents();
    void outlineListsEachPartsChapters();
    void outlineEntriesLeadToTheirHeadings();
    void contentsEntriesAreLinksToTheirPages();
    void contentsListEveryChapterWithoutSpillingAFewLines();
    void crossReferencesLeadToTheirHeadings();
    void noHeadingStandsAloneAtAPageBottom();
    void quickStartFitsOnOnePage_data();
    void quickStartFitsOnOnePage();
    void picturesAreInTheirPartsLanguage_data();
    void picturesAreInTheirPartsLanguage();
    void everyFigureHasOneNumberedCaption_data();
    void everyFigureHasOneNumberedCaption();
    void quickStartNamesTheBuiltPackageFile();
    void frenchPunctuationKeepsToItsWord();
    void textLayerHasNoLigatures();
    void noLineBreakInsideAPathOrANumber();
    void documentHasTitleAuthorSubjectAndLanguage();

private:
    /// The first and last page (1-based) of the part `part` (0 to 2).
    std::pair<int, int> partPages(int part) const;

    QString m_pdf;
    QString m_mutool;
    QList<Page> m_pages;
    QList<OutlineEntry> m_outline;
    QList<Link> m_links;
};

void tst_Manual::initTestCase()
{
    const QString pdf = QStringLiteral(QDR_BIN_DIR "/Quendrel.pdf");
    QVERIFY2(QFileInfo::exists(pdf), qPrintable(pdf + " was not built"));
    const QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    QVERIFY2(!pdftotext.isEmpty(), "pdftotext is missing: install poppler-utils (setup/packages.txt)");

    QProcess process;
    process.start(pdftotext, {QStringLiteral("-bbox"), pdf, QStringLiteral("-")});
    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(process.exitCode(), 0);

    QXmlStreamReader xml(process.readAllStandardOutput());
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QXmlStreamAttributes a = xml.attributes();
        if (xml.name() == QLatin1String("page")) {
            m_pages.append({QSizeF(a.value("width").toDouble(), a.value("height").toDouble()), {}});
        } else if (xml.name() == QLatin1String("word") && !m_pages.isEmpty()) {
            const QPointF topLeft(a.value("xMin").toDouble(), a.value("yMin").toDouble());
            const QPointF bottomRight(a.value("xMax").toDouble(), a.value("yMax").toDouble());
            m_pages.last().words.append({xml.readElementText(), QRectF(topLeft, bottomRight)});
        }
    }
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
    // A cover and, per language, contents and a dozen pages of text.
    QVERIFY2(m_pages.size() >= 25, qPrintable(QString::number(m_pages.size()) + " pages"));
    m_pdf = pdf;

    m_mutool = QStandardPaths::findExecutable(QStringLiteral("mutool"));
    QVERIFY2(!m_mutool.isEmpty(), "mutool is missing: install mupdf-tools (setup/packages.txt)");

    // The outline: one line per entry, its depth in tabs, its title quoted,
    // then "#page=N&zoom=100,x,y" with y from the top of the page.
    bool ok = false;
    const QString outline = run(m_mutool, {QStringLiteral("show"), pdf, QStringLiteral("outline")}, &ok);
    QVERIFY(ok);
    static const QRegularExpression entry(QStringLiteral("^[-+|]?(\\t+)\"(.*)\"\\t#page=(\\d+)(?:&zoom=[^,]*,[^,]*,([-0-9.]+))?"));
    for (const QString &line : outline.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QRegularExpressionMatch m = entry.match(line);
        QVERIFY2(m.hasMatch(), qPrintable("outline line not understood: " + line));
        m_outline.append({int(m.capturedLength(1)), m.captured(2), m.captured(3).toInt(), m.captured(4).toDouble()});
    }

    // The links of every page, through mutool's script interface.
    QTemporaryFile script(QDir::tempPath() + QStringLiteral("/links-XXXXXX.js"));
    QVERIFY(script.open());
    script.write("var doc = new Document(scriptArgs[0]);\n"
                 "for (var i = 0; i < doc.countPages(); ++i) {\n"
                 "  var links = doc.loadPage(i).getLinks();\n"
                 "  for (var j = 0; j < links.length; ++j) {\n"
                 "    var b = links[j].bounds;\n"
                 "    print((i + 1) + ' ' + b[0] + ' ' + b[1] + ' ' + b[2] + ' ' + b[3] + ' ' + links[j].uri);\n"
                 "  }\n"
                 "}\n");
    script.close();
    const QString links = run(m_mutool, {QStringLiteral("run"), script.fileName(), pdf}, &ok);
    QVERIFY(ok);
    for (const QString &line : links.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QStringList f = line.split(QLatin1Char(' '));
        if (f.size() < 6)
            continue;
        static const QRegularExpression target(QStringLiteral("^#page=(\\d+)"));
        const QRegularExpressionMatch m = target.match(f.at(5));
        m_links.append({f.at(0).toInt(), QRectF(QPointF(f.at(1).toDouble(), f.at(2).toDouble()),
                                                 QPointF(f.at(3).toDouble(), f.at(4).toDouble())),
                        m.hasMatch() ? m.captured(1).toInt() : 0});
    }
}

void tst_Manual::pagesAreA4AndNumberedInTheFooter()
{
    for (int i = 0; i < m_pages.size(); ++i) {
        const Page &page = m_pages.at(i);
        QVERIFY2(qAbs(page.size.width() - 595.0) < 1.0 && qAbs(page.size.height() - 842.0) < 1.0,
                 qPrintable(QStringLiteral("page %1 is not A4").arg(i + 1)));
        const QString number = QString::number(i + 1);
        const bool numbered = std::any_of(page.words.cbegin(), page.words.cend(), [&](const Word &w) {
            return w.text == number && w.box.top() > FooterTopPt;
        });
        QVERIFY2(numbered, qPrintable(QStringLiteral("page %1 has no page number in its footer").arg(i + 1)));
    }
}

void tst_Manual::bodyTextIsTenToElevenPoints()
{
    // A word's box spans its font's ascent and descent: about 1.16 times the
    // point size for the manual's font, so 10 to 11 pt text gives boxes of
    // 11.6 to 12.8 pt. Headings are larger, footers and examples smaller;
    // the body text is by far the most words, so the median is the body's.
    QList<double> heights;
    for (const Page &page : std::as_const(m_pages))
        for (const Word &w : page.words)
            heights.append(w.box.height());
    std::sort(heights.begin(), heights.end());
    const double median = heights.at(heights.size() / 2);
    QVERIFY2(median >= 11.6 && median <= 12.8, qPrintable(QStringLiteral("median word height %1 pt").arg(median)));
    // Nothing is too small to read (the footer is 9 pt).
    QVERIFY2(heights.first() >= 10.0, qPrintable(QStringLiteral("smallest word %1 pt high").arg(heights.first())));
}

void tst_Manual::everyWordLiesInsideTheMargins()
{
    const QRectF inside(MarginPt, MarginPt, 595.0 - 2 * MarginPt, 842.0 - 2 * MarginPt);
    const QRectF tolerant = inside.adjusted(-0.5, -0.5, 0.5, 0.5);
    for (int i = 0; i < m_pages.size(); ++i) {
        for (const Word &w : m_pages.at(i).words) {
            QVERIFY2(tolerant.contains(w.box),
                     qPrintable(QStringLiteral("page %1: \"%2\" at %3,%4-%5,%6 pt is outside the margins")
                                    .arg(i + 1).arg(w.text).arg(w.box.left()).arg(w.box.top())
                                    .arg(w.box.right()).arg(w.box.bottom())));
        }
    }
}

void tst_Manual::everyLanguageHasItsPartWithContents_data()
{
    QTest::addColumn<QString>("language");   // as on the cover page
    QTest::addColumn<QString>("contents");   // heading of the part's contents
    QTest::addColumn<QString>("message");    // a word of the transmission-error message
    QTest::newRow("Deutsch") << "Deutsch" << "Inhalt" << "Übertragungsfehler";
    QTest::newRow("English") << "English" << "Contents" << "transsmision";
    QTest::newRow("Francais") << "Français" << "Sommaire" << "transmission";
}

void tst_Manual::everyLanguageHasItsPartWithContents()
{
    QFETCH(QString, language);
    QFETCH(QString, contents);
    QFETCH(QString, message);

    // The cover lists the language with the page its part starts on.
    const QList<Word> &cover = m_pages.first().words;
    const auto entry = std::find_if(cover.cbegin(), cover.cend(), [&](const Word &w) { return w.text == language; });
    QVERIFY2(entry != cover.cend(), qPrintable(language + " is not on the cover"));
    const auto number = std::find_if(entry + 1, cover.cend(), [](const Word &w) {
        bool ok = false;
        w.text.toInt(&ok);
        return ok;
    });
    QVERIFY(number != cover.cend());
    const int first = number->text.toInt();
    QVERIFY(first >= 2 && first <= m_pages.size());
    QVERIFY2(m_pages.at(first - 1).contains(contents), qPrintable("no contents on page " + number->text));

    // The part runs to the page before the next part (or to the end), holds
    // ten pages or more, and explains the messages in its own language.
    int end = int(m_pages.size());
    for (const Word &w : cover) {
        bool ok = false;
        const int start = w.text.toInt(&ok);
        if (ok && w.box.top() < FooterTopPt && start > first && start - 1 < end)
            end = start - 1;
    }
    QVERIFY2(end - first + 1 >= 10, qPrintable(QStringLiteral("%1 pages").arg(end - first + 1)));
    bool explained = false;
    for (int i = first; i < end && !explained; ++i)
        explained = std::any_of(m_pages.at(i).words.cbegin(), m_pages.at(i).words.cend(),
                                [&](const Word &w) { return w.text.contains(message); });
    QVERIFY2(explained, qPrintable(message + " is not explained"));
}

void tst_Manual::outlineListsEachPartsChapters()
{
    // Three parts at the top, each named for its language, its chapters
    // below it in the order of the source, each section below its chapter.
    QStringList parts;
    for (const OutlineEntry &e : std::as_const(m_outline))
        if (e.depth == 1)
            parts << e.title;
    QCOMPARE(parts, QStringList({"Deutsch", "English", "Français"}));

    int part = -1;
    QList<QStringList> chapters(3);
    for (const OutlineEntry &e : std::as_const(m_outline)) {
        if (e.depth == 1)
            ++part;
        else if (e.depth == 2 && part >= 0)
            chapters[part] << e.title;
        QVERIFY2(e.depth <= 3, qPrintable(e.title));
    }
    for (int i = 0; i < 3; ++i) {
        const QStringList expected = chapterHeadings(Languages[i]);
        QVERIFY(expected.size() >= 10);
        QCOMPARE(chapters.at(i), expected);
    }
    // Sections too: the outline is more than the chapters.
    QVERIFY(std::count_if(m_outline.cbegin(), m_outline.cend(), [](const OutlineEntry &e) { return e.depth == 3; }) >= 30);
}

void tst_Manual::outlineEntriesLeadToTheirHeadings()
{
    for (const OutlineEntry &e : std::as_const(m_outline)) {
        QVERIFY2(e.page >= 1 && e.page <= m_pages.size(), qPrintable(e.title));
        // A non-breaking space in a title reads as a blank on the page.
        const QString text = m_pages.at(e.page - 1).text();
        QVERIFY2(text.contains(e.title.simplified()),
                 qPrintable(QStringLiteral("\"%1\" leads to page %2, which does not show it").arg(e.title).arg(e.page)));
    }
}

void tst_Manual::contentsEntriesAreLinksToTheirPages()
{
    // Each part's contents: its pages run from the part's title to the page
    // of its first chapter. Every entry there is a link; the page number it
    // shows is the page it leads to, and that page shows the entry's title.
    int checked = 0;
    for (int i = 0; i < m_outline.size(); ++i) {
        if (m_outline.at(i).depth != 1)
            continue;
        const int from = m_outline.at(i).page;
        const int to = i + 1 < m_outline.size() ? m_outline.at(i + 1).page : from;
        int entries = 0;
        for (int p = from; p <= to; ++p) {
            for (const Word &w : m_pages.at(p - 1).words) {
                // A contents line ends in its page number, at the right edge.
                bool isNumber = false;
                const int shown = w.text.toInt(&isNumber);
                if (!isNumber || w.box.top() > FooterTopPt || w.box.right() < 595.0 - MarginPt - 30.0)
                    continue;
                if (p == to && w.box.top() >= m_outline.at(i + 1 < m_outline.size() ? i + 1 : i).top - 1.0 && p != from)
                    continue;
                const QPointF middle = w.box.center();
                const auto link = std::find_if(m_links.cbegin(), m_links.cend(), [&](const Link &l) {
                    return l.page == p && l.box.adjusted(-1, -1, 1, 1).contains(middle);
                });
                QVERIFY2(link != m_links.cend(),
                         qPrintable(QStringLiteral("page %1: the contents entry at %2 pt is no link").arg(p).arg(w.box.top())));
                QCOMPARE(link->target, shown);
                // The words of the line left of the dots are on the page it leads to.
                QStringList title;
                for (const Word &t : m_pages.at(p - 1).words)
                    if (qAbs(t.box.center().y() - middle.y()) < 2.0 && t.box.right() < w.box.left()
                        && !t.text.startsWith(QLatin1Char('.')))
                        title << t.text;
                QVERIFY(!title.isEmpty());
                const QString joined = title.join(QLatin1Char(' '));
                QVERIFY2(m_pages.at(shown - 1).text().contains(joined),
                         qPrintable(QStringLiteral("\"%1\" leads to page %2, which does not show it").arg(joined).arg(shown)));
                ++entries;
            }
        }
        QVERIFY2(entries >= 30, qPrintable(QStringLiteral("%1 has %2 contents entries").arg(m_outline.at(i).title).arg(entries)));
        ++checked;
    }
    QCOMPARE(checked, 3);
}

std::pair<int, int> tst_Manual::partPages(int part) const
{
    int seen = -1;
    int first = 0;
    for (const OutlineEntry &e : m_outline) {
        if (e.depth != 1)
            continue;
        if (seen == part)
            return {first, e.page - 1};
        if (++seen == part)
            first = e.page;
    }
    return {first, int(m_pages.size())};
}

void tst_Manual::contentsListEveryChapterWithoutSpillingAFewLines()
{
    for (int part = 0; part < 3; ++part) {
        // The contents run from the part's title to the page before its
        // first chapter (the quick start, which starts a page).
        const int first = partPages(part).first;
        const auto quickStart = std::find_if(m_outline.cbegin(), m_outline.cend(), [&](const OutlineEntry &e) {
            return e.depth == 2 && e.page > first;
        });
        QVERIFY(first > 0 && quickStart != m_outline.cend());
        const int last = quickStart->page - 1;
        QString contents;
        for (int p = first; p <= last; ++p)
            contents += m_pages.at(p - 1).text() + QLatin1Char(' ');
        for (const QString &chapter : chapterHeadings(Languages[part]))
            QVERIFY2(contents.contains(chapter.simplified()),
                     qPrintable(QStringLiteral("the contents on pages %1-%2 leave out \"%3\"").arg(first).arg(last).arg(chapter)));

        // A page the contents run on to carries a good part of them.
        if (last > first) {
            QList<double> lines;
            for (const Word &w : m_pages.at(last - 1).words)
                if (w.box.top() < FooterTopPt
                    && std::none_of(lines.cbegin(), lines.cend(), [&](double y) { return qAbs(y - w.box.top()) < 3.0; }))
                    lines << w.box.top();
            QVERIFY2(lines.size() >= 10, qPrintable(QStringLiteral("the contents spill %1 lines onto page %2")
                                                         .arg(lines.size()).arg(last)));
        }
    }
}

void tst_Manual::crossReferencesLeadToTheirHeadings()
{
    // "chapter 9, p. 36", "Abschnitt 4.3, S. 8": the reference is a link to
    // the page it names, and that page shows the heading's number.
    static const QRegularExpression reference(QStringLiteral("^[(]?(?:chapters?|sections?|Kapitel|Abschnitt\\w*|chapitres?)$"));
    static const QRegularExpression number(QStringLiteral("^(\\d+(?:\\.\\d+)?)[,)]?$"));
    int checked = 0;
    for (int i = 0; i < m_pages.size(); ++i) {
        const QList<Word> &words = m_pages.at(i).words;
        for (int k = 0; k + 1 < words.size(); ++k) {
            const QRegularExpressionMatch n = number.match(words.at(k + 1).text);
            if (!reference.match(words.at(k).text).hasMatch() || !n.hasMatch())
                continue;
            const QPointF middle = words.at(k + 1).box.center();
            const auto link = std::find_if(m_links.cbegin(), m_links.cend(), [&](const Link &l) {
                return l.page == i + 1 && l.box.adjusted(-1, -1, 1, 1).contains(middle);
            });
            QVERIFY2(link != m_links.cend(),
                     qPrintable(QStringLiteral("page %1: \"%2 %3\" is no link").arg(i + 1).arg(words.at(k).text, n.captured(1))));
            QVERIFY2(m_pages.at(link->target - 1).contains(n.captured(1)),
                     qPrintable(QStringLiteral("page %1: \"%2\" leads to page %3").arg(i + 1).arg(n.captured(1)).arg(link->target)));
            ++checked;
        }
    }
    QVERIFY2(checked >= 60, qPrintable(QStringLiteral("%1 cross references").arg(checked)));
}

void tst_Manual::noHeadingStandsAloneAtAPageBottom()
{
    // Below each chapter and section heading, on its own page, comes at
    // least one line of what the heading introduces.
    for (const OutlineEntry &e : std::as_const(m_outline)) {
        if (e.depth < 2)
            continue;
        const Page &page = m_pages.at(e.page - 1);
        QList<double> lines;
        for (const Word &w : page.words) {
            if (w.box.top() < e.top - 1.0 || w.box.top() > FooterTopPt)
                continue;
            if (std::none_of(lines.cbegin(), lines.cend(), [&](double y) { return qAbs(y - w.box.top()) < 3.0; }))
                lines << w.box.top();
        }
        QVERIFY2(lines.size() >= 2, qPrintable(QStringLiteral("\"%1\" stands alone at the bottom of page %2")
                                                   .arg(e.title).arg(e.page)));
    }
}

void tst_Manual::quickStartFitsOnOnePage_data()
{
    QTest::addColumn<QString>("title");      // the chapter in the outline
    QTest::addColumn<QString>("lastWords");  // its closing line's link
    QTest::newRow("Deutsch") << "Schnellstart" << "Fehlersuche";
    QTest::newRow("English") << "Quick start" << "Troubleshooting";
    QTest::newRow("Francais") << "Démarrage rapide" << "Dépannage";
}

void tst_Manual::quickStartFitsOnOnePage()
{
    QFETCH(QString, title);
    QFETCH(QString, lastWords);
    const auto start = std::find_if(m_outline.cbegin(), m_outline.cend(),
                                    [&](const OutlineEntry &e) { return e.depth == 2 && e.title == title; });
    QVERIFY2(start != m_outline.cend(), qPrintable(title + " is not in the outline"));
    const auto next = std::find_if(start + 1, m_outline.cend(), [](const OutlineEntry &e) { return e.depth <= 2; });
    QVERIFY(next != m_outline.cend());
    // The chapter after it starts on the next page, and the quick start's
    // last line is on its own page.
    QCOMPARE(next->page, start->page + 1);
    QVERIFY2(m_pages.at(start->page - 1).text().contains(lastWords),
             qPrintable(title + " does not end on its first page"));
    // Its steps link to the chapters that explain them.
    const int links = int(std::count_if(m_links.cbegin(), m_links.cend(), [&](const Link &l) {
        return l.page == start->page && l.target > start->page;
    }));
    QVERIFY2(links >= 5, qPrintable(QStringLiteral("%1 links on the quick start page").arg(links)));
}

void tst_Manual::picturesAreInTheirPartsLanguage_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("language");   // as the settings name it
    QTest::addColumn<QString>("settingsTitle");
    QTest::addColumn<QString>("deleteTitle");
    QTest::newRow("Deutsch") << "de" << "Deutsch" << "Einstellungen" << "Meßdaten löschen";
    QTest::newRow("English") << "en" << "English" << "User Settings" << "Clean Measurement";
    QTest::newRow("Francais") << "fr" << "Francais" << "Préférences" << "Efface données";
}

void tst_Manual::picturesAreInTheirPartsLanguage()
{
    QFETCH(QString, code);
    QFETCH(QString, language);
    QFETCH(QString, settingsTitle);
    QFETCH(QString, deleteTitle);

    // Every picture of the part comes from the part's own folder ...
    QFile source(QStringLiteral(QDR_SOURCE_DIR "/docs/manual.%1.md").arg(code));
    QVERIFY(source.open(QIODevice::ReadOnly));
    static const QRegularExpression picture(QStringLiteral("!\\[[^\\]]*\\]\\(([^)]+)\\)"));
    int pictures = 0;
    for (auto it = picture.globalMatch(QString::fromUtf8(source.readAll())); it.hasNext(); ++pictures) {
        const QString path = it.next().captured(1);
        QVERIFY2(path.startsWith(QStringLiteral("screenshots/%1/").arg(code)), qPrintable(path));
        QVERIFY2(QFileInfo::exists(QStringLiteral(QDR_SOURCE_DIR "/docs/") + path), qPrintable(path));
    }
    QCOMPARE(pictures, 4);

    // ... which a run in that language made: its windows' titles say so.
    QFile texts(QStringLiteral(QDR_SOURCE_DIR "/docs/screenshots/%1/texts.txt").arg(code));
    QVERIFY(texts.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(texts.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QVERIFY(lines.contains(QStringLiteral("language\t") + language));
    QVERIFY2(lines.contains(QStringLiteral("settings-dialog\ttitle\t") + settingsTitle), qPrintable(lines.join(" | ")));
    QVERIFY2(lines.contains(QStringLiteral("delete-dialog\ttitle\t") + deleteTitle), qPrintable(lines.join(" | ")));
}

void tst_Manual::everyFigureHasOneNumberedCaption_data()
{
    QTest::addColumn<int>("part");
    QTest::addColumn<QString>("word");   // what a caption starts with
    QTest::newRow("Deutsch") << 0 << "Bild";
    QTest::newRow("English") << 1 << "Picture";
    QTest::newRow("Francais") << 2 << "Image";
}

void tst_Manual::everyFigureHasOneNumberedCaption()
{
    QFETCH(int, part);
    QFETCH(QString, word);
    static const QRegularExpression picture(QStringLiteral("!\\[[^\\]]*\\]\\([^)]+\\)"));
    const int pictures = int(manualSource(Languages[part]).count(picture));
    QVERIFY(pictures > 0);

    // "Picture 2: ..." once for each picture, numbered in order; a second
    // caption line ("Picture 2: ..." again) would be counted twice.
    const QRegularExpression caption(QStringLiteral("(?:^| )%1 (\\d+) ?:").arg(word));
    QList<int> numbers;
    const auto [first, last] = partPages(part);
    for (int p = first; p <= last; ++p)
        for (auto it = caption.globalMatch(m_pages.at(p - 1).text()); it.hasNext();)
            numbers << it.next().captured(1).toInt();
    QList<int> expected;
    for (int n = 1; n <= pictures; ++n)
        expected << n;
    QCOMPARE(numbers, expected);
}

void tst_Manual::quickStartNamesTheBuiltPackageFile()
{
    // The file CPack makes: name_version-release_architecture.deb, the
    // architecture as dpkg names it (CPack asks dpkg too).
    const QString dpkg = QStandardPaths::findExecutable(QStringLiteral("dpkg"));
    if (dpkg.isEmpty())
        QSKIP("dpkg is missing: no Debian package is built here");
    bool ok = false;
    const QString architecture = run(dpkg, {QStringLiteral("--print-architecture")}, &ok).trimmed();
    QVERIFY(ok && !architecture.isEmpty());
    const QString name = cpackValue(QStringLiteral("CPACK_PACKAGE_NAME"));
    const QString version = cpackValue(QStringLiteral("CPACK_PACKAGE_VERSION"));
    const QString release = cpackValue(QStringLiteral("CPACK_DEBIAN_PACKAGE_RELEASE"));
    QVERIFY2(!name.isEmpty() && !version.isEmpty() && !release.isEmpty(), "no CPackConfig.cmake in the build");
    const QString package = QStringLiteral("%1_%2-%3_%4.deb").arg(name, version, release, architecture);

    // Each part's quick start names it ...
    for (int part = 0; part < 3; ++part) {
        const auto quickStart = std::find_if(m_outline.cbegin(), m_outline.cend(), [&](const OutlineEntry &e) {
            return e.depth == 2 && e.page > partPages(part).first;
        });
        QVERIFY(quickStart != m_outline.cend());
        QVERIFY2(m_pages.at(quickStart->page - 1).contains(QStringLiteral("./") + package),
                 qPrintable(QStringLiteral("the quick start on page %1 does not name %2").arg(quickStart->page).arg(package)));
    }
    // ... and no page names another.
    for (int p = 1; p <= m_pages.size(); ++p)
        for (const Word &w : m_pages.at(p - 1).words)
            if (w.text.contains(name + QLatin1Char('_')) && w.text.endsWith(QLatin1String(".deb")))
                QVERIFY2(w.text.endsWith(package),
                         qPrintable(QStringLiteral("page %1 names %2, not %3").arg(p).arg(w.text, package)));
}

void tst_Manual::frenchPunctuationKeepsToItsWord()
{
    // In French a blank stands before ":", ";", "?" and "!" and inside
    // guillemets; it must be a non-breaking one, or the sign can start a
    // line of its own. Examples and commands are typed as they are; "!["
    // begins a picture.
    QString text = manualSource("fr");
    QVERIFY(!text.isEmpty());
    text.remove(QRegularExpression(QStringLiteral("^---\\n.*?\\n---\\n"), QRegularExpression::DotMatchesEverythingOption));
    text.remove(QRegularExpression(QStringLiteral("```.*?```"), QRegularExpression::DotMatchesEverythingOption));
    text.remove(QRegularExpression(QStringLiteral("`[^`\\n]*`")));
    static const QRegularExpression breakable(QStringLiteral("[ \\t\\n]+(?:[:;?\\x{00BB}]|!(?!\\[))|\\x{00AB}[ \\t\\n]"));
    QStringList found;
    for (auto it = breakable.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        found << text.mid(qMax(0, int(m.capturedStart()) - 25), 40).simplified();
    }
    QVERIFY2(found.isEmpty(), qPrintable(QStringLiteral("%1 breakable blanks, first: \"%2\"")
                                             .arg(found.size()).arg(found.value(0))));
    // The page shows the same: no line starts with a lone sign.
    int checked = 0;
    const auto [first, last] = partPages(2);
    for (int p = first; p <= last; ++p) {
        const QList<Word> &words = m_pages.at(p - 1).words;
        for (int k = 1; k < words.size(); ++k) {
            const bool startsLine = words.at(k).box.top() > words.at(k - 1).box.bottom() - 2.0;
            const QString &sign = words.at(k).text;
            if (startsLine && (sign == QLatin1String(":") || sign == QLatin1String(";") || sign == QLatin1String("!")))
                QFAIL(qPrintable(QStringLiteral("page %1: a line starts with \"%2\"").arg(p).arg(sign)));
            checked += sign == QLatin1String(":");
        }
    }
    QVERIFY(checked > 50);
}

void tst_Manual::textLayerHasNoLigatures()
{
    for (int i = 0; i < m_pages.size(); ++i)
        for (const Word &w : m_pages.at(i).words)
            for (const QChar c : w.text)
                QVERIFY2(c.unicode() < 0xFB00 || c.unicode() > 0xFB06,
                         qPrintable(QStringLiteral("page %1: ligature in \"%2\"").arg(i + 1).arg(w.text)));
    // The words a reader searches for are found as typed.
    bool found = false;
    for (const Page &page : std::as_const(m_pages))
        found = found || page.text().contains(QStringLiteral("Grafik"));
    QVERIFY(found);
}

void tst_Manual::noLineBreakInsideAPathOrANumber()
{
    // A line that ends in "/" (a path cut after its first slash) or in a
    // group of digits continued by three digits on the next line ("16" and
    // "000") is a break where none belongs.
    QString source;
    for (const char *language : Languages) {
        QFile file(QStringLiteral(QDR_SOURCE_DIR "/docs/manual.%1.md").arg(QLatin1String(language)));
        QVERIFY(file.open(QIODevice::ReadOnly));
        source += QString::fromUtf8(file.readAll());
    }
    static const QRegularExpression digits(QStringLiteral("^\\d{1,3}$"));
    static const QRegularExpression thousands(QStringLiteral("^\\d{3}(?![.,]?\\d)"));
    for (int i = 0; i < m_pages.size(); ++i) {
        const QList<Word> &words = m_pages.at(i).words;
        for (int k = 0; k + 1 < words.size(); ++k) {
            const Word &w = words.at(k);
            const Word &next = words.at(k + 1);
            const bool lineEnds = next.box.top() > w.box.bottom() - 2.0;
            if (!lineEnds)
                continue;
            // "/dev/serial/by-id/" may end a line; "/" and "dev/ttyS1" may not.
            QVERIFY2(!w.text.endsWith(QLatin1Char('/')) || !source.contains(w.text + next.text),
                     qPrintable(QStringLiteral("page %1: a path broken after \"%2\"").arg(i + 1).arg(w.text)));
            QVERIFY2(!(digits.match(w.text).hasMatch() && thousands.match(next.text).hasMatch()
                       && next.box.left() < w.box.left() && w.box.right() > 595.0 - MarginPt - 60.0),
                     qPrintable(QStringLiteral("page %1: a number broken as \"%2\" / \"%3\"").arg(i + 1).arg(w.text, next.text)));
        }
    }
}

void tst_Manual::documentHasTitleAuthorSubjectAndLanguage()
{
    const QString pdfinfo = QStandardPaths::findExecutable(QStringLiteral("pdfinfo"));
    QVERIFY(!pdfinfo.isEmpty());
    bool ok = false;
    const QString info = run(pdfinfo, {m_pdf}, &ok);
    QVERIFY(ok);
    const auto field = [&](const char *name) {
        const QRegularExpression re(QStringLiteral("^%1:\\s*(.*)$").arg(QLatin1String(name)),
                                    QRegularExpression::MultilineOption);
        return re.match(info).captured(1).trimmed();
    };
    QVERIFY2(field("Title").startsWith(QStringLiteral("Quendrel/2")), qPrintable(field("Title")));
    QVERIFY(field("Title").contains(QStringLiteral("User manual")));
    // The authors as the package names them (its contact, without address).
    const QString contact = cpackValue(QStringLiteral("CPACK_PACKAGE_CONTACT"));
    QVERIFY(!contact.isEmpty());
    QCOMPARE(field("Author"), contact.section(QStringLiteral(" <"), 0, 0));
    QVERIFY(!field("Subject").isEmpty());
    const QString lang = run(m_mutool, {QStringLiteral("show"), m_pdf, QStringLiteral("trailer/Root/Lang")}, &ok);
    QVERIFY(ok);
    QVERIFY2(lang.contains(QStringLiteral("(de)")), qPrintable(lang));
}

QTEST_GUILESS_MAIN(tst_Manual)
#include "tst_manual.moc"
