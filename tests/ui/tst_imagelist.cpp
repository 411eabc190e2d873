#include "ui/ImageList.h"

#include <QImage>
#include <QTest>

using namespace Lanyard;
using namespace Qt::StringLiterals;

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

    void lookups_data()
    {
        // Looked up in {GROUP, APP, an unnamed image} by one-based index (a number) or by key (a
        // text, case-sensitive): whether an image is found, and the key at the place found.
        QTest::addColumn<QVariant>("at");
        QTest::addColumn<bool>("found");
        QTest::addColumn<QString>("key");
        QTest::newRow("first") << QVariant(1) << true << "GROUP";
        QTest::newRow("unnamed") << QVariant(3) << true << "";
        QTest::newRow("index-0") << QVariant(0) << false << "";
        QTest::newRow("past-the-end") << QVariant(4) << false << "";
        QTest::newRow("by-key") << QVariant(u"APP"_s) << true << "APP";
        QTest::newRow("key-of-other-case") << QVariant(u"app"_s) << false << "";
    }

    void lookups()
    {
        QFETCH(QVariant, at);
        QFETCH(bool, found);
        QFETCH(QString, key);
        ImageList images = ImageList::ofResources({u"GROUP"_s, u"APP"_s});
        images.add(ImageList::resourceIcon(u"TEXT"_s));
        const bool byKey = at.typeId() == QMetaType::QString;
        QCOMPARE((byKey ? images.icon(at.toString()) : images.icon(at.toInt())).isNull(), !found);
        QCOMPARE(images.key(byKey ? images.indexOf(at.toString()) : at.toInt()), key);
    }
};

QTEST_MAIN(tst_ImageList)
#include "tst_imagelist.moc"
