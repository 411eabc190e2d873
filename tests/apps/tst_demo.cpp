// The demo host at work: its window, built from the same library as lanyard-demo, offscreen.
#include "DemoFiles.h"
#include "DemoWindow.h"
#include "HostPlaceholders.h"
#include "TextView.h"

#include <Lanyard/ExternalApps.h>
#include <Lanyard/ToolsMenu.h>

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QListWidget>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

QAction *actionNamed(const QObject *window, const QString &text)
{
    for (QAction *action : window->findChildren<QAction *>()) {
        if (action->text() == text)
            return action;
    }
    return nullptr;
}

QStringList groupTitles(const QMenu *menu)
{
    QStringList titles;
    for (const QAction *action : menu->actions()) {
        if (action->menu())
            titles << action->menu()->title();
    }
    return titles;
}

void writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

/// The recorder's arguments, once its record is there.
QStringList recordedArguments(const QString &path)
{
    QFile file(path);
    QStringList arguments;
    for (const QByteArray &entry : file.open(QIODevice::ReadOnly) ? file.readAll().split('\0') : QByteArrayList()) {
        if (entry.startsWith("arg="))
            arguments << QString::fromUtf8(entry.mid(4));
    }
    return arguments;
}

void moveCursor(TextView *view, int line, int column)
{
    QTextCursor cursor(view->document()->findBlockByNumber(line - 1));
    cursor.setPosition(cursor.position() + column - 1);
    view->setTextCursor(cursor);
}

} // namespace

class TestDemo : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void firstStartFromSample();
    void launchGetsCurrentValues();
    void configureRebuildsTheMenu();
    void placeholders_data();
    void placeholders();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestDemo::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestDemo::firstStartFromSample()
{
    const QString list = m_dir->filePath(u"config/lanyard-demo/tools.lst"_s);
    const QString sample = m_dir->filePath(u"sample.txt"_s);
    QVERIFY(DemoFiles::ensureLaunchList(list) && DemoFiles::ensureSampleText(sample));
    {
        DemoWindow window(list);
        QVERIFY(window.openFile(sample));
        actionNamed(&window, u"Deutsch"_s)->trigger();
        QCOMPARE(window.externalApps()->Language(), Lanyard::Language::lGerman);
        QMenu *menu = window.toolsMenuWidget();
        QCOMPARE(groupTitles(menu), (QStringList{u"Files"_s, u"Terminal"_s, u"Web"_s}));
        window.findChild<QAction *>(u"actionShowProtected"_s)->setChecked(true);
        QCOMPARE(groupTitles(menu), (QStringList{u"Files"_s, u"Terminal"_s, u"Web"_s, u"Maintenance"_s}));
        // Every program of the sample uses the viewer's data.
        Lanyard::ExternalApps *apps = window.externalApps();
        for (qint16 g = 0; g < apps->GroupCount(); ++g) {
            for (qint16 a = 0; a < apps->AppCount(g); ++a)
                QVERIFY2(apps->CmdLine(g, a).contains(u'%'), qPrintable(apps->ApplicationName(g, a)));
        }
    }
    // The user's list is theirs from now on: a second start keeps it.
    writeFile(list, "Mine,Only,/bin/true,,0\r\n");
    QVERIFY(DemoFiles::ensureLaunchList(list));
    DemoWindow window(list);
    QCOMPARE(groupTitles(window.toolsMenuWidget()), QStringList{u"Mine"_s});
}

void TestDemo::launchGetsCurrentValues()
{
    const QString list = m_dir->filePath(u"tools.lst"_s);
    const QString record = m_dir->filePath(u"record"_s);
    const QString text = m_dir->filePath(u"my notes; $(x).txt"_s);
    writeFile(list, "Tools,Record," LANYARD_TEST_BIN_DIR "/recorder,\"%FILE%\" %LINE%,0\r\n"
                    "Tools,Broken,/bin/true,\"%FILE%,0\r\n");
    writeFile(text, "one\ntwo\nthree\nfour\n");
    qputenv("LANYARD_RECORDER_OUT", record.toLocal8Bit());

    auto window = std::make_unique<DemoWindow>(list);
    QVERIFY(window->openFile(text));
    window->show();
    moveCursor(window->textView(), 3, 2);
    QAction *action = actionNamed(window.get(), u"Record"_s);
    QVERIFY(action);
    action->trigger();
    QTRY_COMPARE(recordedArguments(record), (QStringList{text, u"3"_s}));

    // The values are taken again right before every launch.
    QFile::remove(record);
    moveCursor(window->textView(), 1, 1);
    action->trigger();
    QTRY_COMPARE(recordedArguments(record), (QStringList{text, u"1"_s}));
    qunsetenv("LANYARD_RECORDER_OUT");
    actionNamed(window.get(), u"Broken"_s)->trigger();
    QStringList log;
    for (int i = 1; i < window->log()->count(); ++i)
        log << window->log()->item(i)->text().section(u"   "_s, 1); // without the time
    QCOMPARE(log, (QStringList{u"Started Tools \u203a Record"_s, u"Started Tools \u203a Record"_s,
                               u"Could not start Tools \u203a Broken"_s}));

    // Closing the demo releases the object; nothing changed, so the list stays as it was.
    window.reset();
    QFile file(list);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readLine().startsWith("Tools,Record,"));
}

void TestDemo::configureRebuildsTheMenu()
{
    const QString list = m_dir->filePath(u"tools.lst"_s);
    writeFile(list, "Tools,Sort,/usr/bin/sort,,0\r\n");
    DemoWindow window(list);
    window.show();
    // What a user does in the modal window: add an entry, then close it.
    bool wasOpen = false;
    QTimer::singleShot(0, &window, [&] {
        for (QWidget *widget : QApplication::topLevelWidgets())
            wasOpen = wasOpen || (widget->objectName() == u"frmEditApps" && widget->isVisible());
        window.externalApps()->AddApp(u"Files"_s, u"Open"_s, u"/bin/true"_s, QString(), false);
        window.externalApps()->HideForm();
    });
    window.findChild<QAction *>(u"actionConfigureTools"_s)->trigger();
    QVERIFY(wasOpen);
    QCOMPARE(groupTitles(window.toolsMenuWidget()), (QStringList{u"Tools"_s, u"Files"_s}));
}

void TestDemo::placeholders_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("selectFrom");
    QTest::addColumn<int>("cursorAt");
    QTest::addColumn<QStringList>("values");

    // The text is "alpha beta\ngamma delta".
    QTest::newRow("cursor-inside-a-word")
        << u"/home/me/my notes.txt"_s << -1 << 8
        << QStringList{u"/home/me/my notes.txt"_s, u"/home/me"_s, u"my notes.txt"_s, u"1"_s, u"9"_s, QString(),
                       u"beta"_s};
    QTest::newRow("selection-across-lines")
        << u"/tmp/a.txt"_s << 6 << 16
        << QStringList{u"/tmp/a.txt"_s, u"/tmp"_s, u"a.txt"_s, u"2"_s, u"6"_s, u"beta\ngamma"_s, u"gamma"_s};
    QTest::newRow("no-file") << QString() << -1 << 0
                             << QStringList{QString(), QString(), QString(), u"1"_s, u"1"_s, QString(), u"alpha"_s};
}

void TestDemo::placeholders()
{
    QFETCH(QString, file);
    QFETCH(int, selectFrom);
    QFETCH(int, cursorAt);
    QFETCH(QStringList, values);

    QTextDocument document(u"alpha beta\ngamma delta"_s);
    QTextCursor cursor(&document);
    if (selectFrom >= 0)
        cursor.setPosition(selectFrom);
    cursor.setPosition(cursorAt, selectFrom >= 0 ? QTextCursor::KeepAnchor : QTextCursor::MoveAnchor);
    QStringList searches;
    QStringList actual;
    for (const auto &[search, value] : HostPlaceholders::current(file, cursor)) {
        searches << search;
        actual << value;
    }
    QCOMPARE(searches, (QStringList{u"%FILE%"_s, u"%DIR%"_s, u"%NAME%"_s, u"%LINE%"_s, u"%COL%"_s,
                                    u"%SELECTION%"_s, u"%WORD%"_s}));
    QCOMPARE(actual, values);
}

QTEST_MAIN(TestDemo)
#include "tst_demo.moc"
