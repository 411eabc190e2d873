// The command-line host, run as a program: its output, exit status, launch list and what it started.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <dirent.h>
#include <string_view>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

struct Result
{
    int status = -1;
    QString out;
    QString err;
};

QString readText(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

void writeText(const QString &path, const QString &text)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text.toUtf8());
}

/// The application lines of a saved launch list, without its comment lines.
QStringList entriesOf(const QString &path)
{
    QStringList lines = readText(path).split(u"\r\n"_s, Qt::SkipEmptyParts);
    lines.removeIf([](const QString &line) { return line.startsWith(u';'); });
    return lines;
}

/// The recorder's "cwd=" and "arg=" entries, in order.
QStringList recorded(const QString &path)
{
    QStringList entries = readText(path).split(QChar(0), Qt::SkipEmptyParts);
    entries.removeIf([](const QString &entry) { return !entry.startsWith(u"cwd="_s) && !entry.startsWith(u"arg="_s); });
    return entries;
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
    void missingProgramWithoutASeenDisplay_data();
    void missingProgramWithoutASeenDisplay();
    void fileNotWrittenIsAFailure();
    void specialFileIsNeitherReadNorWritten();
    void largeListKeptWhole();
    void parallelAddsAllKept();
    void bytesKept();
    void configureWaitsForTheWindow();

private:
    Result lanyard(const QStringList &arguments, bool asNobody = false, const QStringList &environment = {});

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_file;
};

void TestCli::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QVERIFY(QFile::setPermissions(m_dir->path(), QFileDevice::Permissions(0x7777)));
    m_file = m_dir->filePath(u"tools.lst"_s);
}

Result TestCli::lanyard(const QStringList &arguments, bool asNobody, const QStringList &environment)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString &name : {u"DISPLAY"_s, u"WAYLAND_DISPLAY"_s, u"QT_QPA_PLATFORM"_s})
        env.remove(name);
    for (const QString &variable : environment)
        env.insert(variable.section(u'=', 0, 0), variable.section(u'=', 1));
    env.insert(u"XDG_CONFIG_HOME"_s, m_dir->filePath(u"config"_s));
    env.insert(u"LANYARD_RECORDER_OUT"_s, m_dir->filePath(u"record"_s));
    QProcess process;
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(m_dir->path());
    if (asNobody && ::geteuid() == 0) {
        // File permissions apply to another user, as they do to every user but root.
        process.setChildProcessModifier([] {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0)
                ::_exit(99);
        });
    }
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
    // Lists are lines joined by '\n', arguments are joined by '|'. "after" holds the entries the
    // command saved; empty: the file is left as it was, byte for byte (or still absent).
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("out"); // ending in '*': only its start
    QTest::addColumn<QString>("err");
    QTest::addColumn<QString>("after");
    QTest::addColumn<QString>("record"); // what the recorder was started with

    const auto row = [](const char *name, const QString &before, const QString &arguments, int status,
                        const QString &out, const QString &err, const QString &after = {}, const QString &record = {}) {
        QTest::newRow(name) << before << arguments << status << out << err << after << record;
    };
    const auto usage = [&](const char *name, const QString &arguments, const QString &message) {
        row(name, {}, arguments, 2, {}, u"lanyard: "_s + message + u"\nTry 'lanyard --help' for more information.\n"_s);
    };
    usage("no-command", {}, u"missing command"_s);
    usage("unknown-command", u"start"_s, u"unknown command 'start'"_s);
    usage("unknown-option", u"--verbose|list"_s, u"Unknown option 'verbose'."_s);
    usage("option-without-value", u"list|--language"_s, u"Missing value after '--language'."_s);
    usage("too-few-arguments", u"show|Tools"_s,
          u"wrong number of arguments; usage: lanyard [OPTION]... show GROUP APP"_s);
    usage("too-many-arguments", u"list|extra"_s, u"wrong number of arguments; usage: lanyard [OPTION]... list"_s);
    usage("protected-outside-add-and-edit", u"delete|a|b|--protected"_s,
          u"option '--protected' applies to add and edit only"_s);
    usage("cmd-outside-edit", u"add|a|b|/bin/true|--cmd=x"_s, u"options '--path' and '--cmd' apply to edit only"_s);
    usage("count-not-a-number", u"--max-apps|many|list"_s,
          u"'--max-apps' needs a whole number from -32768 to 32767, not 'many'"_s);
    usage("count-beyond-16-bit", u"--max-groups=40000|list"_s,
          u"'--max-groups' needs a whole number from -32768 to 32767, not '40000'"_s);
    usage("unknown-language", u"--language|es|list"_s, u"unknown language 'es' (en, de or fr)"_s);
    usage("set-without-equals", u"--set|%FILE%|list"_s, u"'--set' needs SEARCH=REPLACE, not '%FILE%'"_s);
    usage("file-twice", u"--file=b|list"_s, u"option '--file' given more than once"_s);
    const QString help = u"Usage: lanyard [OPTION]... COMMAND [ARG]...\n*"_s;
    row("help", {}, u"--help"_s, 0, help, {});
    row("h-wins-over-bad-command", {}, u"frobnicate|-h"_s, 0, help, {});
    row("version", {}, u"--version"_s, 0, u"lanyard (Lanyard) 1.0.0\n"_s, {});
    row("configure-without-display", {}, u"configure"_s, 2, {},
        u"lanyard: configure needs a display, and none answers (DISPLAY, WAYLAND_DISPLAY)\n"_s);

    // Read-only commands leave the file as it is, comments and all.
    row("list", u"; mine\nText,Count words,/usr/bin/wc,-l \"%FILE%\",0\nAdmin,Shell,/bin/sh,,-1\nText,Sort,/usr/bin/sort,,0"_s,
        u"list"_s, 0,
        u"Text\tCount words\t/usr/bin/wc\t-l \"%FILE%\"\t0\nText\tSort\t/usr/bin/sort\t\t0\nAdmin\tShell\t/bin/sh\t\t-1\n"_s,
        {});
    row("show-placeholders-in-order-value-with-spaces", u"Text,wc,/usr/bin/wc,-l %A%,0"_s,
        u"--set=%A%=%B%|--set|%B%=my notes.txt|show|Text|wc"_s, 0,
        u"program: /usr/bin/wc\narg: -l\narg: my notes.txt\nfolder: /usr/bin/\n"_s, {});
    row("show-no-arguments", u"Text,wc,/usr/bin/wc,,0"_s, u"show|Text|wc"_s, 0,
        u"program: /usr/bin/wc\nfolder: /usr/bin/\n"_s, {});
    row("show-quote-left-open", u"Text,wc,/usr/bin/wc,\"%FILE%,0"_s, u"show|Text|wc"_s, 1, {},
        u"lanyard: Text/wc: the command line has a quote that is not closed\n"_s);
    row("show-name-differs-in-case", u"Text,wc,/usr/bin/wc,,0"_s, u"show|Text|WC"_s, 1, {},
        u"lanyard: Text/WC: no such application\n"_s);
    // Started in its own folder, while the relative launch list path still means the caller's folder.
    row("run-with-placeholders", u"Tools,Record," LANYARD_TEST_BIN_DIR "/recorder,\"%FILE%\" %LINE% 'a b',0"_s,
        u"--set|%FILE%=/tmp/it's a file.txt|--set|%LINE%=12|run|Tools|Record"_s, 0, {}, {}, {},
        u"cwd=" LANYARD_TEST_BIN_DIR "|arg=/tmp/it's a file.txt|arg=12|arg=a b"_s);
    row("run-program-missing", u"Tools,Ghost,/nonexistent/ghost,,0"_s, u"run|Tools|Ghost"_s, 1, {},
        u"lanyard: Tools/Ghost: not started: Unable to find the file: /nonexistent/ghost\n"_s);
    row("run-quote-left-open", u"Tools,Open,/bin/true,\"x,0"_s, u"run|Tools|Open"_s, 1, {},
        u"lanyard: Tools/Open: not started: a quote in the command line is not closed\n"_s);
    row("run-not-executable", u"Tools,Text,/etc/passwd,,0"_s, u"run|Tools|Text"_s, 1, {},
        u"lanyard: Tools/Text: not started: Permission denied\n"_s);
    row("run-name-differs-in-case", u"Tools,True,/bin/true,,0"_s, u"run|Tools|true"_s, 1, {},
        u"lanyard: Tools/true: no such application\n"_s);

    const QString base = u"Text,Sort,/usr/bin/sort,,0\nAdmin,Shell,/bin/sh,,-1"_s;
    const auto edit = [&](const char *name, const QString &arguments, int status, const QString &after,
                          const QString &err = {}) { row(name, base, arguments, status, {}, err, after); };
    edit("add-new-group", u"add|Files|Open|/usr/bin/xdg-open|%FILE%"_s, 0,
         base + u"\nFiles,Open,/usr/bin/xdg-open,%FILE%,0"_s);
    edit("add-protected-command-line-after-dashes", u"add|--protected|Text|Count|/usr/bin/wc|--|-l %FILE%"_s, 0,
         u"Text,Sort,/usr/bin/sort,,0\nText,Count,/usr/bin/wc,-l %FILE%,-1\nAdmin,Shell,/bin/sh,,-1"_s);
    edit("add-group-limit", u"--max-groups|2|add|Files|Open|/x"_s, 1, {},
         u"lanyard: Files/Open: not added: the list holds the 2 groups --max-groups allows\n"_s);
    edit("add-app-limit", u"--max-apps=1|add|Text|Count|/x"_s, 1, {},
         u"lanyard: Text/Count: not added: group Text holds the 1 applications --max-apps allows\n"_s);
    edit("add-limit-zero", u"--max-groups=0|add|Files|Open|/x"_s, 2, {}, u"lanyard: error 9: Index out of range\n"_s);
    // A file larger than the limits is neither cut short nor written back short.
    edit("limit-below-what-the-file-holds", u"--max-groups=1|list"_s, 2, {},
         u"lanyard: the launch list holds 2 groups of up to 1 applications, more than the limits given allow\n"_s);
    QString six;
    for (const char *group : {"A", "B", "C", "D", "E", "F"})
        six += QString::fromLatin1(group) + u",x,/x,,0\n"_s;
    six.chop(1);
    row("default-limits-grow-to-the-file", six, u"list"_s, 0, u"A\tx\t/x\t\t0\n*"_s, {});
    row("list-grows-without-limits-given", six, u"add|G|x|/x"_s, 0, {}, {}, six + u"\nG,x,/x,,0"_s);
    edit("edit-rename-and-move-keeps-path-and-cmd", u"edit|Text|Sort|Admin|Sort lines|--protected"_s, 0,
         u"Admin,Shell,/bin/sh,,-1\nAdmin,Sort lines,/usr/bin/sort,,-1"_s);
    edit("edit-new-path-and-cmd-unprotects", u"edit|Admin|Shell|Admin|Shell|--path=/bin/bash|--cmd|-l"_s, 0,
         u"Text,Sort,/usr/bin/sort,,0\nAdmin,Shell,/bin/bash,-l,0"_s);
    edit("edit-move-into-a-full-group", u"--max-apps=1|edit|Text|Sort|Admin|Sort"_s, 1, {},
         u"lanyard: Text/Sort: not moved to Admin: group Admin holds the 1 applications --max-apps allows\n"_s);
    edit("edit-unknown-application", u"edit|Text|Nope|Text|Yes"_s, 1, {}, u"lanyard: Text/Nope: no such application\n"_s);
    edit("delete", u"delete|Admin|Shell"_s, 0, u"Text,Sort,/usr/bin/sort,,0"_s);
    edit("delete-digits-are-a-name", u"delete|Text|0"_s, 1, {}, u"lanyard: Text/0: no such application\n"_s);
    // Hand-written, with blanks: the release still writes the file its own way.
    row("edit-cmd-emptied-in-a-hand-written-file", u"  Text , Sort , /usr/bin/sort , -r , 0"_s,
        u"edit|Text|Sort|Text|Sort|--cmd=|--protected"_s, 0, {}, {}, u"Text,Sort,/usr/bin/sort,,-1"_s);
}

void TestCli::command()
{
    QFETCH(QString, before);
    QFETCH(QString, arguments);
    QFETCH(int, status);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QFETCH(QString, after);
    QFETCH(QString, record);

    if (!before.isEmpty())
        writeText(m_file, before + u'\n');
    const Result result = lanyard(QStringList{u"--file"_s, u"tools.lst"_s} + arguments.split(u'|', Qt::SkipEmptyParts));
    QCOMPARE(result.err, err);
    if (out.endsWith(u'*'))
        QVERIFY2(result.out.startsWith(out.chopped(1)), qPrintable(result.out));
    else
        QCOMPARE(result.out, out);
    QCOMPARE(result.status, status);

    if (after.isEmpty()) {
        QCOMPARE(QFile::exists(m_file), !before.isEmpty());
        QCOMPARE(readText(m_file), before.isEmpty() ? QString() : before + u'\n');
    } else {
        QCOMPARE(entriesOf(m_file), after.split(u'\n', Qt::SkipEmptyParts));
        QVERIFY(readText(m_file).startsWith(u"; Created by: liblanyard on "_s));
    }
    QVERIFY(!QFile::exists(m_dir->filePath(u"config/lanyard/tools.lst"_s)));
    QVERIFY(!QFile::exists(QStringLiteral(LANYARD_TEST_BIN_DIR "/tools.lst")));
    QTRY_COMPARE(recorded(m_dir->filePath(u"record"_s)), record.split(u'|', Qt::SkipEmptyParts));
}

void TestCli::defaultFileUnderXdgConfigHome()
{
    QCOMPARE(lanyard({u"add"_s, u"Text"_s, u"Sort"_s, u"/usr/bin/sort"_s}).status, 0);
    QCOMPARE(entriesOf(m_dir->filePath(u"config/lanyard/tools.lst"_s)), QStringList{u"Text,Sort,/usr/bin/sort,,0"_s});
    QCOMPARE(lanyard({u"list"_s}).out, u"Text\tSort\t/usr/bin/sort\t\t0\n"_s);
}

void TestCli::missingProgramWithoutASeenDisplay_data()
{
    QTest::addColumn<QString>("variable");
    QTest::newRow("offscreen-platform") << u"QT_QPA_PLATFORM=offscreen"_s;
    QTest::newRow("stale-display") << u"DISPLAY=:97"_s;
}

// No box that nobody can see and nobody can close: the message goes to standard error at once.
void TestCli::missingProgramWithoutASeenDisplay()
{
    QFETCH(QString, variable);
    writeText(m_file, u"Tools,Ghost,/nonexistent/ghost,,0\n"_s);
    const Result result = lanyard({u"--file"_s, m_file, u"run"_s, u"Tools"_s, u"Ghost"_s}, false, {variable});
    QCOMPARE(result.status, 1);
    QCOMPARE(result.err, u"lanyard: Tools/Ghost: not started: Unable to find the file: /nonexistent/ghost\n"_s);
}

void TestCli::fileNotWrittenIsAFailure()
{
    writeText(m_file, u"Text,Sort,/usr/bin/sort,,0\n"_s);
    QVERIFY(QFile::setPermissions(m_file, QFileDevice::Permissions(0x4444)));
    const Result result = lanyard({u"--file"_s, m_file, u"delete"_s, u"Text"_s, u"Sort"_s}, true);
    QCOMPARE(result.status, 2);
    QCOMPARE(result.err, u"lanyard: the launch list was not saved: Permission denied: cannot write "_s + m_file
                             + u": Permission denied\n"_s);
    QCOMPARE(readText(m_file), u"Text,Sort,/usr/bin/sort,,0\n"_s);
}

void TestCli::specialFileIsNeitherReadNorWritten()
{
    // Made here as root: a test must not risk the system's own /dev/null.
    const QString device = ::geteuid() == 0 ? m_dir->filePath(u"null"_s) : u"/dev/null"_s;
    QVERIFY(::geteuid() != 0 || ::mknod(QFile::encodeName(device).constData(), S_IFCHR | 0666, makedev(1, 3)) == 0);
    for (const QStringList &command : {QStringList{u"list"_s}, QStringList{u"add"_s, u"T"_s, u"A"_s, u"/x"_s}}) {
        const Result result = lanyard(QStringList{u"--file"_s, device} + command);
        QCOMPARE(result.status, 2);
        QCOMPARE(result.err, u"lanyard: error 75: Path/File access error: "_s + device + u" is a device, not a launch list\n"_s);
    }
    struct stat info {};
    QVERIFY(::stat(QFile::encodeName(device).constData(), &info) == 0 && S_ISCHR(info.st_mode));
}

// More entries than a catalogue can hold: a command that only reads leaves the file as it is;
// one that changes it keeps every entry the catalogue could not hold.
void TestCli::largeListKeptWhole()
{
    QString lines;
    for (int i = 0; i < 33000; ++i)
        lines += u"Big,App "_s + QString::number(i) + u",/x,,0\n"_s;
    writeText(m_file, lines);
    QCOMPARE(lanyard({u"--file"_s, m_file, u"list"_s}).status, 0);
    QCOMPARE(readText(m_file), lines);
    const Result added = lanyard({u"--file"_s, m_file, u"add"_s, u"Small"_s, u"One"_s, u"/y"_s});
    QCOMPARE(added.err, QString());
    QCOMPARE(entriesOf(m_file).size(), 33001);
}

void TestCli::parallelAddsAllKept()
{
    constexpr int writers = 12;
    std::vector<std::unique_ptr<QProcess>> processes;
    for (int i = 0; i < writers; ++i) {
        auto &process = processes.emplace_back(std::make_unique<QProcess>());
        process->start(QStringLiteral(LANYARD_TEST_BIN_DIR "/lanyard"),
                       {u"--file"_s, m_file, u"add"_s, u"Group "_s + QString::number(i % 3), u"App "_s + QString::number(i), u"/x"_s});
    }
    for (auto &process : processes) {
        QVERIFY(process->waitForFinished(30000));
        QCOMPARE(process->exitCode(), 0);
    }
    QCOMPARE(entriesOf(m_file).size(), writers);
}

// Bytes that are not UTF-8 — a Latin-1 file name, a placeholder's value — reach the file system
// and the started program as they are. No QString says them, so a shell passes them on.
void TestCli::bytesKept()
{
    QProcess shell;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"LANYARD_RECORDER_OUT"_s, m_dir->filePath(u"record"_s));
    shell.setProcessEnvironment(env);
    shell.setWorkingDirectory(m_dir->path());
    shell.start(u"/bin/sh"_s, {u"-c"_s, u"list=$(printf 'caf\\351.lst'); \"$0\" --file \"$list\" add T Rec \"$1\" %F%"
                                      u" && \"$0\" --file \"$list\" --set \"%F%=$(printf 'x\\351')\" run T Rec"_s,
                               QStringLiteral(LANYARD_TEST_BIN_DIR "/lanyard"), QStringLiteral(LANYARD_TEST_BIN_DIR "/recorder")});
    QVERIFY(shell.waitForFinished(20000));
    QCOMPARE(shell.readAllStandardError(), QByteArray());
    QCOMPARE(shell.exitCode(), 0);
    QList<QByteArray> names;
    if (DIR *folder = ::opendir(QFile::encodeName(m_dir->path()).constData())) {
        while (const dirent *entry = ::readdir(folder)) {
            if (entry->d_type == DT_REG && entry->d_name != std::string_view("record"))
                names << QByteArray(entry->d_name);
        }
        ::closedir(folder);
    }
    QCOMPARE(names, QList<QByteArray>{QByteArray("caf\xe9.lst")});
    QFile record(m_dir->filePath(u"record"_s));
    QTRY_VERIFY_WITH_TIMEOUT(record.exists(), 10000);
    QVERIFY(record.open(QIODevice::ReadOnly));
    QVERIFY(record.readAll().contains(QByteArray("\0arg=x\xe9\0", 8)));
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
