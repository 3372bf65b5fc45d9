// The user manual that Help opens, read back from the built PDF the way a
// reader sees it: pdftotext (poppler-utils) gives every word with its box
// on the page, in points.

#include <QProcess>
#include <QStandardPaths>
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
};

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

private:
    QList<Page> m_pages;
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

QTEST_GUILESS_MAIN(tst_Manual)
#include "tst_manual.moc"
