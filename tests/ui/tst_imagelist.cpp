#include "ui/ImageList.h"

#include <QImage>
#include <QTest>

using namespace Lanyard;

class tst_ImageList : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void resourceIconsRender_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("size");
        for (const char *name : {"GROUP", "APP", "EXE", "TEXT"}) {
            for (int size : {16, 32})
                QTest::addRow("%s-%d", name, size) << QString::fromLatin1(name) << size;
        }
    }

    void resourceIconsRender()
    {
        QFETCH(QString, name);
        QFETCH(int, size);
        // Scalable artwork: the requested size is drawn, not a scaled-up 16-pixel image.
        const QImage image = ImageList::resourceIcon(name).pixmap(QSize(size, size)).toImage();
        QCOMPARE(image.size(), QSize(size, size));
        int opaque = 0;
        for (int y = 0; y < size; ++y) {
            for (int x = 0; x < size; ++x)
                opaque += qAlpha(image.pixel(x, y)) > 200 ? 1 : 0;
        }
        QVERIFY2(opaque > size * size / 3, qPrintable(QString::number(opaque)));
        QVERIFY(ImageList::resourceIcon(QStringLiteral("NONE")).isNull());
    }
};

QTEST_MAIN(tst_ImageList)
#include "tst_imagelist.moc"
