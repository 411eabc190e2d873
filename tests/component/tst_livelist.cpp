// SPDX-License-Identifier: MIT
// A live launch list: objects on one list follow each other's saves, `lanyard` processes and
// editors, through links and replacements, keeping their own unsaved changes; a file that
// turns bad changes nothing; an open program list window holds the reload back until it closes.
#include "common/Catalogue.h"
#include "common/Files.h"
#include "common/LanyardProcess.h"
#include "ui/ModalDriver.h"

#include <Lanyard/ExternalApps.h>
#include <Lanyard/ToolsMenu.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QMenu>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <cstdio>
#include <memory>

using namespace Qt::StringLiterals;
using Lanyard::ExternalApps;
using Lanyard::ToolsMenu;

namespace {

// A reload comes within a second; the bound leaves room for a loaded machine.
constexpr int patienceMs = 10000;

QByteArray line(const QString &group, const QString &name)
{
    return (group + u',' + name + u",/bin/true,,0\r\n"_s).toUtf8();
}

/// Writes @p bytes beside @p path and renames it over, as editors and writers replace a file.
bool replace(const QString &path, const QByteArray &bytes)
{
    const QString temporary = path + u".new"_s;
    return TestFiles::write(temporary, bytes) && std::rename(qPrintable(temporary), qPrintable(path)) == 0;
}

/// A line no launch list holds: the file is refused whole.
const QByteArray nulLine("Bad,\0x,/bin/true,,0\r\n", 21);

bool runLanyard(const QString &list, const QStringList &arguments)
{
    return LanyardProcess::run(QStringList{u"--file"_s, list} + arguments).status == 0;
}

/// Runs the loop until a change just written has been read: ten times the watch's settling time.
/// A reload that comes later must say nothing either: the wait cannot fail a correct run.
void settle()
{
    QEventLoop settled;
    QTimer::singleShot(300, &settled, &QEventLoop::quit);
    settled.exec();
}

/// Counts the warnings that say a changed list was not read again.
class NotReadLog
{
public:
    NotReadLog()
    {
        s_count = 0;
        s_previous = qInstallMessageHandler(&NotReadLog::handle);
    }
    ~NotReadLog() { qInstallMessageHandler(s_previous); }
    NotReadLog(const NotReadLog &) = delete;
    NotReadLog &operator=(const NotReadLog &) = delete;
    static int count() { return s_count; }

private:
    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &message)
    {
        if (message.contains(u"not read again"_s))
            ++s_count;
        else
            s_previous(type, context, message);
    }
    static inline int s_count = 0;
    static inline QtMessageHandler s_previous = nullptr;
};

/// One object on a list, as a window of a host has it: its Tools menu follows catalogueChanged.
struct Window
{
    explicit Window(const QString &list)
    {
        apps.setEXTFile(list);
        QObject::connect(&apps, &ExternalApps::catalogueChanged, &tools, &ToolsMenu::rebuild);
    }
    bool menuHas(const QString &group, const QString &name) const
    {
        return tools.menu()->findChild<QAction *>(u"lanyard-tool/"_s + group + u'/' + name) != nullptr;
    }
    ExternalApps apps;
    ToolsMenu tools{&apps, u"&Tools"_s};
};

/// The program list window while it is shown, or null.
QWidget *programListWindow()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == u"frmEditApps"_s && widget->isVisible())
            return widget;
    }
    return nullptr;
}

QStringList treeRows()
{
    QStringList rows;
    const QWidget *window = programListWindow();
    const auto *tree = window ? window->findChild<QTreeWidget *>(u"tvGroup"_s) : nullptr;
    for (int g = 0; tree && g < tree->topLevelItemCount(); ++g) {
        for (int a = 0; a < tree->topLevelItem(g)->childCount(); ++a)
            rows << tree->topLevelItem(g)->text(0) + u'|' + tree->topLevelItem(g)->child(a)->text(0);
    }
    return rows;
}

/// The inotify watches this process holds: "wd:N ino:I" for each.
QStringList inotifyWatches()
{
    QStringList watches;
    for (const QString &fd : QDir(u"/proc/self/fd"_s).entryList(QDir::System | QDir::Files)) {
        if (QFile::symLinkTarget(u"/proc/self/fd/"_s + fd).endsWith(u"anon_inode:inotify"_s)) {
            QFile info(u"/proc/self/fdinfo/"_s + fd);
            if (!info.open(QIODevice::ReadOnly))
                continue;
            for (const QByteArray &row : info.readAll().split('\n')) {
                if (row.startsWith("inotify "))
                    watches << QString::fromLatin1(row.split(' ').mid(1, 2).join(' '));
            }
        }
    }
    watches.sort();
    return watches;
}

QStringList namesOf(const ExternalApps &apps)
{
    QStringList names;
    for (const QString &entry : dump(apps))
        names << entry.section(u'|', 0, 1);
    return names;
}

} // namespace

class tst_LiveList : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString list() const { return m_dir->filePath(u"tools.lst"_s); }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(TestFiles::write(list(), "; tools\r\n" + line(u"Edit"_s, u"vi"_s)));
    }

    // The other object's save, and a `lanyard add`, show in this object's menu; its own unsaved
    // changes (an add and a delete) stay, and its save then keeps everybody's.
    void otherWritersShowWithUnsavedChangesKept_data()
    {
        QTest::addColumn<bool>("byProcess");
        QTest::addColumn<QString>("ours"); // the unsaved change
        QTest::addColumn<QStringList>("after");
        // As the save will write them: a new group of its own goes after the file's.
        const QStringList newGroup{u"Edit|vi"_s, u"Other|saved"_s, u"Mine|unsaved"_s};
        QTest::newRow("another-object") << false << u"new-group-and-delete"_s << newGroup;
        QTest::newRow("lanyard-add") << true << u"new-group-and-delete"_s << newGroup;
        QTest::newRow("into-a-group-there-is")
            << false << u"into-a-group-there-is"_s
            << QStringList{u"Edit|vi"_s, u"Edit|ed"_s, u"Edit|unsaved"_s, u"Other|saved"_s};
        QTest::newRow("a-delete-alone") << false << u"delete"_s << QStringList{u"Edit|vi"_s, u"Other|saved"_s};
    }
    void otherWritersShowWithUnsavedChangesKept()
    {
        QFETCH(bool, byProcess);
        QFETCH(QString, ours);
        QFETCH(QStringList, after);
        TestFiles::write(list(), "; tools\r\n" + line(u"Edit"_s, u"vi"_s) + line(u"Edit"_s, u"ed"_s));
        Window mine(list());
        if (ours == u"into-a-group-there-is"_s)
            mine.apps.AddApp(u"Edit"_s, u"unsaved"_s, u"/bin/true"_s, QString(), false);
        if (ours == u"new-group-and-delete"_s)
            mine.apps.AddApp(u"Mine"_s, u"unsaved"_s, u"/bin/true"_s, QString(), false);
        if (ours != u"into-a-group-there-is"_s)
            mine.apps.DeleteApp(u"Edit"_s, u"ed"_s);
        QSignalSpy changed(&mine.apps, &ExternalApps::catalogueChanged);
        if (byProcess) {
            QVERIFY(runLanyard(list(), {u"add"_s, u"Other"_s, u"saved"_s, u"/bin/true"_s, QString()}));
        } else {
            ExternalApps other;
            other.setEXTFile(list());
            other.AddApp(u"Other"_s, u"saved"_s, u"/bin/true"_s, QString(), false);
            QVERIFY(other.save());
        }
        QTRY_VERIFY_WITH_TIMEOUT(mine.menuHas(u"Other"_s, u"saved"_s), patienceMs);
        QVERIFY(changed.count() >= 1);
        QCOMPARE(namesOf(mine.apps), after);
        QCOMPARE(mine.menuHas(u"Mine"_s, u"unsaved"_s), after.contains(u"Mine|unsaved"_s));
        QCOMPARE(mine.menuHas(u"Edit"_s, u"ed"_s), after.contains(u"Edit|ed"_s));

        QVERIFY(mine.apps.save());
        ExternalApps reader;
        reader.setEXTFile(list());
        QCOMPARE(namesOf(reader), after);
    }

    // An application written twice is one entry: changed while unsaved, it still stands for
    // both lines after another writer's save is read in, and its own save leaves one.
    void unsavedChangeOfAnEntryWrittenTwice()
    {
        QVERIFY(
            TestFiles::write(list(), "Edit,vi,/bin/vi,,0\r\n" + line(u"Edit"_s, u"vi"_s) + line(u"Edit"_s, u"ed"_s)));
        Window mine(list());
        mine.apps.setCmdLine(u"Edit"_s, u"vi"_s, u"-x"_s);
        ExternalApps other;
        other.setEXTFile(list());
        other.AddApp(u"Other"_s, u"saved"_s, u"/bin/true"_s, QString(), false);
        QVERIFY(other.save());
        QTRY_VERIFY_WITH_TIMEOUT(mine.menuHas(u"Other"_s, u"saved"_s), patienceMs);
        QVERIFY(mine.apps.save());
        const QByteArray file = TestFiles::read(list());
        QCOMPARE(file.count("Edit,vi,"), 1);
        QVERIFY2(file.contains("Edit,vi,/bin/true,-x,0\r\n"), file.constData());
    }

    // Another writer's entry that this object's limits leave out of a reload is still the
    // file's: this object's next save keeps it.
    void entriesBeyondTheLimitsSurviveTheNextSave()
    {
        Window mine(list());
        mine.apps.setMaxApps(1);
        // One entry beyond the object's room in Edit, and one it shows, so that the reload is seen.
        QVERIFY(replace(list(), "; tools\r\n" + line(u"Edit"_s, u"vi"_s) + line(u"Edit"_s, u"ed"_s)
                                    + line(u"Other"_s, u"saved"_s)));
        QTRY_VERIFY_WITH_TIMEOUT(mine.menuHas(u"Other"_s, u"saved"_s), patienceMs);
        QVERIFY(!mine.menuHas(u"Edit"_s, u"ed"_s));
        mine.apps.setCmdLine(u"Edit"_s, u"vi"_s, u"-x"_s);
        QVERIFY(mine.apps.save());
        const QByteArray file = TestFiles::read(list());
        QVERIFY2(file.contains("Edit,ed,/bin/true,,0") && file.contains("Edit,vi,/bin/true,-x,0"), file.constData());
    }

    // A rename not yet saved onto the name another writer then saved keeps both entries, in the
    // view and in the file after its save.
    void unsavedRenameOntoAnotherWritersName()
    {
        Window mine(list());
        mine.apps.setApplicationName(u"Edit"_s, 0, u"new"_s);
        QVERIFY(runLanyard(list(), {u"add"_s, u"Edit"_s, u"new"_s, u"/bin/other"_s, QString()}));
        QTRY_COMPARE_WITH_TIMEOUT(dump(mine.apps).size(), 2, patienceMs);
        QVERIFY(mine.apps.save());
        const QByteArray file = TestFiles::read(list());
        QVERIFY2(file.contains("Edit,new,/bin/true,") && file.contains("Edit,new,/bin/other,"), file.constData());
        QVERIFY(!file.contains("Edit,vi,"));
    }

    // Any field another writer changes shows and is told once; a rewrite that changes no entry
    // (only a comment) is not told.
    void everyFieldOfAnotherWritersEditIsTold_data()
    {
        QTest::addColumn<QByteArray>("edited");
        QTest::addColumn<QString>("shown");
        QTest::newRow("path") << QByteArray("Edit,vi,/bin/other,,0\r\n") << u"Edit|vi|/bin/other||0"_s;
        QTest::newRow("command-line") << QByteArray("Edit,vi,/bin/true,-x,0\r\n") << u"Edit|vi|/bin/true|-x|0"_s;
        QTest::newRow("protected") << QByteArray("Edit,vi,/bin/true,,-1\r\n") << u"Edit|vi|/bin/true||-1"_s;
    }
    void everyFieldOfAnotherWritersEditIsTold()
    {
        QFETCH(QByteArray, edited);
        QFETCH(QString, shown);
        Window mine(list());
        QSignalSpy changed(&mine.apps, &ExternalApps::catalogueChanged);
        QVERIFY(replace(list(), "; the same tools\r\n" + line(u"Edit"_s, u"vi"_s)));
        settle(); // read on its own, not together with the edit
        QCOMPARE(changed.count(), 0);
        QVERIFY(replace(list(), "; tools\r\n" + edited));
        QTRY_COMPARE_WITH_TIMEOUT(dump(mine.apps), QStringList{shown}, patienceMs);
        QCOMPARE(changed.count(), 1);
    }

    // Its own saves are no news: only the other writer's change is told.
    void ownSaveTellsNothing()
    {
        Window mine(list());
        mine.apps.AddApp(u"Mine"_s, u"one"_s, u"/bin/true"_s, QString(), false);
        QSignalSpy changed(&mine.apps, &ExternalApps::catalogueChanged);
        QVERIFY(mine.apps.save());
        QVERIFY(runLanyard(list(), {u"add"_s, u"Other"_s, u"two"_s, u"/bin/true"_s, QString()}));
        QTRY_VERIFY_WITH_TIMEOUT(mine.menuHas(u"Other"_s, u"two"_s), patienceMs);
        QCOMPARE(changed.count(), 1);
    }

    // Replaced by rename, through a link into another folder (also one pointed elsewhere),
    // and a list that appears where none was.
    void followsTheFileWhereverItIs_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("replaced-by-rename") << u"rename"_s;
        QTest::newRow("link-target-replaced") << u"link"_s;
        QTest::newRow("link-pointed-elsewhere") << u"relink"_s;
        QTest::newRow("appears") << u"appear"_s;
    }
    void followsTheFileWhereverItIs()
    {
        QFETCH(QString, how);
        QTemporaryDir elsewhere;
        const QString target = elsewhere.filePath(u"real.lst"_s);
        const QString second = elsewhere.filePath(u"second.lst"_s);
        const QByteArray before = "; tools\r\n" + line(u"Edit"_s, u"vi"_s);
        const QByteArray after = before + line(u"New"_s, u"tool"_s);
        if (how == u"link"_s || how == u"relink"_s) {
            QVERIFY(QFile::remove(list()));
            QVERIFY(TestFiles::write(target, before));
            QVERIFY(QFile::link(target, list()));
        } else if (how == u"appear"_s) {
            QVERIFY(QFile::remove(list()));
        }
        Window mine(list());
        const QStringList watched = inotifyWatches();
        QVERIFY(!watched.isEmpty());
        mine.apps.AddApp(u"Mine"_s, u"unsaved"_s, u"/bin/true"_s, QString(), false);
        if (how == u"rename"_s || how == u"appear"_s) {
            QVERIFY(replace(list(), after));
        } else if (how == u"link"_s) {
            QVERIFY(replace(target, after));
        } else {
            QVERIFY(TestFiles::write(second, after));
            QVERIFY(QFile::remove(list()));
            QVERIFY(QFile::link(second, list()));
        }
        QTRY_VERIFY_WITH_TIMEOUT(mine.menuHas(u"New"_s, u"tool"_s), patienceMs);
        QVERIFY(namesOf(mine.apps).contains(u"Mine|unsaved"_s));
        if (how == u"link"_s) {
            // Still followed at the target after the replacement.
            QVERIFY(replace(target, after + line(u"New"_s, u"again"_s)));
            QTRY_VERIFY_WITH_TIMEOUT(mine.menuHas(u"New"_s, u"again"_s), patienceMs);
        }
        // The folders on the way are the same: so are their watches, kept rather than made again.
        QCOMPARE(inotifyWatches(), watched);
    }

    // The kernel keeps a bounded queue of file events. When other files' events fill it before
    // the list is replaced, the list's own event is lost: the overflow alone brings the reload.
    void changeLostToAFullEventQueueIsSeen()
    {
        Window mine(list());
        QFile limit(u"/proc/sys/fs/inotify/max_queued_events"_s);
        QVERIFY(limit.open(QIODevice::ReadOnly));
        const int queued = limit.readAll().trimmed().toInt();
        QVERIFY(queued > 0 && queued <= 1 << 20);
        // Each new file brings two events, a creation and a close after writing.
        for (int i = 0; i <= queued / 2; ++i)
            QVERIFY(TestFiles::write(m_dir->filePath(u"flood-%1"_s.arg(i)), QByteArray()));
        QVERIFY(replace(list(), "; tools\r\n" + line(u"Edit"_s, u"vi"_s) + line(u"Other"_s, u"saved"_s)));
        QTRY_VERIFY_WITH_TIMEOUT(mine.menuHas(u"Other"_s, u"saved"_s), patienceMs);
    }

    // A list that turns bad (NUL bytes) is not read: nothing changes, nothing is told, the save
    // writes nothing over it, and it is said once. Once good again, it is followed as before.
    void badFileChangesNothing()
    {
        const NotReadLog log;
        Window mine(list());
        mine.apps.AddApp(u"Mine"_s, u"unsaved"_s, u"/bin/true"_s, QString(), false);
        const QStringList entries = dump(mine.apps);
        QSignalSpy changed(&mine.apps, &ExternalApps::catalogueChanged);
        const QByteArray bad = "; tools\r\n" + line(u"Edit"_s, u"vi"_s) + nulLine;
        QVERIFY(replace(list(), bad));
        QTRY_COMPARE_WITH_TIMEOUT(log.count(), 1, patienceMs);
        QCOMPARE(changed.count(), 0);
        QCOMPARE(dump(mine.apps), entries);
        QVERIFY(!mine.apps.save());
        QCOMPARE(TestFiles::read(list()), bad);

        QVERIFY(replace(list(), bad + "more"));
        settle();
        QVERIFY(replace(list(), "; tools\r\n" + line(u"Edit"_s, u"vi"_s) + line(u"Good"_s, u"again"_s)));
        QTRY_VERIFY_WITH_TIMEOUT(mine.menuHas(u"Good"_s, u"again"_s), patienceMs);
        QCOMPARE(log.count(), 1);
        QVERIFY(mine.apps.save());
        ExternalApps reader;
        reader.setEXTFile(list());
        QCOMPARE(namesOf(reader), (QStringList{u"Edit|vi"_s, u"Good|again"_s, u"Mine|unsaved"_s}));
    }

    // Another writer's entries that leave no room within this object's limits for its unsaved
    // change: the change stays, nothing is told, and it is said once while it lasts; again after a
    // reload that worked, or once the list was removed.
    void noRoomForAnUnsavedChangeIsSaid()
    {
        const NotReadLog log;
        Window mine(list());
        mine.apps.setMaxGroups(2);
        mine.apps.AddApp(u"Mine"_s, u"unsaved"_s, u"/bin/true"_s, QString(), false);
        const QStringList entries = dump(mine.apps);
        QSignalSpy changed(&mine.apps, &ExternalApps::catalogueChanged);
        // A new group goes after the file's, where two groups leave it no room.
        const QByteArray full = "; tools\r\n" + line(u"Edit"_s, u"vi"_s) + line(u"Other"_s, u"saved"_s);
        QVERIFY(replace(list(), full));
        QTRY_COMPARE_WITH_TIMEOUT(log.count(), 1, patienceMs);
        QCOMPARE(changed.count(), 0);
        QCOMPARE(dump(mine.apps), entries);
        QVERIFY(replace(list(), "; tools\r\n" + line(u"Edit"_s, u"vi"_s) + line(u"Other"_s, u"more"_s)));
        settle();
        QVERIFY(replace(list(), "; tools\r\n" + line(u"Good"_s, u"again"_s)));
        QTRY_VERIFY_WITH_TIMEOUT(mine.menuHas(u"Good"_s, u"again"_s), patienceMs);
        QCOMPARE(log.count(), 1);
        QVERIFY(mine.menuHas(u"Mine"_s, u"unsaved"_s));
        QVERIFY(replace(list(), full));
        QTRY_COMPARE_WITH_TIMEOUT(log.count(), 2, patienceMs);
        // A list removed meanwhile ends it too: the same list put back is said again.
        QVERIFY(QFile::remove(list()));
        settle();
        QVERIFY(replace(list(), full));
        QTRY_COMPARE_WITH_TIMEOUT(log.count(), 3, patienceMs);
    }

    // A list that could not be read when it was assigned is written once it has been read whole.
    void listReadLaterMayBeSaved()
    {
        QVERIFY(TestFiles::write(list(), nulLine));
        ExternalApps mine;
        QVERIFY(errorOf([&] { mine.setEXTFile(list()); }) != 0);
        QSignalSpy changed(&mine, &ExternalApps::catalogueChanged);
        mine.AddApp(u"Mine"_s, u"unsaved"_s, u"/bin/true"_s, QString(), false);
        QVERIFY(!mine.save());
        QVERIFY(replace(list(), "; tools\r\n" + line(u"Edit"_s, u"vi"_s)));
        QTRY_VERIFY_WITH_TIMEOUT(changed.count() == 2, patienceMs);
        QVERIFY(mine.save());
        ExternalApps reader;
        reader.setEXTFile(list());
        QCOMPARE(namesOf(reader), (QStringList{u"Edit|vi"_s, u"Mine|unsaved"_s}));
    }

    // While the program list window shows the catalogue, its rows stay what the catalogue holds;
    // the reload comes when it closes.
    void openWindowHoldsTheReload()
    {
        Window mine(list());
        Window witness(list());
        mine.apps.ShowForm(0);
        const QStringList shown = treeRows();
        QCOMPARE(shown, (QStringList{u"Edit|vi"_s}));
        QVERIFY(runLanyard(list(), {u"add"_s, u"Other"_s, u"saved"_s, u"/bin/true"_s, QString()}));
        QTRY_VERIFY_WITH_TIMEOUT(witness.menuHas(u"Other"_s, u"saved"_s), patienceMs);
        QCOMPARE(treeRows(), namesOf(mine.apps));
        // A save meanwhile merges into the file; the entries it found there come with the reload.
        mine.apps.AddApp(u"Mine"_s, u"own"_s, u"/bin/true"_s, QString(), false);
        QVERIFY(mine.apps.save());
        QWidget *window = programListWindow();
        QVERIFY(window && window->close());
        QTRY_VERIFY_WITH_TIMEOUT(mine.menuHas(u"Other"_s, u"saved"_s), patienceMs);
        QCOMPARE(namesOf(mine.apps), (QStringList{u"Edit|vi"_s, u"Other|saved"_s, u"Mine|own"_s}));
        // The window opened again holds the next change as it held the first.
        mine.apps.ShowForm(0);
        QVERIFY(runLanyard(list(), {u"add"_s, u"Other"_s, u"again"_s, u"/bin/true"_s, QString()}));
        QTRY_VERIFY_WITH_TIMEOUT(witness.menuHas(u"Other"_s, u"again"_s), patienceMs);
        QVERIFY(!mine.menuHas(u"Other"_s, u"again"_s));
        window = programListWindow();
        QVERIFY(window && window->close());
        QTRY_VERIFY_WITH_TIMEOUT(mine.menuHas(u"Other"_s, u"again"_s), patienceMs);
    }

    // A launch whose program is missing holds the list while its message box is open; a change
    // on disk meanwhile is read once the box has closed.
    void missingProgramBoxHoldsTheReload()
    {
        Window mine(list());
        Window witness(list());
        QVERIFY(mine.apps.AddApp(u"Gone"_s, u"prog"_s, u"/no/such/program"_s, QString(), false));
        bool shown = false;
        UiTest::whenModalShown(u"lanyardMissingProgram"_s, [&](QWidget *box) {
            shown = true;
            QVERIFY(runLanyard(list(), {u"add"_s, u"Other"_s, u"saved"_s, u"/bin/true"_s, QString()}));
            QTRY_VERIFY_WITH_TIMEOUT(witness.menuHas(u"Other"_s, u"saved"_s), patienceMs);
            QVERIFY(!mine.menuHas(u"Other"_s, u"saved"_s));
            box->close();
        });
        QVERIFY(!mine.apps.ExecuteApp(u"Gone"_s, u"prog"_s));
        QVERIFY(shown);
        QTRY_VERIFY_WITH_TIMEOUT(mine.menuHas(u"Other"_s, u"saved"_s), patienceMs);
    }
};

QTEST_MAIN(tst_LiveList)
#include "tst_livelist.moc"
