// Throughput of the receive path: sample lines, one per block, through the
// block processing of a shown main window (receive box model, working file
// write, line gathering, word splitting, figures, meters), the window
// redrawn from its model at screen rate as the program does. Compared with
// a bare loop that only writes the same blocks to a file, run back to back.
//
// Prints, as medians of several rounds:
//   pipeline_lines_per_s    lines per second through the whole receive path
//   pipeline_vs_write_ratio its time divided by the bare write loop's time
//   pipeline_us_per_line / write_us_per_line   the two times per line

#include "BenchRecorder.h"
#include "SampleLines.h"

#include "LiveModel.h"
#include "SampleProcessor.h"

#include <QLineEdit>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

namespace {

constexpr int kLinesPerRound = 100000;
constexpr int kWarmUpLines = 20000;
constexpr int kRounds = 5;
constexpr qint64 kScreenRefreshNs = 16'000'000;

/// Seconds to feed `blocks` to the processing of `window`, the view
/// refreshed whenever a screen refresh interval has passed.
double feed(MainWindow &window, SampleProcessor &processor, const std::vector<QByteArray> &blocks)
{
    QElapsedTimer clock;
    clock.start();
    qint64 lastRefresh = 0;
    for (size_t i = 0; i < blocks.size(); ++i) {
        processor.setCheck1State(Qt::Checked);
        processor.ProcessReceivedBlock(window.live().Term, blocks[i]);
        if ((i & 63) == 0 && clock.nsecsElapsed() - lastRefresh >= kScreenRefreshNs) {
            window.refreshView();
            QCoreApplication::processEvents();
            lastRefresh = clock.nsecsElapsed();
        }
    }
    window.refreshView();
    QCoreApplication::processEvents();
    return double(clock.nsecsElapsed()) / 1e9;
}

/// Seconds to write and flush `blocks` one at a time to a new file.
double bareWrite(const QString &path, const std::vector<QByteArray> &blocks)
{
    QFile::remove(path);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        std::fprintf(stderr, "cannot open %s\n", qPrintable(path));
        return 0.0;
    }
    QElapsedTimer clock;
    clock.start();
    for (const QByteArray &block : blocks) {
        file.write(block);
        file.flush();
    }
    return double(clock.nsecsElapsed()) / 1e9;
}

/// Empties the working file, as a fresh measurement starts with one.
void restartWorkingFile(MainWindow &window)
{
    if (window.workingFile().open() != WorkingFile::OpenResult::Opened)
        std::fprintf(stderr, "working file: %s\n", qPrintable(window.workingFile().errorString()));
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    bench::Recorder recorder;
    MainWindow &window = recorder.start();
    QCoreApplication::processEvents();
    // The processing the window owns, built the same way on the same models.
    SampleProcessor processor(window.state(), window.live(), window.workingFile());
    processor.setNotesProvider([&window] { return control<QLineEdit>(window, "Text2")->text(); });

    const std::vector<QByteArray> warmUp = bench::sampleBlocks(kWarmUpLines);
    const std::vector<QByteArray> blocks = bench::sampleBlocks(kLinesPerRound, kWarmUpLines + 1);
    feed(window, processor, warmUp);
    bareWrite(recorder.path(QStringLiteral("bare.txt")), warmUp);

    std::vector<double> linesPerSecond, ratios, pipelineUs, writeUs;
    for (int round = 0; round < kRounds; ++round) {
        restartWorkingFile(window);
        const double pipeline = feed(window, processor, blocks);
        const double bare = bareWrite(recorder.path(QStringLiteral("bare.txt")), blocks);
        linesPerSecond.push_back(kLinesPerRound / pipeline);
        ratios.push_back(pipeline / bare);
        pipelineUs.push_back(pipeline * 1e6 / kLinesPerRound);
        writeUs.push_back(bare * 1e6 / kLinesPerRound);
    }
    // The last round's blocks must all be in the working file.
    qint64 expected = 0;
    for (const QByteArray &block : blocks)
        expected += block.size();
    const qint64 written = QFileInfo(window.workingFile().resolvedPath()).size();
    if (written != expected)
        std::fprintf(stderr, "working file holds %lld bytes, expected %lld\n", written, expected);

    std::printf("pipeline_lines_per_s %.0f lines/s\n", bench::median(linesPerSecond));
    std::printf("pipeline_vs_write_ratio %.2f ratio\n", bench::median(ratios));
    std::printf("pipeline_us_per_line %.2f us\n", bench::median(pipelineUs));
    std::printf("write_us_per_line %.2f us\n", bench::median(writeUs));
    return 0;
}
