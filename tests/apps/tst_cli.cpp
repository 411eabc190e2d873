// The command-line host, run as a program: its output, exit status and launch list file.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

struct Result
{
    int status = -1;
    QString out;
    QString err;
};

const QString header = u"; Format: Group Label,Program label,Program Path,Command line"_s;
const QString usageHint = u"Try 'lanyard --help' for more information.\n"_s;

QString recorderPath() { return QStringLiteral(LANYARD_TEST_BIN_DIR "/recorder"); }

/// The application lines of a launch list, without its comment lines.
QStringList entriesOf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {u"(missing)"_s};
    QStringList lines = QString::fromUtf8(file.readAll()).split(u"\r\n"_s, Qt::SkipEmptyParts);
    lines.removeIf([](const QString &line) { return line.startsWith(u';'); });
    return lines;
}

/// The recorder's "key=value" entries with the given key, in order.
QStringList recorded(const QString &path, const QString &key)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {u"(no record)"_s};
    QStringList values;
    for (const QByteArray &entry : file.readAll().split('\0')) {
        const QString text = QString::fromUtf8(entry);
        if (text.startsWith(key + u'='))
            values << text.mid(key.size() + 1);
    }
    return values;
}

} // namespace

class TestCli : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void usage_data();
    void usage();
    void helpAndVersion_data();
    void helpAndVersion();
    void list();
    void defaultFileUnderXdgConfigHome();
    void show_data();
    void show();
    void runStartsWithPlaceholders();
    void runNotStarted_data();
    void runNotStarted();
    void add_data();
    void add();
    void edit_data();
    void edit();
    void deleteEntry_data();
    void deleteEntry();
    void componentErrorStillSaves();
    void unwritableFile();
    void configureWithoutDisplay();
    void configureWaitsForTheWindow();

private:
    Result lanyard(const QStringList &arguments, const QProcessEnvironment &extra = {});
    void writeList(const QStringList &entries);

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_file;
};

void TestCli::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_file = m_dir->filePath(u"tools.lst"_s);
}

Result TestCli::lanyard(const QStringList &arguments, const QProcessEnvironment &extra)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    env.insert(u"XDG_CONFIG_HOME"_s, m_dir->filePath(u"config"_s));
    env.insert(extra);
    QProcess process;
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(m_dir->path());
    process.start(QStringLiteral(LANYARD_TEST_BIN_DIR "/lanyard"), arguments);
    Result result;
    if (!process.waitForFinished(20000) || process.exitStatus() != QProcess::NormalExit) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.status = process.exitCode();
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

void TestCli::writeList(const QStringList &entries)
{
    QFile file(m_file);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write((header + u"\r\n"_s + entries.join(u"\r\n"_s) + u"\r\n"_s).toUtf8());
}

void TestCli::usage_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");

    QTest::newRow("no-command") << QStringList{} << u"missing command"_s;
    QTest::newRow("unknown-command") << QStringList{u"start"_s} << u"unknown command 'start'"_s;
    QTest::newRow("unknown-option") << QStringList{u"--verbose"_s, u"list"_s} << u"Unknown option 'verbose'."_s;
    QTest::newRow("option-without-value") << QStringList{u"list"_s, u"--file"_s}
                                          << u"Missing value after '--file'."_s;
    QTest::newRow("too-few-arguments") << QStringList{u"show"_s, u"Tools"_s}
                                       << u"wrong number of arguments; usage: lanyard [OPTION]... show GROUP APP"_s;
    QTest::newRow("too-many-arguments") << QStringList{u"list"_s, u"extra"_s}
                                        << u"wrong number of arguments; usage: lanyard [OPTION]... list"_s;
    QTest::newRow("protected-outside-add-and-edit") << QStringList{u"delete"_s, u"a"_s, u"b"_s, u"--protected"_s}
                                                    << u"option '--protected' applies to add and edit only"_s;
    QTest::newRow("cmd-outside-edit") << QStringList{u"add"_s, u"a"_s, u"b"_s, u"/bin/true"_s, u"--cmd=x"_s}
                                      << u"options '--path' and '--cmd' apply to edit only"_s;
    QTest::newRow("count-not-a-number") << QStringList{u"--max-apps"_s, u"many"_s, u"list"_s}
                                        << u"'--max-apps' needs a whole number from -32768 to 32767, not 'many'"_s;
    QTest::newRow("count-beyond-16-bit") << QStringList{u"--max-groups=40000"_s, u"list"_s}
                                         << u"'--max-groups' needs a whole number from -32768 to 32767, not '40000'"_s;
    QTest::newRow("unknown-language") << QStringList{u"--language"_s, u"es"_s, u"list"_s}
                                      << u"unknown language 'es' (en, de or fr)"_s;
    QTest::newRow("set-without-equals") << QStringList{u"--set"_s, u"%FILE%"_s, u"list"_s}
                                        << u"'--set' needs SEARCH=REPLACE, not '%FILE%'"_s;
    QTest::newRow("file-twice") << QStringList{u"--file=a"_s, u"--file=b"_s, u"list"_s}
                                << u"option '--file' given more than once"_s;
}

void TestCli::usage()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);

    const Result result = lanyard(arguments);
    QCOMPARE(result.status, 2);
    QCOMPARE(result.out, QString());
    QCOMPARE(result.err, u"lanyard: "_s + message + u'\n' + usageHint);
    QVERIFY2(!QFile::exists(m_dir->filePath(u"config/lanyard/tools.lst"_s)), "bad usage touched no file");
}

void TestCli::helpAndVersion_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("firstLine");

    QTest::newRow("help") << QStringList{u"--help"_s} << u"Usage: lanyard [OPTION]... COMMAND [ARG]..."_s;
    QTest::newRow("h-wins-over-bad-command") << QStringList{u"frobnicate"_s, u"-h"_s}
                                             << u"Usage: lanyard [OPTION]... COMMAND [ARG]..."_s;
    QTest::newRow("version") << QStringList{u"--version"_s} << u"lanyard (Lanyard) 1.0.0"_s;
}

void TestCli::helpAndVersion()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, firstLine);

    const Result result = lanyard(arguments);
    QCOMPARE(result.status, 0);
    QCOMPARE(result.out.section(u'\n', 0, 0), firstLine);
    QCOMPARE(result.err, QString());
}

void TestCli::list()
{
    writeList({u"Text,Count words,/usr/bin/wc,-l \"%FILE%\",0"_s, u"Admin,Shell,/bin/sh,,-1"_s,
               u"Text,Sort,/usr/bin/sort,,0"_s});
    const Result result = lanyard({u"--file"_s, m_file, u"list"_s});
    QCOMPARE(result.status, 0);
    QCOMPARE(result.err, QString());
    QCOMPARE(result.out, u"Text\tCount words\t/usr/bin/wc\t-l \"%FILE%\"\t0\n"
                         "Text\tSort\t/usr/bin/sort\t\t0\n"
                         "Admin\tShell\t/bin/sh\t\t-1\n"_s);
    // The release saved the catalogue the component's way: groups together, its own header.
    QCOMPARE(entriesOf(m_file), (QStringList{u"Text,Count words,/usr/bin/wc,-l \"%FILE%\",0"_s,
                                             u"Text,Sort,/usr/bin/sort,,0"_s, u"Admin,Shell,/bin/sh,,-1"_s}));
    QFile file(m_file);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readLine().startsWith("; Created by: "));
}

void TestCli::defaultFileUnderXdgConfigHome()
{
    const Result added = lanyard({u"add"_s, u"Text"_s, u"Sort"_s, u"/usr/bin/sort"_s});
    QCOMPARE(added.status, 0);
    QCOMPARE(entriesOf(m_dir->filePath(u"config/lanyard/tools.lst"_s)),
             QStringList{u"Text,Sort,/usr/bin/sort,,0"_s});
    QCOMPARE(lanyard({u"list"_s}).out, u"Text\tSort\t/usr/bin/sort\t\t0\n"_s);
}

void TestCli::show_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("cmdLine");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");

    QTest::newRow("value-with-spaces-stays-one-argument")
        << QStringList{u"--set"_s, u"%FILE%=/tmp/my notes.txt"_s} << u"-l %FILE%"_s << 0
        << u"program: /usr/bin/wc\narg: -l\narg: /tmp/my notes.txt\nfolder: /usr/bin/\n"_s << QString();
    QTest::newRow("shell-characters-stay-literal")
        << QStringList{u"--set"_s, u"%WORD%=$(rm -rf ~); echo \"x"_s} << u"--word=%WORD%"_s << 0
        << u"program: /usr/bin/wc\narg: --word=$(rm -rf ~); echo \"x\nfolder: /usr/bin/\n"_s << QString();
    QTest::newRow("placeholders-in-order")
        << QStringList{u"--set=%A%=%B%"_s, u"--set=%B%=done"_s} << u"%A%"_s << 0
        << u"program: /usr/bin/wc\narg: done\nfolder: /usr/bin/\n"_s << QString();
    QTest::newRow("no-arguments") << QStringList{} << QString() << 0
                                  << u"program: /usr/bin/wc\nfolder: /usr/bin/\n"_s << QString();
    QTest::newRow("quote-left-open") << QStringList{} << u"\"%FILE%"_s << 1 << QString()
                                     << u"lanyard: Text/wc: the command line has a quote that is not closed\n"_s;
}

void TestCli::show()
{
    QFETCH(QStringList, options);
    QFETCH(QString, cmdLine);
    QFETCH(int, status);
    QFETCH(QString, out);
    QFETCH(QString, err);

    writeList({u"Text,wc,/usr/bin/wc,"_s + cmdLine + u",0"_s});
    const Result result = lanyard(QStringList{u"--file"_s, m_file} + options + QStringList{u"show"_s, u"Text"_s, u"wc"_s});
    QCOMPARE(result.err, err);
    QCOMPARE(result.out, out);
    QCOMPARE(result.status, status);

    const Result missing = lanyard({u"--file"_s, m_file, u"show"_s, u"Text"_s, u"WC"_s});
    QCOMPARE(missing.status, 1);
    QCOMPARE(missing.err, u"lanyard: Text/WC: no such application\n"_s);
}

void TestCli::runStartsWithPlaceholders()
{
    const QString record = m_dir->filePath(u"record"_s);
    writeList({u"Tools,Record,"_s + recorderPath() + u",\"%FILE%\" %LINE% 'a b',0"_s});
    QProcessEnvironment env;
    env.insert(u"LANYARD_RECORDER_OUT"_s, record);
    const Result result = lanyard({u"--file"_s, m_file, u"--set"_s, u"%FILE%=/tmp/it's a file.txt"_s, u"--set"_s,
                                   u"%LINE%=12"_s, u"run"_s, u"Tools"_s, u"Record"_s},
                                  env);
    QCOMPARE(result.err, QString());
    QCOMPARE(result.status, 0);
    QTRY_VERIFY(QFile::exists(record));
    QCOMPARE(recorded(record, u"arg"_s), (QStringList{u"/tmp/it's a file.txt"_s, u"12"_s, u"a b"_s}));
    QCOMPARE(recorded(record, u"cwd"_s), QStringList{QStringLiteral(LANYARD_TEST_BIN_DIR)});
    // Saved in the folder it was given in, not in the program's folder that the launch entered.
    QCOMPARE(entriesOf(m_file).size(), 1);
    QVERIFY(!QFile::exists(QStringLiteral(LANYARD_TEST_BIN_DIR "/tools.lst")));
}

void TestCli::runNotStarted_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("app");
    QTest::addColumn<QString>("err");

    QTest::newRow("program-missing") << u"Tools,Ghost,/nonexistent/ghost,,0"_s << u"Ghost"_s
                                     << u"Unable to find the file: /nonexistent/ghost\n"
                                        "lanyard: Tools/Ghost: not started\n"_s;
    QTest::newRow("quote-left-open") << u"Tools,Open,/bin/true,\"x,0"_s << u"Open"_s
                                     << u"lanyard: Tools/Open: not started\n"_s;
    QTest::newRow("name-differs-in-case") << u"Tools,True,/bin/true,,0"_s << u"true"_s
                                          << u"lanyard: Tools/true: no such application\n"_s;
}

void TestCli::runNotStarted()
{
    QFETCH(QString, entry);
    QFETCH(QString, app);
    QFETCH(QString, err);

    writeList({entry});
    const Result result = lanyard({u"--file"_s, m_file, u"run"_s, u"Tools"_s, app});
    QCOMPARE(result.status, 1);
    QCOMPARE(result.out, QString());
    QCOMPARE(result.err, err);
}

void TestCli::add_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QString>("err");

    const QString existing = u"Text,Sort,/usr/bin/sort,,0"_s;
    QTest::newRow("new-group") << QStringList{u"add"_s, u"Files"_s, u"Open"_s, u"/usr/bin/xdg-open"_s, u"%FILE%"_s}
                               << 0 << QStringList{existing, u"Files,Open,/usr/bin/xdg-open,%FILE%,0"_s} << QString();
    QTest::newRow("protected-command-line-after-dashes")
        << QStringList{u"add"_s, u"--protected"_s, u"Text"_s, u"Count"_s, u"/usr/bin/wc"_s, u"--"_s, u"-l %FILE%"_s}
        << 0 << QStringList{existing, u"Text,Count,/usr/bin/wc,-l %FILE%,-1"_s} << QString();
    QTest::newRow("same-name-updates")
        << QStringList{u"add"_s, u"Text"_s, u"Sort"_s, u"/usr/bin/sort"_s, u"--"_s, u"-r"_s} << 0
        << QStringList{u"Text,Sort,/usr/bin/sort,-r,0"_s} << QString();
    QTest::newRow("group-limit") << QStringList{u"--max-groups"_s, u"1"_s, u"add"_s, u"Files"_s, u"Open"_s, u"/x"_s}
                                 << 1 << QStringList{existing}
                                 << u"lanyard: Files/Open: not added, no free slot (at most 1 groups of 5 applications)\n"_s;
    QTest::newRow("app-limit") << QStringList{u"--max-apps=1"_s, u"add"_s, u"Text"_s, u"Count"_s, u"/x"_s} << 1
                               << QStringList{existing}
                               << u"lanyard: Text/Count: not added, no free slot (at most 5 groups of 1 applications)\n"_s;
    QTest::newRow("limit-below-what-the-file-holds")
        << QStringList{u"--max-groups=0"_s, u"add"_s, u"Files"_s, u"Open"_s, u"/x"_s} << 2 << QStringList{existing}
        << u"lanyard: error 9: Index out of range\n"_s;
}

void TestCli::add()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QStringList, entries);
    QFETCH(QString, err);

    writeList({u"Text,Sort,/usr/bin/sort,,0"_s});
    const Result result = lanyard(QStringList{u"--file"_s, m_file} + arguments);
    QCOMPARE(result.err, err);
    QCOMPARE(result.out, QString());
    QCOMPARE(result.status, status);
    QCOMPARE(entriesOf(m_file), entries);
}

void TestCli::edit_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QString>("err");

    QTest::newRow("rename-and-move-keeps-path-and-cmd")
        << QStringList{u"Text"_s, u"Sort"_s, u"Files"_s, u"Sort lines"_s, u"--protected"_s} << 0
        << QStringList{u"Text,Count,/usr/bin/wc,-l,0"_s, u"Other,A,/a,,0"_s, u"Other,B,/b,,0"_s,
                       u"Files,Sort lines,/usr/bin/sort,-r %FILE%,-1"_s}
        << QString();
    QTest::newRow("new-path-and-cmd-unprotects")
        << QStringList{u"Text"_s, u"Sort"_s, u"Text"_s, u"Sort"_s, u"--path=/bin/sort"_s, u"--cmd"_s, u"-u"_s} << 0
        << QStringList{u"Text,Sort,/bin/sort,-u,0"_s, u"Text,Count,/usr/bin/wc,-l,0"_s, u"Other,A,/a,,0"_s,
                       u"Other,B,/b,,0"_s}
        << QString();
    QTest::newRow("empty-cmd-clears-it")
        << QStringList{u"Text"_s, u"Sort"_s, u"Text"_s, u"Sort"_s, u"--cmd="_s, u"--protected"_s} << 0
        << QStringList{u"Text,Sort,/usr/bin/sort,,-1"_s, u"Text,Count,/usr/bin/wc,-l,0"_s, u"Other,A,/a,,0"_s,
                       u"Other,B,/b,,0"_s}
        << QString();
    QTest::newRow("move-into-a-full-group")
        << QStringList{u"--max-apps=2"_s, u"Text"_s, u"Sort"_s, u"Other"_s, u"Sort"_s} << 1
        << QStringList{u"Text,Sort,/usr/bin/sort,-r %FILE%,-1"_s, u"Text,Count,/usr/bin/wc,-l,0"_s,
                       u"Other,A,/a,,0"_s, u"Other,B,/b,,0"_s}
        << u"lanyard: Text/Sort: not moved to Other, no free slot (at most 5 groups of 2 applications)\n"_s;
    QTest::newRow("unknown-application")
        << QStringList{u"Text"_s, u"Nope"_s, u"Text"_s, u"Yes"_s} << 2
        << QStringList{u"Text,Sort,/usr/bin/sort,-r %FILE%,-1"_s, u"Text,Count,/usr/bin/wc,-l,0"_s,
                       u"Other,A,/a,,0"_s, u"Other,B,/b,,0"_s}
        << u"lanyard: error 9: Index out of range\n"_s;
}

void TestCli::edit()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QStringList, entries);
    QFETCH(QString, err);

    writeList({u"Text,Sort,/usr/bin/sort,-r %FILE%,-1"_s, u"Text,Count,/usr/bin/wc,-l,0"_s, u"Other,A,/a,,0"_s,
               u"Other,B,/b,,0"_s});
    QStringList options{u"--file"_s, m_file};
    if (arguments.constFirst().startsWith(u"--"_s))
        options << arguments.takeFirst();
    const Result result = lanyard(options + QStringList{u"edit"_s} + arguments);
    QCOMPARE(result.err, err);
    QCOMPARE(result.status, status);
    QCOMPARE(entriesOf(m_file), entries);
}

void TestCli::deleteEntry_data()
{
    QTest::addColumn<QString>("group");
    QTest::addColumn<QString>("app");
    QTest::addColumn<int>("status");
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QString>("err");

    QTest::newRow("deleted") << u"Text"_s << u"Sort"_s << 0 << QStringList{u"Admin,Shell,/bin/sh,,-1"_s}
                             << QString();
    QTest::newRow("last-of-its-group") << u"Admin"_s << u"Shell"_s << 0
                                       << QStringList{u"Text,Sort,/usr/bin/sort,,0"_s} << QString();
    QTest::newRow("digits-are-a-name") << u"Text"_s << u"0"_s << 1
                                       << QStringList{u"Text,Sort,/usr/bin/sort,,0"_s, u"Admin,Shell,/bin/sh,,-1"_s}
                                       << u"lanyard: Text/0: no such application\n"_s;
    QTest::newRow("unknown-group") << u"Games"_s << u"Sort"_s << 1
                                   << QStringList{u"Text,Sort,/usr/bin/sort,,0"_s, u"Admin,Shell,/bin/sh,,-1"_s}
                                   << u"lanyard: Games/Sort: no such application\n"_s;
}

void TestCli::deleteEntry()
{
    QFETCH(QString, group);
    QFETCH(QString, app);
    QFETCH(int, status);
    QFETCH(QStringList, entries);
    QFETCH(QString, err);

    writeList({u"Text,Sort,/usr/bin/sort,,0"_s, u"Admin,Shell,/bin/sh,,-1"_s});
    const Result result = lanyard({u"--file"_s, m_file, u"delete"_s, group, app});
    QCOMPARE(result.err, err);
    QCOMPARE(result.status, status);
    QCOMPARE(entriesOf(m_file), entries);
}

void TestCli::componentErrorStillSaves()
{
    // A hand-written file without the header: only the release's save puts it there.
    QFile file(m_file);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("  Text , Sort , /usr/bin/sort ,, 0\n");
    file.close();
    const Result result = lanyard({u"--file"_s, m_file, u"edit"_s, u"Text"_s, u"Nope"_s, u"Text"_s, u"Yes"_s});
    QCOMPARE(result.status, 2);
    QCOMPARE(result.err, u"lanyard: error 9: Index out of range\n"_s);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readLine().startsWith("; Created by: "));
    QCOMPARE(entriesOf(m_file), QStringList{u"Text,Sort,/usr/bin/sort,,0"_s});
}

void TestCli::unwritableFile()
{
    writeList({u"Text,Sort,/usr/bin/sort,,0"_s});
    QVERIFY(QFile::setPermissions(m_file, QFile::ReadOwner));
    if (QFileInfo(m_file).isWritable())
        QSKIP("running with privileges that ignore file permissions");
    const Result result = lanyard({u"--file"_s, m_file, u"delete"_s, u"Text"_s, u"Sort"_s});
    QCOMPARE(result.status, 2);
    QCOMPARE(result.err, u"lanyard: cannot write the launch list "_s + m_file + u'\n');
    QCOMPARE(lanyard({u"--file"_s, m_file, u"list"_s}).out, u"Text\tSort\t/usr/bin/sort\t\t0\n"_s);
}

void TestCli::configureWithoutDisplay()
{
    const Result result = lanyard({u"--file"_s, m_file, u"configure"_s});
    QCOMPARE(result.status, 2);
    QCOMPARE(result.err, u"lanyard: configure needs a display, and neither DISPLAY nor WAYLAND_DISPLAY is set\n"_s);
    QVERIFY(!QFile::exists(m_file));
}

void TestCli::configureWaitsForTheWindow()
{
    writeList({u"Text,Sort,/usr/bin/sort,,0"_s});
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(LANYARD_TEST_BIN_DIR "/lanyard"), {u"--file"_s, m_file, u"configure"_s});
    QVERIFY(process.waitForStarted());
    // The window is modal: the command does not end while it is open.
    QVERIFY(!process.waitForFinished(1500));
    process.kill();
    process.waitForFinished();
    QVERIFY(!process.readAllStandardError().contains("lanyard:"));
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
