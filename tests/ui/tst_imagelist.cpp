#include "ui/ImageList.h"

#include <QImage>
#include <QTest>

using namespace Lanyard;

class tst_ImageList : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void indexesAndKeys();
    void resourceIconsRender_data();
    void resourceIconsRender();
};

void tst_ImageList::indexesAndKeys()
{
    ImageList images;
    QCOMPARE(images.imageSize(), QSize(16, 16));
    const QIcon group = ImageList::resourceIcon(QStringLiteral("GROUP"));
    const QIcon app = ImageList::resourceIcon(QStringLiteral("APP"));
    QCOMPARE(images.add(group, QStringLiteral("GROUP")), 1);
    QCOMPARE(images.add(app), 2);
    QCOMPARE(images.add(app), 3);
    QCOMPARE(images.count(), 3);
    QCOMPARE(images.indexOf(QStringLiteral("GROUP")), 1);
    QCOMPARE(images.indexOf(QStringLiteral("group")), 0);
    QCOMPARE(images.key(2), QString());
    QCOMPARE(images.icon(QStringLiteral("GROUP")).cacheKey(), group.cacheKey());
    QVERIFY(images.icon(0).isNull());
    QVERIFY(images.icon(4).isNull());
    images.clear();
    QCOMPARE(images.count(), 0);
}

void tst_ImageList::resourceIconsRender_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("size");
    for (const char *name : {"GROUP", "APP", "EXE", "TEXT"}) {
        QTest::addRow("%s-16", name) << QString::fromLatin1(name) << 16;
        QTest::addRow("%s-32", name) << QString::fromLatin1(name) << 32;
    }
}

void tst_ImageList::resourceIconsRender()
{
    QFETCH(QString, name);
    QFETCH(int, size);
    const QIcon icon = ImageList::resourceIcon(name);
    QVERIFY(!icon.isNull());
    // Scalable artwork: the requested size is drawn, not a scaled-up 16-pixel image.
    const QImage image = icon.pixmap(QSize(size, size)).toImage();
    QCOMPARE(image.size(), QSize(size, size));
    int opaque = 0;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x)
            opaque += qAlpha(image.pixel(x, y)) > 200 ? 1 : 0;
    }
    QVERIFY2(opaque > size * size / 3, qPrintable(QString::number(opaque)));
    QVERIFY(ImageList::resourceIcon(QStringLiteral("NONE")).isNull());
}

QTEST_MAIN(tst_ImageList)
#include "tst_imagelist.moc"
