// The command-line host, run as a program: its output, exit status, launch list and what it started.
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

/// The application lines of a saved launch list, without its comment lines; empty when missing.
QStringList entriesOf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromUtf8(file.readAll()).split(u"\r\n"_s, Qt::SkipEmptyParts);
    lines.removeIf([](const QString &line) { return line.startsWith(u';'); });
    return lines;
}

/// The recorder's "cwd=" and "arg=" entries, in order.
QStringList recorded(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList entries;
    for (const QByteArray &entry : file.readAll().split('\0')) {
        if (entry.startsWith("cwd=") || entry.startsWith("arg="))
            entries << QString::fromUtf8(entry);
    }
    return entries;
}

void writeFile(const QString &path, const QStringList &lines)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write((lines.join(u'\n') + u'\n').toUtf8());
}

} // namespace

class TestCli : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void command_data();
    void command();
    void defaultFileUnderXdgConfigHome();
    void fileKeptOnError_data();
    void fileKeptOnError();
    void configureWaitsForTheWindow();

private:
    Result lanyard(const QStringList &arguments);

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_file;
};

void TestCli::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_file = m_dir->filePath(u"tools.lst"_s);
}

Result TestCli::lanyard(const QStringList &arguments)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString &name : {u"DISPLAY"_s, u"WAYLAND_DISPLAY"_s, u"QT_QPA_PLATFORM"_s})
        env.remove(name);
    env.insert(u"XDG_CONFIG_HOME"_s, m_dir->filePath(u"config"_s));
    env.insert(u"LANYARD_RECORDER_OUT"_s, m_dir->filePath(u"record"_s));
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

void TestCli::command_data()
{
    QTest::addColumn<QStringList>("before"); // launch list lines as a user writes them; empty: no file
    QTest::addColumn<QStringList>("arguments"); // after "--file tools.lst", a relative path
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("out"); // ending in '*': only its start
    QTest::addColumn<QString>("err");
    QTest::addColumn<QStringList>("after"); // entries saved at the release; empty: no file
    QTest::addColumn<QStringList>("record"); // what the recorder was started with

    using L = QStringList;
    const auto usage = [](const char *name, const L &arguments, const QString &message) {
        QTest::newRow(name) << L() << arguments << 2 << QString()
                            << u"lanyard: "_s + message + u"\nTry 'lanyard --help' for more information.\n"_s << L()
                            << L();
    };
    usage("no-command", {}, u"missing command"_s);
    usage("unknown-command", {u"start"_s}, u"unknown command 'start'"_s);
    usage("unknown-option", {u"--verbose"_s, u"list"_s}, u"Unknown option 'verbose'."_s);
    usage("option-without-value", {u"list"_s, u"--language"_s}, u"Missing value after '--language'."_s);
    usage("too-few-arguments", {u"show"_s, u"Tools"_s},
          u"wrong number of arguments; usage: lanyard [OPTION]... show GROUP APP"_s);
    usage("too-many-arguments", {u"list"_s, u"extra"_s},
          u"wrong number of arguments; usage: lanyard [OPTION]... list"_s);
    usage("protected-outside-add-and-edit", {u"delete"_s, u"a"_s, u"b"_s, u"--protected"_s},
          u"option '--protected' applies to add and edit only"_s);
    usage("cmd-outside-edit", {u"add"_s, u"a"_s, u"b"_s, u"/bin/true"_s, u"--cmd=x"_s},
          u"options '--path' and '--cmd' apply to edit only"_s);
    usage("count-not-a-number", {u"--max-apps"_s, u"many"_s, u"list"_s},
          u"'--max-apps' needs a whole number from -32768 to 32767, not 'many'"_s);
    usage("count-beyond-16-bit", {u"--max-groups=40000"_s, u"list"_s},
          u"'--max-groups' needs a whole number from -32768 to 32767, not '40000'"_s);
    usage("unknown-language", {u"--language"_s, u"es"_s, u"list"_s}, u"unknown language 'es' (en, de or fr)"_s);
    usage("set-without-equals", {u"--set"_s, u"%FILE%"_s, u"list"_s}, u"'--set' needs SEARCH=REPLACE, not '%FILE%'"_s);
    usage("file-twice", {u"--file=b"_s, u"list"_s}, u"option '--file' given more than once"_s);

    const QString help = u"Usage: lanyard [OPTION]... COMMAND [ARG]...\n*"_s;
    QTest::newRow("help") << L() << L{u"--help"_s} << 0 << help << QString() << L() << L();
    QTest::newRow("h-wins-over-bad-command") << L() << L{u"frobnicate"_s, u"-h"_s} << 0 << help << QString() << L()
                                             << L();
    QTest::newRow("version") << L() << L{u"--version"_s} << 0 << u"lanyard (Lanyard) 1.0.0\n"_s << QString() << L()
                             << L();
    QTest::newRow("configure-without-display")
        << L() << L{u"configure"_s} << 2 << QString()
        << u"lanyard: configure needs a display, and neither DISPLAY nor WAYLAND_DISPLAY is set\n"_s << L() << L();

    // The release saves the catalogue the component's way: groups together.
    QTest::newRow("list") << L{u"Text,Count words,/usr/bin/wc,-l \"%FILE%\",0"_s, u"Admin,Shell,/bin/sh,,-1"_s,
                               u"Text,Sort,/usr/bin/sort,,0"_s}
                          << L{u"list"_s} << 0
                          << u"Text\tCount words\t/usr/bin/wc\t-l \"%FILE%\"\t0\nText\tSort\t/usr/bin/sort\t\t0\n"
                             "Admin\tShell\t/bin/sh\t\t-1\n"_s
                          << QString()
                          << L{u"Text,Count words,/usr/bin/wc,-l \"%FILE%\",0"_s, u"Text,Sort,/usr/bin/sort,,0"_s,
                               u"Admin,Shell,/bin/sh,,-1"_s}
                          << L();

    const auto show = [](const char *name, const L &options, const QString &cmdLine, const QString &out,
                         const QString &err = {}) {
        const L list{u"Text,wc,/usr/bin/wc,"_s + cmdLine + u",0"_s};
        QTest::newRow(name) << list << options + L{u"show"_s, u"Text"_s, u"wc"_s} << (err.isEmpty() ? 0 : 1) << out
                            << err << list << L();
    };
    show("show-value-with-spaces-stays-one-argument", {u"--set"_s, u"%FILE%=/tmp/my notes.txt"_s}, u"-l %FILE%"_s,
         u"program: /usr/bin/wc\narg: -l\narg: /tmp/my notes.txt\nfolder: /usr/bin/\n"_s);
    show("show-shell-characters-stay-literal", {u"--set"_s, u"%WORD%=$(rm -rf ~); echo \"x"_s}, u"--word=%WORD%"_s,
         u"program: /usr/bin/wc\narg: --word=$(rm -rf ~); echo \"x\nfolder: /usr/bin/\n"_s);
    show("show-placeholders-in-order", {u"--set=%A%=%B%"_s, u"--set=%B%=done"_s}, u"%A%"_s,
         u"program: /usr/bin/wc\narg: done\nfolder: /usr/bin/\n"_s);
    show("show-no-arguments", {}, QString(), u"program: /usr/bin/wc\nfolder: /usr/bin/\n"_s);
    show("show-quote-left-open", {}, u"\"%FILE%"_s, QString(),
         u"lanyard: Text/wc: the command line has a quote that is not closed\n"_s);
    QTest::newRow("show-name-differs-in-case")
        << L{u"Text,wc,/usr/bin/wc,,0"_s} << L{u"show"_s, u"Text"_s, u"WC"_s} << 1 << QString()
        << u"lanyard: Text/WC: no such application\n"_s << L{u"Text,wc,/usr/bin/wc,,0"_s} << L();

    // Started in its own folder, while the relative launch list path still means the caller's folder.
    const L recorder{u"Tools,Record," LANYARD_TEST_BIN_DIR "/recorder,\"%FILE%\" %LINE% 'a b',0"_s};
    QTest::newRow("run-with-placeholders")
        << recorder << L{u"--set"_s, u"%FILE%=/tmp/it's a file.txt"_s, u"--set"_s, u"%LINE%=12"_s, u"run"_s,
                         u"Tools"_s, u"Record"_s}
        << 0 << QString() << QString() << recorder
        << L{u"cwd=" LANYARD_TEST_BIN_DIR ""_s, u"arg=/tmp/it's a file.txt"_s, u"arg=12"_s, u"arg=a b"_s};
    const auto notStarted = [](const char *name, const QString &entry, const QString &app, const QString &err) {
        QTest::newRow(name) << L{entry} << L{u"run"_s, u"Tools"_s, app} << 1 << QString() << err << L{entry} << L();
    };
    notStarted("run-program-missing", u"Tools,Ghost,/nonexistent/ghost,,0"_s, u"Ghost"_s,
               u"Unable to find the file: /nonexistent/ghost\nlanyard: Tools/Ghost: not started\n"_s);
    notStarted("run-quote-left-open", u"Tools,Open,/bin/true,\"x,0"_s, u"Open"_s,
               u"lanyard: Tools/Open: not started\n"_s);
    notStarted("run-name-differs-in-case", u"Tools,True,/bin/true,,0"_s, u"true"_s,
               u"lanyard: Tools/true: no such application\n"_s);

    const QString sort = u"Text,Sort,/usr/bin/sort,,0"_s;
    const auto edit = [sort](const char *name, const L &arguments, int status, const L &after, const QString &err = {}) {
        QTest::newRow(name) << L{sort, u"Admin,Shell,/bin/sh,,-1"_s} << arguments << status << QString() << err
                            << after << L();
    };
    edit("add-new-group", {u"add"_s, u"Files"_s, u"Open"_s, u"/usr/bin/xdg-open"_s, u"%FILE%"_s}, 0,
         {sort, u"Admin,Shell,/bin/sh,,-1"_s, u"Files,Open,/usr/bin/xdg-open,%FILE%,0"_s});
    edit("add-protected-command-line-after-dashes",
         {u"add"_s, u"--protected"_s, u"Text"_s, u"Count"_s, u"/usr/bin/wc"_s, u"--"_s, u"-l %FILE%"_s}, 0,
         {sort, u"Text,Count,/usr/bin/wc,-l %FILE%,-1"_s, u"Admin,Shell,/bin/sh,,-1"_s});
    edit("add-same-name-updates", {u"add"_s, u"Text"_s, u"Sort"_s, u"/usr/bin/sort"_s, u"--"_s, u"-r"_s}, 0,
         {u"Text,Sort,/usr/bin/sort,-r,0"_s, u"Admin,Shell,/bin/sh,,-1"_s});
    edit("add-group-limit", {u"--max-groups"_s, u"2"_s, u"add"_s, u"Files"_s, u"Open"_s, u"/x"_s}, 1,
         {sort, u"Admin,Shell,/bin/sh,,-1"_s},
         u"lanyard: Files/Open: not added, no free slot (at most 2 groups of 5 applications)\n"_s);
    edit("add-app-limit", {u"--max-apps=1"_s, u"add"_s, u"Text"_s, u"Count"_s, u"/x"_s}, 1,
         {sort, u"Admin,Shell,/bin/sh,,-1"_s},
         u"lanyard: Text/Count: not added, no free slot (at most 5 groups of 1 applications)\n"_s);
    edit("edit-rename-and-move-keeps-path-and-cmd",
         {u"edit"_s, u"Text"_s, u"Sort"_s, u"Admin"_s, u"Sort lines"_s, u"--protected"_s}, 0,
         {u"Admin,Shell,/bin/sh,,-1"_s, u"Admin,Sort lines,/usr/bin/sort,,-1"_s});
    edit("edit-new-path-and-cmd-unprotects",
         {u"edit"_s, u"Admin"_s, u"Shell"_s, u"Admin"_s, u"Shell"_s, u"--path=/bin/bash"_s, u"--cmd"_s, u"-l"_s}, 0,
         {sort, u"Admin,Shell,/bin/bash,-l,0"_s});
    edit("edit-move-into-a-full-group",
         {u"--max-apps=1"_s, u"edit"_s, u"Text"_s, u"Sort"_s, u"Admin"_s, u"Sort"_s}, 1,
         {sort, u"Admin,Shell,/bin/sh,,-1"_s},
         u"lanyard: Text/Sort: not moved to Admin, no free slot (at most 5 groups of 1 applications)\n"_s);
    edit("edit-unknown-application", {u"edit"_s, u"Text"_s, u"Nope"_s, u"Text"_s, u"Yes"_s}, 2,
         {sort, u"Admin,Shell,/bin/sh,,-1"_s}, u"lanyard: error 9: Index out of range\n"_s);
    edit("delete-last-of-its-group", {u"delete"_s, u"Admin"_s, u"Shell"_s}, 0, {sort});
    edit("delete-digits-are-a-name", {u"delete"_s, u"Text"_s, u"0"_s}, 1, {sort, u"Admin,Shell,/bin/sh,,-1"_s},
         u"lanyard: Text/0: no such application\n"_s);
    edit("delete-unknown-group", {u"delete"_s, u"Games"_s, u"Sort"_s}, 1, {sort, u"Admin,Shell,/bin/sh,,-1"_s},
         u"lanyard: Games/Sort: no such application\n"_s);

    // Hand-written, with blanks: the release still writes the file its own way.
    QTest::newRow("edit-cmd-emptied-in-a-hand-written-file")
        << L{u"  Text , Sort , /usr/bin/sort , -r , 0"_s}
        << L{u"edit"_s, u"Text"_s, u"Sort"_s, u"Text"_s, u"Sort"_s, u"--cmd="_s, u"--protected"_s} << 0 << QString()
        << QString() << L{u"Text,Sort,/usr/bin/sort,,-1"_s} << L();
}

void TestCli::command()
{
    QFETCH(QStringList, before);
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QFETCH(QStringList, after);
    QFETCH(QStringList, record);

    if (!before.isEmpty())
        writeFile(m_file, before);
    const Result result = lanyard(QStringList{u"--file"_s, u"tools.lst"_s} + arguments);
    QCOMPARE(result.err, err);
    if (out.endsWith(u'*'))
        QVERIFY2(result.out.startsWith(out.chopped(1)), qPrintable(result.out));
    else
        QCOMPARE(result.out, out);
    QCOMPARE(result.status, status);

    QCOMPARE(entriesOf(m_file), after);
    if (!after.isEmpty()) {
        QFile file(m_file);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readLine().startsWith("; Created by: "));
    }
    QVERIFY(!QFile::exists(m_dir->filePath(u"config/lanyard/tools.lst"_s)));
    QVERIFY(!QFile::exists(QStringLiteral(LANYARD_TEST_BIN_DIR "/tools.lst")));
    QTRY_COMPARE(recorded(m_dir->filePath(u"record"_s)), record);
}

void TestCli::defaultFileUnderXdgConfigHome()
{
    QCOMPARE(lanyard({u"add"_s, u"Text"_s, u"Sort"_s, u"/usr/bin/sort"_s}).status, 0);
    QCOMPARE(entriesOf(m_dir->filePath(u"config/lanyard/tools.lst"_s)), QStringList{u"Text,Sort,/usr/bin/sort,,0"_s});
    QCOMPARE(lanyard({u"list"_s}).out, u"Text\tSort\t/usr/bin/sort\t\t0\n"_s);
}

void TestCli::fileKeptOnError_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("readOnly");
    QTest::addColumn<QString>("err");

    QTest::newRow("limit-below-what-the-file-holds")
        << QStringList{u"--max-groups=0"_s, u"add"_s, u"Files"_s, u"Open"_s, u"/x"_s} << false
        << u"lanyard: error 9: Index out of range\n"_s;
    QTest::newRow("read-only-file") << QStringList{u"delete"_s, u"Text"_s, u"Sort"_s} << true
                                    << u"lanyard: cannot write the launch list %1\n"_s;
}

void TestCli::fileKeptOnError()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, readOnly);
    QFETCH(QString, err);

    const QByteArray content = "Text,Sort,/usr/bin/sort,,0\n";
    QFile file(m_file);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
    file.close();
    if (readOnly && (!file.setPermissions(QFile::ReadOwner) || QFileInfo(m_file).isWritable()))
        QSKIP("running with privileges that ignore file permissions");
    const Result result = lanyard(QStringList{u"--file"_s, m_file} + arguments);
    QCOMPARE(result.status, 2);
    QCOMPARE(result.err, QString(err).replace(u"%1"_s, m_file));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), content);
}

void TestCli::configureWaitsForTheWindow()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(LANYARD_TEST_BIN_DIR "/lanyard"), {u"--file"_s, m_file, u"configure"_s});
    // The window is modal: the command does not end while it is open.
    QVERIFY(!process.waitForFinished(1500));
    process.kill();
    process.waitForFinished();
    QVERIFY(!process.readAllStandardError().contains("lanyard:"));
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
