// SPDX-License-Identifier: MIT
// The interface by name is the meta-object (QML, invokeMethod, Python) and invoke(), which reads
// the meta-object. This checks it against the typed members of the installed header, both
// ways: a public member without its by-name declaration, or a by-name declaration without its
// public member, fails here. (A declaration without its forwarder does not compile.)
#include <Lanyard/ExternalApps.h>
#include <Lanyard/ToolRun.h>
#include <Lanyard/ToolsMenu.h>

#include <QFile>
#include <QMetaMethod>
#include <QMetaProperty>
#include <QRegularExpression>
#include <QTest>

using namespace Lanyard;
using namespace Qt::StringLiterals;

namespace {

/// The names of the public members that ExternalApps.h declares, without the ones that only
/// C++ has: the constructor, entry() (a Result) and invoke() itself.
QStringList typedMembers()
{
    QFile header(QStringLiteral(LANYARD_SOURCE_DIR "/include/Lanyard/ExternalApps.h"));
    if (!header.open(QIODevice::ReadOnly))
        return {};
    const QString text = QString::fromUtf8(header.readAll());
    const qsizetype from = text.indexOf(u"\npublic:"_s);
    const QString members = text.mid(from, text.indexOf(u"Q_SIGNALS:"_s) - from);
    static const QRegularExpression declaration(uR"(^    (?![ /*])[^(]*?\b(\w+)\()"_s,
                                                QRegularExpression::MultilineOption);
    QStringList names;
    for (const QRegularExpressionMatch &match : declaration.globalMatch(members)) {
        if (!match.captured(0).contains(u"Q_"_s)) // the by-name declarations themselves
            names << match.captured(1);
    }
    names.removeDuplicates();
    for (const QString &cppOnly : {u"ExternalApps"_s, u"entry"_s, u"invoke"_s})
        names.removeAll(cppOnly);
    return names;
}

/// The by-name form of a typed member: setX is a let of X, any other a get or a call of its name.
bool reachableByName(ExternalApps &apps, const QString &name)
{
    // More arguments than any member takes: a member that is there says so without running.
    const QVariantList tooMany(20);
    const auto found = [&](const QString &member, const QString &kind) {
        return apps.invoke(member, kind, tooMany).value(u"error"_s).toInt() == int(ErrorCode::WrongArgumentCount);
    };
    if (name.startsWith(u"set"))
        return found(name.mid(3), u"let"_s);
    return found(name, u"get"_s) || found(name, u"call"_s);
}

} // namespace

class tst_MemberTable : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void everyPublicMemberIsThereByName()
    {
        const QStringList names = typedMembers();
        QVERIFY2(names.size() >= 35, qPrintable(names.join(u' ')));
        ExternalApps apps;
        QStringList missing;
        for (const QString &name : names) {
            if (!reachableByName(apps, name))
                missing << name;
        }
        QVERIFY2(missing.isEmpty(), qPrintable(u"not reachable by name: "_s + missing.join(u", ")));
    }

    void everyByNameMemberIsPublic()
    {
        const QStringList names = typedMembers();
        const QMetaObject &meta = ExternalApps::staticMetaObject;
        QStringList stray;
        for (int i = meta.propertyOffset(); i < meta.propertyCount(); ++i) {
            const QString name = QString::fromLatin1(meta.property(i).name());
            if (!names.contains(name))
                stray << name;
        }
        for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
            const QMetaMethod method = meta.method(i);
            const QString name = QString::fromLatin1(method.name());
            if (method.methodType() == QMetaMethod::Slot && !names.contains(name))
                stray << name;
        }
        QVERIFY2(stray.isEmpty(), qPrintable(u"by name without a public member: "_s + stray.join(u", ")));
    }

    // A QML binding follows every property that can change.
    void everyPropertyNotifies()
    {
        QStringList silent;
        for (const QMetaObject *meta :
             {&ExternalApps::staticMetaObject, &ToolsMenu::staticMetaObject, &ToolRun::staticMetaObject}) {
            for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i) {
                const QMetaProperty property = meta->property(i);
                if (!property.hasNotifySignal() && !property.isConstant())
                    silent << QString::fromLatin1(meta->className()) + u"::"_s + QString::fromLatin1(property.name());
            }
        }
        QVERIFY2(silent.isEmpty(), qPrintable(silent.join(u", ")));
    }
};

QTEST_GUILESS_MAIN(tst_MemberTable)
#include "tst_membertable.moc"
