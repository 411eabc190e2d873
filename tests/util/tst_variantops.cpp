#include "util/VariantOps.h"

#include <Lanyard/ComponentError.h>

#include <QTest>

#include <limits>

using namespace Lanyard;


class tst_VariantOps : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void toInt16_data();
    void toInt16();
    void holdsName_data();
    void holdsName();
    void toText_data();
    void toText();
};

void tst_VariantOps::toInt16_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<int>("expected");
    QTest::addColumn<int>("error"); // 0: none

    QTest::newRow("int") << QVariant(42) << 42 << 0;
    QTest::newRow("negative") << QVariant(-1) << -1 << 0;
    QTest::newRow("min") << QVariant(-32768) << -32768 << 0;
    QTest::newRow("max") << QVariant(32767) << 32767 << 0;
    QTest::newRow("above-max") << QVariant(32768) << 0 << 6;
    QTest::newRow("below-min") << QVariant(-32769) << 0 << 6;
    QTest::newRow("half-to-even-down") << QVariant(2.5) << 2 << 0;
    QTest::newRow("half-to-even-up") << QVariant(3.5) << 4 << 0;
    QTest::newRow("negative-half") << QVariant(-2.5) << -2 << 0;
    QTest::newRow("below-half") << QVariant(1.49) << 1 << 0;
    QTest::newRow("above-half") << QVariant(1.51) << 2 << 0;
    QTest::newRow("rounds-into-overflow") << QVariant(32767.5) << 0 << 6;
    QTest::newRow("rounds-to-max") << QVariant(32767.4) << 32767 << 0;
    QTest::newRow("nan") << QVariant(std::numeric_limits<double>::quiet_NaN()) << 0 << 6;
    QTest::newRow("infinity") << QVariant(std::numeric_limits<double>::infinity()) << 0 << 6;
    QTest::newRow("huge-long-long") << QVariant(qlonglong(1) << 40) << 0 << 6;
    QTest::newRow("bool-true") << QVariant(true) << -1 << 0;
    QTest::newRow("bool-false") << QVariant(false) << 0 << 0;
    QTest::newRow("numeric-text") << QVariant(QStringLiteral(" 7 ")) << 7 << 0;
    QTest::newRow("text-half") << QVariant(QStringLiteral("0.5")) << 0 << 0;
    QTest::newRow("word") << QVariant(QStringLiteral("Tools")) << 0 << 13;
    QTest::newRow("empty-text") << QVariant(QString()) << 0 << 13;
    QTest::newRow("no-value") << QVariant() << 0 << 13;
    QTest::newRow("list") << QVariant(QVariantList{1}) << 0 << 13;
}

void tst_VariantOps::toInt16()
{
    QFETCH(QVariant, value);
    QFETCH(int, expected);
    QFETCH(int, error);
    try {
        const qint16 result = VariantOps::toInt16(value);
        QCOMPARE(error, 0);
        QCOMPARE(int(result), expected);
    } catch (const ComponentError &e) {
        QCOMPARE(e.number(), error);
    }
}

void tst_VariantOps::holdsName_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<bool>("name");

    QTest::newRow("string-of-digits") << QVariant(QStringLiteral("0")) << true;
    QTest::newRow("empty-string") << QVariant(QString()) << true;
    QTest::newRow("bytes") << QVariant(QByteArray("Tools")) << true;
    QTest::newRow("int") << QVariant(0) << false;
    QTest::newRow("double") << QVariant(1.0) << false;
    QTest::newRow("no-value") << QVariant() << false;
}

void tst_VariantOps::holdsName()
{
    QFETCH(QVariant, value);
    QFETCH(bool, name);
    QCOMPARE(VariantOps::holdsName(value), name);
}

void tst_VariantOps::toText_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("mismatch");

    QTest::newRow("string") << QVariant(QStringLiteral("a b")) << QStringLiteral("a b") << false;
    QTest::newRow("empty-string") << QVariant(QString()) << QString() << false;
    QTest::newRow("number") << QVariant(5) << QStringLiteral("5") << false;
    QTest::newRow("list") << QVariant(QVariantList{QStringLiteral("x")}) << QString() << true;
    QTest::newRow("map") << QVariant(QVariantMap{}) << QString() << true;
}

void tst_VariantOps::toText()
{
    QFETCH(QVariant, value);
    QFETCH(QString, text);
    QFETCH(bool, mismatch);
    try {
        QCOMPARE(VariantOps::toText(value), text);
        QVERIFY(!mismatch);
    } catch (const ComponentError &e) {
        QVERIFY(mismatch);
        QCOMPARE(e.code(), ErrorCode::TypeMismatch);
    }
}

QTEST_GUILESS_MAIN(tst_VariantOps)
#include "tst_variantops.moc"
