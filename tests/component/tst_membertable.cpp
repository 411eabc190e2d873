// The late-bound table and the meta-object (QML, invokeMethod, Python) declare the same members:
// a row without its declaration, or a declaration without its row, fails here. A member of the
// table is declared as
//   get without arguments          a readable property of its name
//   let of one value               a writable property of its name
//   let with arguments             a method set<Name> taking the arguments and the value
//   get with arguments, call       a method of its name for each number of arguments it takes
#include "component/LateBinding.h"

#include <Lanyard/ExternalApps.h>

#include <QMetaMethod>
#include <QTest>

using namespace Lanyard;

class tst_MemberTable : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void tableAndMetaObjectDeclareTheSameMembers()
    {
        QStringList fromTable;
        for (const LateBinding::Row &row : LateBinding::rows()) {
            if (row.maxArgs == 0 && row.kind == u"get") {
                fromTable << row.name + QStringLiteral(" readable");
            } else if (row.maxArgs == 1 && row.kind == u"let") {
                fromTable << row.name + QStringLiteral(" writable");
            } else if (row.kind == u"let") {
                fromTable << QStringLiteral("set") + row.name + u'/' + QString::number(row.maxArgs);
            } else {
                for (int n = row.minArgs; n <= row.maxArgs; ++n)
                    fromTable << row.name + u'/' + QString::number(n);
            }
        }
        QStringList fromMeta;
        const QMetaObject &meta = ExternalApps::staticMetaObject;
        for (int i = meta.propertyOffset(); i < meta.propertyCount(); ++i) {
            const QMetaProperty property = meta.property(i);
            fromMeta << QString::fromLatin1(property.name()) + QStringLiteral(" readable");
            if (property.isWritable())
                fromMeta << QString::fromLatin1(property.name()) + QStringLiteral(" writable");
        }
        for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
            const QMetaMethod method = meta.method(i);
            if (method.methodType() != QMetaMethod::Signal && method.name() != "invoke")
                fromMeta << QString::fromLatin1(method.name()) + u'/' + QString::number(method.parameterCount());
        }
        fromTable.sort();
        fromMeta.sort();
        QCOMPARE(fromMeta, fromTable);
    }
};

QTEST_GUILESS_MAIN(tst_MemberTable)
#include "tst_membertable.moc"
