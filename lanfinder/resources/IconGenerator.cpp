// Paints the application icon (a radar screen with its sweep and a found
// device) and writes it as PNGs for desktop packaging and as a multi-size
// Windows icon for the Qt resource. Run by hand when the design changes:
//   lanfinder_icon_generator <output folder>
// The generated files are committed; the build does not run this.

#include <QBuffer>
#include <QColor>
#include <QConicalGradient>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QtMath>
#include <cstdio>
#include <vector>

namespace {

QImage paintIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    const QPointF c(s / 2, s / 2);
    const qreal r = s * 0.47;

    // Screen: a dark disc with a thin bright rim.
    QRadialGradient screen(c, r);
    screen.setColorAt(0.0, QColor(0x0f, 0x4c, 0x5c));
    screen.setColorAt(1.0, QColor(0x06, 0x1d, 0x2b));
    p.setBrush(screen);
    p.setPen(QPen(QColor(0x4f, 0xd1, 0xc5), qMax<qreal>(1.0, s / 32)));
    p.drawEllipse(c, r, r);

    // Range rings and cross hairs; the small sizes keep only one ring.
    const QColor grid(0x4f, 0xd1, 0xc5, 110);
    p.setPen(QPen(grid, qMax<qreal>(0.8, s / 64)));
    p.setBrush(Qt::NoBrush);
    const int rings = size >= 32 ? 2 : 1;
    for (int i = 1; i <= rings; ++i) {
        const qreal rr = r * i / (rings + 1);
        p.drawEllipse(c, rr, rr);
    }
    if (size >= 24) {
        p.drawLine(QPointF(c.x() - r, c.y()), QPointF(c.x() + r, c.y()));
        p.drawLine(QPointF(c.x(), c.y() - r), QPointF(c.x(), c.y() + r));
    }

    // The sweep turns clockwise: its trail fades out counter-clockwise behind the beam.
    const qreal beamDeg = 45.0;
    QConicalGradient sweep(c, beamDeg);
    sweep.setColorAt(0.0, QColor(0x7c, 0xff, 0x9e, 230));
    sweep.setColorAt(0.20, QColor(0x7c, 0xff, 0x9e, 40));
    sweep.setColorAt(0.21, QColor(0x7c, 0xff, 0x9e, 0));
    sweep.setColorAt(1.0, QColor(0x7c, 0xff, 0x9e, 0));
    QPainterPath wedge;
    wedge.moveTo(c);
    wedge.arcTo(QRectF(c.x() - r, c.y() - r, 2 * r, 2 * r), beamDeg, 72.0);
    wedge.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(sweep);
    p.drawPath(wedge);

    // The beam itself.
    const qreal a = qDegreesToRadians(beamDeg);
    p.setPen(QPen(QColor(0xb8, 0xff, 0xc8), qMax<qreal>(1.0, s / 28), Qt::SolidLine, Qt::RoundCap));
    p.drawLine(c, QPointF(c.x() + r * qCos(a), c.y() - r * qSin(a)));
    p.setPen(Qt::NoPen);

    // A found device: an amber blip with a halo.
    const QPointF blip(c.x() + r * 0.6 * qCos(qDegreesToRadians(78.0)),
                       c.y() - r * 0.6 * qSin(qDegreesToRadians(78.0)));
    const qreal br = qMax<qreal>(1.2, s / 14);
    QRadialGradient halo(blip, br * 2.2);
    halo.setColorAt(0.0, QColor(0xff, 0xb3, 0x29, 200));
    halo.setColorAt(1.0, QColor(0xff, 0xb3, 0x29, 0));
    p.setBrush(halo);
    p.drawEllipse(blip, br * 2.2, br * 2.2);
    p.setBrush(QColor(0xff, 0xc8, 0x4a));
    p.drawEllipse(blip, br, br);

    // Centre: the PC that is looking.
    p.setBrush(QColor(0xe8, 0xff, 0xf4));
    p.drawEllipse(c, qMax<qreal>(0.9, s / 24), qMax<qreal>(0.9, s / 24));
    p.end();
    return image.convertToFormat(QImage::Format_ARGB32);
}

// A 32-bit DIB entry: BITMAPINFOHEADER, bottom-up BGRA rows, then the AND mask.
QByteArray dibEntry(const QImage& image) {
    const int w = image.width();
    const int h = image.height();
    const int maskRow = ((w + 31) / 32) * 4;
    QByteArray out;
    QDataStream d(&out, QIODevice::WriteOnly);
    d.setByteOrder(QDataStream::LittleEndian);
    d << quint32(40) << qint32(w) << qint32(2 * h) << quint16(1) << quint16(32) << quint32(0)
      << quint32(w * h * 4 + maskRow * h) << qint32(0) << qint32(0) << quint32(0) << quint32(0);
    for (int y = h - 1; y >= 0; --y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < w; ++x) {
            d << quint8(qBlue(line[x])) << quint8(qGreen(line[x])) << quint8(qRed(line[x]))
              << quint8(qAlpha(line[x]));
        }
    }
    for (int y = h - 1; y >= 0; --y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        QByteArray row(maskRow, '\0');
        for (int x = 0; x < w; ++x) {
            if (qAlpha(line[x]) == 0) {
                row[x / 8] = char(quint8(row[x / 8]) | (0x80 >> (x % 8)));
            }
        }
        d.writeRawData(row.constData(), row.size());
    }
    return out;
}

QByteArray pngEntry(const QImage& image) {
    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return out;
}

bool writeIco(const QString& path, const std::vector<int>& sizes) {
    std::vector<QByteArray> entries;
    for (int size : sizes) {
        const QImage image = paintIcon(size);
        // The 256 px entry is stored as PNG, as Windows does.
        entries.push_back(size >= 256 ? pngEntry(image) : dibEntry(image));
    }
    QByteArray out;
    QDataStream d(&out, QIODevice::WriteOnly);
    d.setByteOrder(QDataStream::LittleEndian);
    d << quint16(0) << quint16(1) << quint16(sizes.size());
    quint32 offset = 6 + 16 * quint32(sizes.size());
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        const quint8 dim = sizes[i] >= 256 ? 0 : quint8(sizes[i]);
        d << dim << dim << quint8(0) << quint8(0) << quint16(1) << quint16(32)
          << quint32(entries[i].size()) << offset;
        offset += quint32(entries[i].size());
    }
    for (const QByteArray& e : entries) {
        d.writeRawData(e.constData(), e.size());
    }
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(out) == out.size();
}

}  // namespace

int main(int argc, char* argv[]) {
    QGuiApplication app(argc, argv);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(folder);
    const QDir dir(folder);
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        const QString png = dir.filePath(QStringLiteral("lanfinder-%1.png").arg(size));
        if (!paintIcon(size).save(png, "PNG")) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(png));
            return 1;
        }
    }
    const QString ico = dir.filePath(QStringLiteral("lanfinder.ico"));
    if (!writeIco(ico, {16, 24, 32, 48, 64, 128, 256})) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(ico));
        return 1;
    }
    return 0;
}
