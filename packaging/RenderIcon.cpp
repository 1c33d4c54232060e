// tallyglass-render-icon SVG SIZE PNG: draws the SVG picture into a square PNG image of SIZE
// pixels, for the icon theme's fixed sizes. Runs at build time, without a display.
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fputs("Usage: tallyglass-render-icon SVG SIZE PNG\n", stderr);
        return 2;
    }
    const int size = std::atoi(argv[2]);
    if (size < 1 || size > 4096) {
        std::fprintf(stderr, "tallyglass-render-icon: bad size '%s'\n", argv[2]);
        return 2;
    }
    // Drawing shapes into an image is plain raster work: it needs no application object, no
    // platform plugin and no display (text would need fonts; the artwork has none).
    QSvgRenderer renderer(QString::fromLocal8Bit(argv[1]));
    if (!renderer.isValid()) {
        std::fprintf(stderr, "tallyglass-render-icon: cannot read '%s'\n", argv[1]);
        return 1;
    }
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter);
    }
    if (!image.save(QString::fromLocal8Bit(argv[3]), "PNG")) {
        std::fprintf(stderr, "tallyglass-render-icon: cannot write '%s'\n", argv[3]);
        return 1;
    }
    return 0;
}
