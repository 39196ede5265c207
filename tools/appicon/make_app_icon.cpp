// Renders the station's SVG icon into the PNG sizes of the hicolor theme, so the one
// drawing in packaging/ stays the only source of the icon.
// Usage: make_app_icon ICON.svg OUTPUT_DIR SIZE...
// Writes OUTPUT_DIR/<SIZE>x<SIZE>/apps/<name of ICON>.png for each size.

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s ICON.svg OUTPUT_DIR SIZE...\n", argv[0]);
        return 2;
    }
    // No application object: painting shapes into an image needs no window system, and the
    // build host may have no display.
    const QString svgPath = QString::fromLocal8Bit(argv[1]);
    QSvgRenderer renderer(svgPath);
    if (!renderer.isValid()) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }
    const QString name = QFileInfo(svgPath).completeBaseName();
    const QDir outputDir(QString::fromLocal8Bit(argv[2]));
    for (int i = 3; i < argc; ++i) {
        bool ok = false;
        const int size = QString::fromLocal8Bit(argv[i]).toInt(&ok);
        if (!ok || size <= 0) {
            std::fprintf(stderr, "bad size %s\n", argv[i]);
            return 2;
        }
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        {
            QPainter painter(&image);
            painter.setRenderHint(QPainter::Antialiasing);
            renderer.render(&painter);
        }
        const QString dir = QStringLiteral("%1x%1/apps").arg(size);
        const QString path = outputDir.filePath(dir + QLatin1Char('/') + name + ".png");
        if (!outputDir.mkpath(dir) || !image.save(path, "PNG")) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
