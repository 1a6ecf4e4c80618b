// SPDX-License-Identifier: MIT
// Build-time helper: renders the application's SVG icon into the PNG sizes that desktop
// icon themes look up, so the packaged icons always match the icon compiled into the program.
//
//   listra-iconrender <icon.svg> <output folder> <size>...
//
// writes <output folder>/<size>x<size>/apps/listra.png for every size.

#include <QByteArray>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QString>
#include <QSvgRenderer>

#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s <icon.svg> <output folder> <size>...\n", argv[0]);
        return 2;
    }
    const QString source = QString::fromLocal8Bit(argv[1]);
    const QDir output(QString::fromLocal8Bit(argv[2]));

    QSvgRenderer renderer(source);
    if (!renderer.isValid()) {
        std::fprintf(stderr, "listra-iconrender: cannot read %s\n", argv[1]);
        return 1;
    }

    for (int i = 3; i < argc; ++i) {
        bool ok = false;
        const int size = QByteArray(argv[i]).toInt(&ok);
        if (!ok || size < 1 || size > 4096) {
            std::fprintf(stderr, "listra-iconrender: bad size '%s'\n", argv[i]);
            return 2;
        }
        const QString folder = QStringLiteral("%1x%1/apps").arg(size);
        if (!output.mkpath(folder)) {
            std::fprintf(stderr, "listra-iconrender: cannot create %s\n", qPrintable(output.filePath(folder)));
            return 1;
        }

        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter);
        painter.end();

        const QString file = output.filePath(folder + QStringLiteral("/listra.png"));
        // Straight alpha is what PNG stores; converting first keeps edge pixels exact.
        if (!image.convertToFormat(QImage::Format_ARGB32).save(file, "PNG")) {
            std::fprintf(stderr, "listra-iconrender: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
