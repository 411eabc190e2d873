#include "launch/ChildReaper.h"

#include <Lanyard/ExternalApps.h>

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <fcntl.h>
#include <unistd.h>

using namespace Lanyard;
using namespace Qt::StringLiterals;

namespace {

using Pairs = QList<std::pair<QString, QString>>;

const QString binDir = QStringLiteral(LANYARD_TEST_BIN_DIR);
const QString recorder = binDir + u"/recorder"_s;

/// What the recorder helper wrote about how it was started.
struct Record
{
    QString cwd;
    QString fds;
    QString stdinTarget;
    bool ownSession = false;
    QStringList arguments;
};

Record parseRecord(const QByteArray &bytes)
{
    Record record;
    for (const QByteArray &entry : bytes.split('\0')) {
        const qsizetype eq = entry.indexOf('=');
        if (eq < 0)
            continue;
        const QByteArray key = entry.left(eq);
        const QString value = QString::fromUtf8(entry.mid(eq + 1));
        if (key == "cwd")
            record.cwd = value;
        else if (key == "fds")
            record.fds = value;
        else if (key == "stdin")
            record.stdinTarget = value;
        else if (key == "session")
            record.ownSession = value == u"1"_s;
        else if (key == "arg")
            record.arguments.append(value);
    }
    return record;
}

/// Children of this process that have ended and were not reaped.
int zombieChildren()
{
    int zombies = 0;
    const QByteArray self = QByteArray::number(::getpid());
    QDirIterator it(u"/proc"_s, QDir::Dirs | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        QFile stat(it.next() + u"/stat"_s);
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        // "pid (name) state ppid ...": the name may hold anything, so read after its last ")".
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields[0] == "Z" && fields[1] == self)
            ++zombies;
    }
    return zombies;
}

int openDescriptorCount() { return int(QDir(u"/proc/self/fd"_s).entryList(QDir::System | QDir::NoDotAndDotDot).size()); }

/// Watches for message boxes while a launch runs: records each one and presses its OK.
class MessageBoxWatcher
{
public:
    MessageBoxWatcher()
    {
        m_timer.setInterval(20);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            texts.append(box->text());
            titles.append(box->windowTitle());
            icons.append(box->icon());
            buttons.append(box->buttons().size());
            box->button(QMessageBox::Ok)->click();
        });
        m_timer.start();
    }

    QStringList texts;
    QStringList titles;
    QList<QMessageBox::Icon> icons;
    QList<qsizetype> buttons;

private:
    QTimer m_timer;
};

} // namespace

Q_DECLARE_METATYPE(Pairs)

class tst_Launcher : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void arguments_data();
    void arguments();
    void programPathWithSpaces();
    void pathWithoutFolderStartsFromCurrentDirectory();
    void eventIsRaisedInsideTheCall();
    void missingProgramShowsMessage_data();
    void missingProgramShowsMessage();
    void notStartedWithoutMessage_data();
    void notStartedWithoutMessage();
    void noZombieAndNoLeakedDescriptor();

private:
    Record launchAndRecord(ExternalApps &apps, const QString &group, const QString &app);

    QString m_startDir;
    std::unique_ptr<QTemporaryDir> m_tmp;
    QString m_out;
};

void tst_Launcher::initTestCase()
{
    QVERIFY2(QFileInfo(recorder).isExecutable(), qPrintable(recorder));
    m_startDir = QDir::currentPath();
}

void tst_Launcher::init()
{
    m_tmp = std::make_unique<QTemporaryDir>();
    QVERIFY(m_tmp->isValid());
    m_out = m_tmp->filePath(u"record"_s);
    qputenv("LANYARD_RECORDER_OUT", QFile::encodeName(m_out));
}

void tst_Launcher::cleanup()
{
    // ExecuteApp changes the process's current directory.
    QDir::setCurrent(m_startDir);
    m_tmp.reset();
}

Record tst_Launcher::launchAndRecord(ExternalApps &apps, const QString &group, const QString &app)
{
    QFile::remove(m_out);
    [&] {
        QVERIFY(apps.ExecuteApp(group, app));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(m_out), 10000);
    }();
    QFile file(m_out);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return parseRecord(file.readAll());
}

void tst_Launcher::arguments_data()
{
    QTest::addColumn<Pairs>("placeholders");
    QTest::addColumn<QString>("cmdLine");
    QTest::addColumn<QStringList>("expected");

    const QString hostile = uR"(a  b 'c" "d' ; $(touch pwned1) `touch pwned2` \ | & > pwned3 *)"_s;

    QTest::newRow("empty-command-line") << Pairs{} << QString() << QStringList{};
    QTest::newRow("stored-quoting") << Pairs{} << uR"(-a 'b c' "d \"e\"" f\ g)"_s
                                    << QStringList{u"-a"_s, u"b c"_s, uR"(d "e")"_s, u"f g"_s};
    QTest::newRow("file-option-one-argument") << Pairs{{u"%FILE%"_s, u"/tmp/my file.txt"_s}}
                                              << u"--file=%FILE% -v"_s
                                              << QStringList{u"--file=/tmp/my file.txt"_s, u"-v"_s};
    QTest::newRow("hostile-value-unquoted") << Pairs{{u"%V%"_s, hostile}} << u"%V%"_s << QStringList{hostile};
    QTest::newRow("hostile-value-double-quoted") << Pairs{{u"%V%"_s, hostile}} << u"\"%V%\""_s << QStringList{hostile};
    QTest::newRow("hostile-value-single-quoted") << Pairs{{u"%V%"_s, hostile}} << u"'%V%'"_s << QStringList{hostile};
    QTest::newRow("hostile-value-beside-text") << Pairs{{u"%V%"_s, hostile}} << u"x%V%y z"_s
                                               << QStringList{u"x"_s + hostile + u"y"_s, u"z"_s};
    QTest::newRow("earlier-replacement-seen-by-later")
        << Pairs{{u"%A%"_s, u"[%B%]"_s}, {u"%B%"_s, u"b"_s}} << u"%A% %B%"_s << QStringList{u"[b]"_s, u"b"_s};
    QTest::newRow("later-replacement-not-seen-by-earlier")
        << Pairs{{u"%A%"_s, u"a"_s}, {u"%B%"_s, u"%A%"_s}} << u"%B%"_s << QStringList{u"%A%"_s};
    QTest::newRow("no-rescan-of-own-replacement") << Pairs{{u"%A%"_s, u"%A%%A%"_s}} << u"%A%"_s
                                                  << QStringList{u"%A%%A%"_s};
    QTest::newRow("case-sensitive-match") << Pairs{{u"%FILE%"_s, u"x"_s}} << u"%file% %FILE%"_s
                                          << QStringList{u"%file%"_s, u"x"_s};
    QTest::newRow("empty-value-quoted-is-empty-argument") << Pairs{{u"%E%"_s, QString()}} << u"a \"%E%\" b"_s
                                                          << QStringList{u"a"_s, QString(), u"b"_s};
    QTest::newRow("empty-value-unquoted-vanishes") << Pairs{{u"%E%"_s, QString()}} << u"a %E% b"_s
                                                   << QStringList{u"a"_s, u"b"_s};
    QTest::newRow("empty-search-string-changes-nothing") << Pairs{{QString(), u"x"_s}} << u"a"_s
                                                         << QStringList{u"a"_s};
    QTest::newRow("spaces-at-the-end-trimmed") << Pairs{{u"%V%"_s, u"v  "_s}} << u"-x %V%"_s
                                               << QStringList{u"-x"_s, u"v"_s};
}

void tst_Launcher::arguments()
{
    QFETCH(Pairs, placeholders);
    QFETCH(QString, cmdLine);
    QFETCH(QStringList, expected);

    ExternalApps apps;
    QVERIFY(apps.AddApp(u"Tools"_s, u"Recorder"_s, recorder, cmdLine, false));
    for (const auto &[search, replace] : placeholders)
        apps.AddPlaceHolder(search, replace);

    const std::optional<LaunchCommand> preview = apps.launchCommand(u"Tools"_s, u"Recorder"_s);
    QVERIFY(preview);
    QCOMPARE(*preview, (LaunchCommand{recorder, expected, binDir + u'/'}));

    const Record record = launchAndRecord(apps, u"Tools"_s, u"Recorder"_s);
    QCOMPARE(record.arguments, expected);
    QCOMPARE(record.cwd, binDir);
    QCOMPARE(QDir::currentPath(), binDir);
    for (const char *name : {"pwned1", "pwned2", "pwned3"})
        QVERIFY(!QFile::exists(binDir + u'/' + QLatin1StringView(name)));
}

void tst_Launcher::programPathWithSpaces()
{
    const QString folder = m_tmp->filePath(u"a folder; with $(spaces)"_s);
    QVERIFY(QDir().mkpath(folder));
    const QString program = folder + u"/my recorder"_s;
    QVERIFY(QFile::copy(recorder, program));

    ExternalApps apps;
    apps.AddPlaceHolder(u"%DIR%"_s, u"one two"_s);
    QVERIFY(apps.AddApp(u"Tools"_s, u"Spaced"_s, program, u"%DIR%"_s, false));
    const Record record = launchAndRecord(apps, u"Tools"_s, u"Spaced"_s);
    QCOMPARE(record.arguments, QStringList{u"one two"_s});
    QCOMPARE(record.cwd, folder);
}

void tst_Launcher::pathWithoutFolderStartsFromCurrentDirectory()
{
    QVERIFY(QDir::setCurrent(binDir));
    ExternalApps apps;
    QVERIFY(apps.AddApp(u"Tools"_s, u"Bare"_s, u"recorder"_s, u"x"_s, false));
    const std::optional<LaunchCommand> preview = apps.launchCommand(u"Tools"_s, u"Bare"_s);
    QVERIFY(preview);
    QCOMPARE(preview->folder, QString());
    const Record record = launchAndRecord(apps, u"Tools"_s, u"Bare"_s);
    QCOMPARE(record.arguments, QStringList{u"x"_s});
    QCOMPARE(record.cwd, binDir);
}

void tst_Launcher::eventIsRaisedInsideTheCall()
{
    ExternalApps apps;
    QVERIFY(apps.AddApp(u"Tools"_s, u"Recorder"_s, recorder, QString(), false));
    bool returned = false;
    QStringList seen;
    connect(&apps, &ExternalApps::AppFinished, this, [&](const QString &group, const QString &app) {
        seen << group << app << (returned ? u"after"_s : u"inside"_s);
    });
    QVERIFY(apps.ExecuteApp(u"Tools"_s, u"Recorder"_s));
    returned = true;
    QCOMPARE(seen, (QStringList{u"Tools"_s, u"Recorder"_s, u"inside"_s}));
    QTRY_VERIFY(QFile::exists(m_out));
}

void tst_Launcher::missingProgramShowsMessage_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("isFolder");

    QTest::newRow("no-such-file") << u"nothing-here"_s << false;
    QTest::newRow("folder") << u"a-folder"_s << true;
    QTest::newRow("hidden-file") << u".hidden-recorder"_s << false;
}

void tst_Launcher::missingProgramShowsMessage()
{
    QFETCH(QString, name);
    QFETCH(bool, isFolder);
    const QString path = m_tmp->filePath(name);
    if (isFolder)
        QVERIFY(QDir().mkpath(path));
    else if (name.startsWith(u'.'))
        QVERIFY(QFile::copy(recorder, path));

    ExternalApps apps;
    QVERIFY(apps.AddApp(u"Tools"_s, u"Gone"_s, path, u"-x"_s, false));
    QSignalSpy finished(&apps, &ExternalApps::AppFinished);
    MessageBoxWatcher boxes;
    QVERIFY(!apps.ExecuteApp(u"Tools"_s, u"Gone"_s));
    QCOMPARE(boxes.texts, QStringList{u"Unable to find the file: \r\n\r\n"_s + path});
    QCOMPARE(boxes.titles, QStringList{u"Lanyard"_s});
    QCOMPARE(boxes.icons, QList<QMessageBox::Icon>{QMessageBox::Critical});
    QCOMPARE(boxes.buttons, QList<qsizetype>{1});
    QCOMPARE(finished.count(), 0);
    QVERIFY(!QFile::exists(m_out));
}

void tst_Launcher::notStartedWithoutMessage_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("group");
    QTest::addColumn<QString>("cmdLine");

    QTest::newRow("not-executable") << u"plain-file"_s << u"Tools"_s << QString();
    QTest::newRow("text-without-interpreter") << u"script"_s << u"Tools"_s << QString();
    QTest::newRow("unbalanced-quote") << u"recorder"_s << u"Tools"_s << u"\"abc"_s;
    QTest::newRow("quoted-stored-path") << u"quoted"_s << u"Tools"_s << QString();
    QTest::newRow("group-in-other-case") << u"recorder"_s << u"tools"_s << QString();
    QTest::newRow("unknown-application") << u"recorder"_s << u"Tools/other"_s << QString();
}

void tst_Launcher::notStartedWithoutMessage()
{
    QFETCH(QString, kind);
    QFETCH(QString, group);
    QFETCH(QString, cmdLine);

    QString path = recorder;
    if (kind == u"plain-file" || kind == u"script") {
        path = m_tmp->filePath(kind);
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("touch pwned\n");
        file.close();
        if (kind == u"script")
            QVERIFY(file.setPermissions(file.permissions() | QFileDevice::ExeOwner));
    } else if (kind == u"quoted") {
        path = u'"' + recorder + u'"';
    }

    ExternalApps apps;
    QVERIFY(apps.AddApp(u"Tools"_s, u"App"_s, path, cmdLine, false));
    QSignalSpy finished(&apps, &ExternalApps::AppFinished);
    MessageBoxWatcher boxes;
    const bool other = group.endsWith(u"/other"_s);
    QVERIFY(!apps.ExecuteApp(other ? u"Tools"_s : group, other ? u"Other"_s : u"App"_s));
    QCOMPARE(boxes.texts, QStringList());
    QCOMPARE(finished.count(), 0);
    QTest::qWait(50);
    QVERIFY(!QFile::exists(m_out));
    QVERIFY(!QFile::exists(m_tmp->filePath(u"pwned"_s)));
}

void tst_Launcher::noZombieAndNoLeakedDescriptor()
{
    // A descriptor the host left inheritable must still not reach the program.
    const int inheritable = ::open("/dev/null", O_RDONLY);
    QVERIFY(inheritable > 2);
    const int before = openDescriptorCount();

    ExternalApps apps;
    QVERIFY(apps.AddApp(u"Tools"_s, u"Recorder"_s, recorder, QString(), false));
    for (int i = 0; i < 20; ++i) {
        const Record record = launchAndRecord(apps, u"Tools"_s, u"Recorder"_s);
        QCOMPARE(record.fds, u"0,1,2"_s);
        QCOMPARE(record.stdinTarget, u"/dev/null"_s);
        QVERIFY(record.ownSession);
    }
    QTRY_COMPARE(ChildReaper::instance().pending(), 0);
    QCOMPARE(zombieChildren(), 0);
    QTRY_COMPARE(openDescriptorCount(), before);
    ::close(inheritable);
}

QTEST_MAIN(tst_Launcher)
#include "tst_launcher.moc"
