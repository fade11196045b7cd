// The pictures the build draws: the skin's button icons beside the executable and the message-box
// icons inside the program's resources. Each is a real PNG of a usable size and each looks different.
#include <QApplication>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QtTest>

#include "widgets/CMessageBox.h"

class TestGuiKitPictures : public QObject
{
    Q_OBJECT

private slots:
    void picturesArePngsOfTheirOwn();
};

void TestGuiKitPictures::picturesArePngsOfTheirOwn()
{
    // Building a box links and registers the resources, as in the program.
    CMessageBox box(1, QStringLiteral("T"), QStringLiteral("x"));

    const QString strSkin = QCoreApplication::applicationDirPath() + QStringLiteral("/Skin/buttons/");
    const QStringList lstPaths = {
        strSkin + QStringLiteral("sys_min.png"),
        strSkin + QStringLiteral("sys_max.png"),
        strSkin + QStringLiteral("sys_normal.png"),
        strSkin + QStringLiteral("sys_cls.png"),
        CMessageBox::iconPath(1),
        CMessageBox::iconPath(2),
        CMessageBox::iconPath(4),
    };
    QCOMPARE(CMessageBox::iconPath(1), QStringLiteral(":/Pellmar/Res/infomation.png"));
    QCOMPARE(CMessageBox::iconPath(2), QStringLiteral(":/Pellmar/Res/error.png"));
    QCOMPARE(CMessageBox::iconPath(3), QStringLiteral(":/Pellmar/Res/error.png"));
    QCOMPARE(CMessageBox::iconPath(4), QStringLiteral(":/Pellmar/Res/question.png"));
    QVERIFY(CMessageBox::iconPath(0).isEmpty());
    QVERIFY(CMessageBox::iconPath(5).isEmpty());

    QList<QImage> lstImages;
    for (const QString& strPath : lstPaths) {
        QFile file(strPath);
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(strPath));
        const QByteArray baData = file.readAll();
        QVERIFY2(baData.startsWith("\x89PNG\r\n\x1a\n"), qPrintable(strPath));
        QImageReader reader(strPath);
        QCOMPARE(reader.format(), QByteArray("png"));
        const QImage image = reader.read();
        QVERIFY2(!image.isNull(), qPrintable(strPath));
        QVERIFY2(image.width() >= 16 && image.width() <= 128, qPrintable(strPath));
        QCOMPARE(image.width(), image.height());
        QVERIFY(image.hasAlphaChannel());
        // Something is drawn, and not everywhere.
        int nOpaque = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x)
                nOpaque += qAlpha(image.pixel(x, y)) > 128 ? 1 : 0;
        }
        QVERIFY2(nOpaque > 10 && nOpaque < image.width() * image.height(), qPrintable(strPath));
        const QImage converted = image.convertToFormat(QImage::Format_ARGB32);
        for (const QImage& other : lstImages)
            QVERIFY2(converted != other, qPrintable(strPath + QStringLiteral(" looks like another picture")));
        lstImages << converted;
    }
}

QTEST_MAIN(TestGuiKitPictures)
#include "tst_gui_kitpictures.moc"
