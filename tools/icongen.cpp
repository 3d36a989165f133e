// Draws KAPLO's application icon at the hicolor sizes: a news sheet with a
// download arrow. Run by scripts/make-icons.sh; the PNGs are committed.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

static QImage draw(int size)
{
    QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 256.0, size / 256.0);

    // Background tile.
    QLinearGradient bg(0, 0, 0, 256);
    bg.setColorAt(0, QColor(0x2f, 0x7d, 0xc4));
    bg.setColorAt(1, QColor(0x1b, 0x4a, 0x86));
    p.setPen(Qt::NoPen);
    p.setBrush(bg);
    p.drawRoundedRect(QRectF(8, 8, 240, 240), 44, 44);

    // The news sheet.
    p.setBrush(QColor(0xfa, 0xfa, 0xf5));
    p.drawRoundedRect(QRectF(52, 36, 152, 150), 12, 12);
    p.setBrush(QColor(0x9a, 0xa8, 0xb8));
    p.drawRect(QRectF(72, 58, 112, 16));
    for (int i = 0; i < 3; ++i)
        p.drawRect(QRectF(72, 88 + i * 20, 112, 8));

    // The download arrow into a tray.
    p.setBrush(QColor(0xf5, 0x9e, 0x0b));
    QPainterPath arrow;
    arrow.moveTo(110, 108);
    arrow.lineTo(146, 108);
    arrow.lineTo(146, 160);
    arrow.lineTo(172, 160);
    arrow.lineTo(128, 206);
    arrow.lineTo(84, 160);
    arrow.lineTo(110, 160);
    arrow.closeSubpath();
    p.drawPath(arrow);
    p.setBrush(QColor(0xff, 0xff, 0xff));
    p.drawRoundedRect(QRectF(60, 214, 136, 14), 7, 7);
    return img;
}

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("icons");
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString dir = QStringLiteral("%1/hicolor/%2x%2/apps").arg(out).arg(size);
        QDir().mkpath(dir);
        if (!draw(size).save(dir + QStringLiteral("/kaplo.png")))
            return 1;
    }
    return 0;
}
