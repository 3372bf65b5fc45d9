// Renders the program's SVG icon as PNG files of the usual hicolor sizes,
// at build time, with Qt's own SVG image plugin (no other image tool):
//
//   svg_to_png <icon.svg> <output folder> <name> <size>...
//
// writes <output folder>/<size>x<size>/apps/<name>.png for every size.

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>

#include <cstdio>

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 5) {
        std::fprintf(stderr, "usage: svg_to_png <icon.svg> <output folder> <name> <size>...\n");
        return 2;
    }
    const QString svg = args.at(1);
    const QDir out(args.at(2));
    const QString name = args.at(3);
    for (qsizetype i = 4; i < args.size(); ++i) {
        bool ok = false;
        const int size = args.at(i).toInt(&ok);
        if (!ok || size <= 0 || size > 1024) {
            std::fprintf(stderr, "svg_to_png: bad size %s\n", qPrintable(args.at(i)));
            return 2;
        }
        QImageReader reader(svg, "svg");
        reader.setScaledSize(QSize(size, size));
        const QImage image = reader.read().convertToFormat(QImage::Format_ARGB32);
        if (image.isNull() || image.size() != QSize(size, size)) {
            std::fprintf(stderr, "svg_to_png: cannot render %s at %d px: %s\n", qPrintable(svg), size,
                         qPrintable(reader.errorString()));
            return 1;
        }
        const QString folder = QStringLiteral("%1x%1/apps").arg(size);
        const QString file = out.filePath(folder + QLatin1Char('/') + name + QStringLiteral(".png"));
        if (!out.mkpath(folder) || !image.save(file, "PNG")) {
            std::fprintf(stderr, "svg_to_png: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
