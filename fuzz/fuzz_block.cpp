// Fuzz target: received blocks through the receive path into a real working
// file, checked against the file's rules written out here.
//
// Input: byte 0 picks the language (low two bits) and the state of the tab
// check box (next two bits); then blocks, each one length byte followed by
// that many bytes (a short last block takes what is left).

#include "LiveModel.h"
#include "SampleProcessor.h"
#include "InstrumentState.h"
#include "RecordedBytes.h"
#include "WorkingFile.h"

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QList>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char *what, const QByteArray &detail = {})
{
    std::fprintf(stderr, "fuzz_block: %s %s\n", what, detail.toHex(' ').left(400).constData());
    std::abort();
}

const char *const kLanguages[] = {"Deutsch", "English", "Francais", "english"};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The working file lies in a folder of its own; the current directory
    // stays as it is, since libFuzzer writes its findings by relative names.
    static QTemporaryDir folder;
    if (!folder.isValid())
        fail("no temporary folder");
    const QString path = folder.filePath(WorkingFile::bareName());
    if (size == 0)
        return 0;

    const QString language = QLatin1String(kLanguages[data[0] & 3]);
    const bool semicolons = (data[0] >> 2 & 1) != 0;
    QList<QByteArray> blocks;
    for (size_t i = 1; i < size;) {
        const size_t length = data[i++];
        const size_t take = length < size - i ? length : size - i;
        blocks << QByteArray(reinterpret_cast<const char *>(data + i), qsizetype(take));
        i += take;
    }

    SensorRanges ranges;
    ranges.rangeLimit1 = 100;
    ranges.rangeLimit2 = 100;
    LiveModel live;
    WorkingFile file;
    if (file.open(path) != WorkingFile::OpenResult::Opened)
        fail("working file not opened");
    SampleProcessor processor(ranges, live, file);
    processor.setLanguage(languageFromText(language));
    processor.setTabsAsSemicolons(semicolons);
    processor.setNotesProvider([] { return QStringLiteral("fuzz"); });
    processor.setClock([] { return QDateTime(QDate(2024, 6, 11), QTime(12, 34, 56)); });

    const bool decimalComma = language == QLatin1String("Deutsch") || language == QLatin1String("Francais");
    QByteArray expected;
    processor.expectNotesHeader();
    for (qsizetype b = 0; b < blocks.size(); ++b) {
        processor.processBlock(live.received, blocks.at(b));
        if (b > 0)
            expected += recordedBytes(blocks.at(b), decimalComma, semicolons);
        if (live.received.text.size() > 16384 + 2 * 256)
            fail("receive box not bounded");
        if (processor.lineBuffer().size() > SampleProcessor::LineBufferLimit)
            fail("line buffer not bounded");
        if (live.lastLineWords.size() > live.lastLine.size() + 1)
            fail("more words than characters");
    }
    file.close();

    QFile written(path);
    if (!written.open(QIODevice::ReadOnly))
        fail("working file missing");
    const QByteArray content = written.readAll();
    if (blocks.isEmpty()) {
        if (!content.isEmpty())
            fail("file written without a block");
        return 0;
    }
    // The notes header stands in place of the first block.
    const QByteArray notes = "Notes :  fuzz\r";
    const qsizetype notesAt = content.indexOf(notes);
    if (notesAt < 0 || content.left(notesAt).count('\r') != 2)
        fail("notes header missing", content.left(80));
    if (content.mid(notesAt + notes.size()) != expected)
        fail("file differs from the rules", content.mid(notesAt + notes.size()));
    return 0;
}
