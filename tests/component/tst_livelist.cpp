// SPDX-License-Identifier: MIT
// The live list on the real watch: the file followed wherever it is; what holds a reload back.
#include "common/Catalogue.h"
#include "common/Files.h"
#include "common/LanyardProcess.h"
#include "ui/ModalDriver.h"

#include <Lanyard/ExternalApps.h>

#include <QApplication>
#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

using namespace Qt::StringLiterals;
using Lanyard::ExternalApps;

namespace {

constexpr int patienceMs = 10000;

QByteArray line(const QString &name) { return (u"Edit,"_s + name + u",/bin/true,,0\r\n"_s).toUtf8(); }

QStringList namesOf(const ExternalApps &apps)
{
    return dump(apps).replaceInStrings(QRegularExpression(u"^[^|]*\\|([^|]*)\\|.*"_s), u"\\1"_s);
}

QStringList inotifyWatches()
{
    QString all;
    for (const QString &fd : QDir(u"/proc/self/fdinfo"_s).entryList(QDir::Files))
        all += QString::fromLatin1(TestFiles::read(u"/proc/self/fdinfo/"_s + fd));
    QStringList watches = all.split(u'\n').filter(QRegularExpression(u"^inotify "_s));
    watches.replaceInStrings(QRegularExpression(u"^inotify (\\S+ \\S+).*"_s), u"\\1"_s).sort();
    return watches;
}

QTreeWidget *programList()
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->objectName() == u"frmEditApps"_s && w->isVisible())
            return w->findChild<QTreeWidget *>(u"tvGroup"_s);
    return nullptr;
}

} // namespace

class tst_LiveList : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QString list() const { return m_dir->filePath(u"tools.lst"_s); }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(TestFiles::write(list(), line(u"vi"_s)));
    }

    // A full queue: the overflow alone brings the reload. The unsaved change and the watches stay.
    void followsTheFileWhereverItIs_data()
    {
        QTest::addColumn<QString>("how");
        for (const char *how :
             {"replaced-by-rename", "link-target-replaced", "link-pointed-elsewhere", "appears", "full-event-queue"})
            QTest::newRow(how) << QString::fromLatin1(how);
    }
    void followsTheFileWhereverItIs()
    {
        QFETCH(QString, how);
        QTemporaryDir elsewhere;
        const QString target = elsewhere.filePath(u"real.lst"_s), second = elsewhere.filePath(u"second.lst"_s);
        if (how.startsWith(u"link") || how == u"appears")
            QVERIFY(QFile::remove(list()));
        if (how.startsWith(u"link"))
            QVERIFY(TestFiles::write(target, line(u"vi"_s)) && QFile::link(target, list()));
        ExternalApps mine;
        mine.setEXTFile(list());
        const QStringList watched = inotifyWatches();
        QVERIFY(!watched.isEmpty() && mine.AddApp(u"Mine"_s, u"unsaved"_s, u"/bin/true"_s, QString(), false));
        if (how == u"full-event-queue") {
            const int queued = TestFiles::read(u"/proc/sys/fs/inotify/max_queued_events"_s).trimmed().toInt();
            QVERIFY(queued > 0 && queued <= 1 << 20);
            for (int i = 0; i <= queued / 2; ++i) // two events a file
                QVERIFY(TestFiles::write(m_dir->filePath(u"flood-%1"_s.arg(i)), QByteArray()));
        }
        const QByteArray both = line(u"vi"_s) + line(u"tool"_s);
        QVERIFY(how == u"link-pointed-elsewhere"
                    ? TestFiles::write(second, both) && QFile::remove(list()) && QFile::link(second, list())
                    : TestFiles::replace(how == u"link-target-replaced" ? target : list(), both));
        QTRY_COMPARE_WITH_TIMEOUT(namesOf(mine), (QStringList{u"vi"_s, u"tool"_s, u"unsaved"_s}), patienceMs);
        if (how == u"link-target-replaced") {
            QVERIFY(TestFiles::replace(target, line(u"again"_s)));
            QTRY_COMPARE_WITH_TIMEOUT(namesOf(mine), (QStringList{u"again"_s, u"unsaved"_s}), patienceMs);
        }
        QCOMPARE(inotifyWatches(), watched);
    }

    // The window holds again when opened a second time; another object shows the change at once.
    void holdsTheReloadUntilOver_data()
    {
        QTest::addColumn<int>("opened");
        QTest::newRow("program-list-window") << 2;
        QTest::newRow("missing-program-box") << 0;
    }
    void holdsTheReloadUntilOver()
    {
        QFETCH(int, opened);
        ExternalApps mine, witness;
        mine.setEXTFile(list()), witness.setEXTFile(list());
        QVERIFY(mine.AddApp(u"Gone"_s, u"prog"_s, u"/no/such/program"_s, QString(), false));
        QStringList own;
        const auto another = [&](const QString &name) {
            QVERIFY(LanyardProcess::run({u"--file"_s, list(), u"add"_s, u"Edit"_s, name, u"/bin/true"_s}).status == 0);
            QTRY_VERIFY_WITH_TIMEOUT(namesOf(witness).contains(name), patienceMs);
            QCOMPARE(namesOf(mine), own);
        };
        for (int time = 1; time <= opened; ++time) {
            own = namesOf(mine), mine.ShowForm(0);
            another(u"other%1"_s.arg(time));
            QVERIFY(programList());
            QStringList rows;
            for (QTreeWidgetItemIterator it(programList(), QTreeWidgetItemIterator::NoChildren); *it; ++it)
                rows << (*it)->text(0);
            QCOMPARE(rows, own);
            if (time == 2) // merged; what it found comes with the reload
                QVERIFY(mine.save());
            QVERIFY(programList()->window()->close());
            QTRY_VERIFY_WITH_TIMEOUT(namesOf(mine).contains(u"other%1"_s.arg(time)), patienceMs);
        }
        if (opened > 0)
            return;
        bool shown = false;
        own = namesOf(mine);
        UiTest::whenModalShown(u"lanyardMissingProgram"_s, [&](QWidget *box) {
            shown = true, another(u"during-the-box"_s);
            box->close();
        });
        QVERIFY(!mine.ExecuteApp(u"Gone"_s, u"prog"_s) && shown);
        QTRY_VERIFY_WITH_TIMEOUT(namesOf(mine).contains(u"during-the-box"_s), patienceMs);
    }
};

QTEST_MAIN(tst_LiveList)
#include "tst_livelist.moc"
