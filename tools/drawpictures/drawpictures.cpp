// Draws the program's pictures: the title-bar button icons of the skin and the message-box icons.
// Everything is drawn from shapes (no fonts), so the output is the same on every machine.
// Usage: vantrel-drawpictures <output folder>; writes Skin/buttons/*.png and Res/*.png below it.
#include <cstdio>
#include <functional>

#include <QColor>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QString>

namespace {

const QColor kGlyph(60, 60, 60);
const int kButtonSize = 20;
const int kIconSize = 48;

using Drawer = std::function<void(QPainter&)>;

bool writePicture(const QString& strPath, int nSize, const Drawer& draw)
{
    QImage image(nSize, nSize, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    draw(painter);
    painter.end();
    if (!image.save(strPath, "PNG")) {
        std::fprintf(stderr, "drawpictures: cannot write %s\n", qPrintable(strPath));
        return false;
    }
    return true;
}

QPen glyphPen(const QColor& color, qreal width)
{
    return QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void drawMinimise(QPainter& painter)
{
    painter.setPen(glyphPen(kGlyph, 2));
    painter.drawLine(QPointF(5, 14), QPointF(15, 14));
}

void drawMaximise(QPainter& painter)
{
    painter.setPen(glyphPen(kGlyph, 2));
    painter.drawRect(QRectF(5, 5, 10, 10));
}

void drawRestore(QPainter& painter)
{
    // Two overlapping windows: the back one only shows its top and right edges.
    painter.setPen(glyphPen(kGlyph, 2));
    painter.drawRect(QRectF(4, 8, 8, 8));
    painter.drawPolyline(QPolygonF({QPointF(8, 5), QPointF(15, 5), QPointF(15, 12)}));
}

void drawClose(QPainter& painter)
{
    painter.setPen(glyphPen(kGlyph, 2));
    painter.drawLine(QPointF(5, 5), QPointF(15, 15));
    painter.drawLine(QPointF(15, 5), QPointF(5, 15));
}

void drawDisc(QPainter& painter, const QColor& color)
{
    painter.setPen(QPen(color.darker(130), 2));
    painter.setBrush(color);
    painter.drawEllipse(QRectF(2, 2, kIconSize - 4, kIconSize - 4));
}

void drawInformation(QPainter& painter)
{
    drawDisc(painter, QColor(30, 120, 210));
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    painter.drawEllipse(QPointF(24, 13), 3.5, 3.5);
    painter.drawRoundedRect(QRectF(20.5, 20, 7, 18), 2, 2);
}

void drawError(QPainter& painter)
{
    drawDisc(painter, QColor(210, 45, 40));
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    painter.drawRoundedRect(QRectF(20.5, 10, 7, 20), 3, 3);
    painter.drawEllipse(QPointF(24, 36), 3.5, 3.5);
}

void drawQuestion(QPainter& painter)
{
    drawDisc(painter, QColor(40, 150, 90));
    QPainterPath hook;
    hook.moveTo(17, 18);
    hook.arcTo(QRectF(17, 10, 14, 14), 180, -270);
    hook.quadTo(QPointF(24, 25), QPointF(24, 29));
    painter.setPen(glyphPen(Qt::white, 5));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(hook);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    painter.drawEllipse(QPointF(24, 37), 3.5, 3.5);
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
        return 2;
    }
    const QDir root(QString::fromLocal8Bit(argv[1]));
    const QString strSkin = root.filePath(QStringLiteral("Skin/buttons"));
    const QString strRes = root.filePath(QStringLiteral("Res"));
    if (!QDir().mkpath(strSkin) || !QDir().mkpath(strRes)) {
        std::fprintf(stderr, "drawpictures: cannot create folders below %s\n", argv[1]);
        return 1;
    }

    struct Picture
    {
        QString strPath;
        int nSize;
        Drawer draw;
    };
    const Picture pictures[] = {
        {strSkin + QStringLiteral("/sys_min.png"), kButtonSize, drawMinimise},
        {strSkin + QStringLiteral("/sys_max.png"), kButtonSize, drawMaximise},
        {strSkin + QStringLiteral("/sys_normal.png"), kButtonSize, drawRestore},
        {strSkin + QStringLiteral("/sys_cls.png"), kButtonSize, drawClose},
        {strRes + QStringLiteral("/infomation.png"), kIconSize, drawInformation},
        {strRes + QStringLiteral("/error.png"), kIconSize, drawError},
        {strRes + QStringLiteral("/question.png"), kIconSize, drawQuestion},
    };
    for (const Picture& picture : pictures) {
        if (!writePicture(picture.strPath, picture.nSize, picture.draw))
            return 1;
    }
    return 0;
}
