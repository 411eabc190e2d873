// SPDX-License-Identifier: MIT
// The command-line host, run as a program: its output, exit status, launch list and what it started.
#include "common/Files.h"
#include "common/LanyardProcess.h"
#include "common/ProcessCensus.h"
#include "common/Recorder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

using namespace LanyardProcess;

/// Lists are lines joined by '\n', arguments are joined by '|'. "after" holds the entries the
/// command saved; empty: the file is left as it was, byte for byte (or still absent).
/// out ending in '*': only its start; err: %1 for the list's path; record: how the recorder was
/// started, "cwd=" and "arg=" entries joined by '|'; environment: "NAME=value" joined by '|';
/// readOnly: the list's mode is 0444, and the command runs as a user whom that binds.
struct CommandRow
{
    QString before, arguments;
    int status = 0;
    QString out, err, after, record, environment;
    bool readOnly = false;
};

QString readText(const QString &path)
{
    return QFile::exists(path) ? QString::fromUtf8(TestFiles::read(path)) : QString();
}

/// The application lines of a saved launch list, without its comment lines.
QStringList entriesOf(const QString &path)
{
    QStringList lines = readText(path).split(u"\r\n"_s, Qt::SkipEmptyParts);
    lines.removeIf([](const QString &line) { return line.startsWith(u';'); });
    return lines;
}

/// The part of @p text from the line that starts with @p start to the next line that starts
/// with @p next (exclusive), or to the end.
QString sectionOf(const QString &text, const QString &start, const QString &next)
{
    const qsizetype from = text.indexOf(start);
    if (from < 0)
        return QString();
    const qsizetype to = text.indexOf(u'\n' + next, from + start.size());
    return text.mid(from, to < 0 ? -1 : to - from);
}

/// What a description of the command-line host tells: its options, its commands, and which of
/// the facts every description must state it states.
struct Description
{
    QStringList options, commands, facts;
};

Description describe(const QString &text, const QString &commandLines, const QRegularExpression &command)
{
    static const QRegularExpression option(uR"(--[a-z][a-z-]*)"_s);
    Description description;
    for (auto it = option.globalMatch(text); it.hasNext();)
        description.options << it.next().captured();
    for (auto it = command.globalMatch(commandLines); it.hasNext();)
        description.commands << it.next().captured(1);
    // Ranges, defaults and the exit statuses of the newer failures.
    for (const char *fact : {"1 to 32767", "(default: 32767", "$XDG_CONFIG_HOME/lanyard/tools.lst", "en, de or fr",
                             "nor create its folder", "write error", "lanyard: error N: TEXT", "SEARCH not empty"}) {
        if (QString(text).simplified().contains(QLatin1StringView(fact)))
            description.facts << QLatin1StringView(fact);
    }
    for (QStringList *list : {&description.options, &description.commands}) {
        list->sort();
        list->removeDuplicates();
    }
    return description;
}

} // namespace

Q_DECLARE_METATYPE(CommandRow)

class TestCli : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void command_data();
    void command();
    void runWaits_data();
    void runWaits();
    void signalToAWaitCancelsTheProgram();
    void closedStandardStreams_data();
    void closedStandardStreams();
    void lostOutputIsAFailure_data();
    void lostOutputIsAFailure();
    void readingCreatesNothing();
    void configureMakesTheFolderForItsChanges();
    void helpManualAndReadmeAgree();
    void bytesKept();

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
    // File permissions apply to another user, as they do to every user but root.
    return run(arguments, m_dir->path(), asNobody && ::geteuid() == 0 ? nobody : User{},
               environment
                   + QStringList{u"XDG_CONFIG_HOME="_s + m_dir->filePath(u"config"_s),
                                 u"LANYARD_RECORDER_OUT="_s + m_dir->filePath(u"record"_s)});
}

void TestCli::command_data()
{
    QTest::addColumn<CommandRow>("row");
    const auto row = [](const char *name, const QString &before, const QString &arguments, int status,
                        const QString &out, const QString &err, const QString &after = {}, const QString &record = {}) {
        QTest::newRow(name) << CommandRow{before, arguments, status, out, err, after, record};
    };
    const auto usage = [&](const char *name, const QString &arguments, const QString &message) {
        row(name, {}, arguments, 2, {}, u"lanyard: "_s + message + u"\nTry 'lanyard --help' for more information.\n"_s);
    };
    usage("no-command", {}, u"missing command"_s);
    usage("too-few-arguments", u"show|Tools"_s,
          u"wrong number of arguments; usage: lanyard [OPTION]... show GROUP APP"_s);
    const QString help = u"Usage: lanyard [OPTION]... COMMAND [ARG]...\n*"_s;
    row("help", {}, u"--help"_s, 0, help, {});
    row("version", {}, u"--version"_s, 0, u"lanyard (Lanyard) 1.0.0\n"_s, {});
    row("configure-without-display", {}, u"configure"_s, 2, {},
        u"lanyard: configure needs a display, and none answers (DISPLAY, WAYLAND_DISPLAY)\n"_s);
    // Every option value outside its range is refused, naming the range.
    usage("max-groups-below-range", u"--max-groups=0|list"_s,
          u"'--max-groups' needs a whole number from 1 to 32767, not '0'"_s);
    usage("max-apps-above-range", u"--max-apps|32768|list"_s,
          u"'--max-apps' needs a whole number from 1 to 32767, not '32768'"_s);
    usage("language-unknown", u"--language=es|list"_s, u"unknown language 'es' (en, de or fr)"_s);
    usage("set-without-equals", u"--set|%FILE%|list"_s,
          u"'--set' needs SEARCH=REPLACE, SEARCH not empty, not '%FILE%'"_s);
    usage("set-search-empty", u"--set==x|list"_s, u"'--set' needs SEARCH=REPLACE, SEARCH not empty, not '=x'"_s);
    // Each option belongs to the commands its message names: every other command refuses it.
    const QStringList commands{u"list"_s,
                               u"show|Text|Sort"_s,
                               u"run|Text|Sort"_s,
                               u"add|T|A|/bin/sh"_s,
                               u"edit|Text|Sort|Text|Sort"_s,
                               u"delete|Text|Sort"_s,
                               u"configure"_s};
    const struct
    {
        QString option, takers, message;
    } options[] = {
        {u"--wait"_s, u"run"_s, u"option '--wait' applies to run only"_s},
        {u"--protected"_s, u"add edit"_s, u"option '--protected' applies to add and edit only"_s},
        {u"--path=/bin/sh"_s, u"edit"_s, u"options '--path' and '--cmd' apply to edit only"_s},
        {u"--cmd=-l"_s, u"edit"_s, u"options '--path' and '--cmd' apply to edit only"_s},
    };
    for (const auto &[option, takers, message] : options) {
        for (const QString &command : commands) {
            const QString name = command.section(u'|', 0, 0);
            if (!takers.split(u' ').contains(name))
                usage(qPrintable(option.section(u'=', 0, 0).mid(2) + u"-refused-by-"_s + name), command + u'|' + option,
                      message);
        }
    }

    // Read-only commands leave the file as it is, comments and all.
    row("list",
        u"; mine\nText,Count words,/usr/bin/wc,-l \"%FILE%\",0\nAdmin,Shell,/bin/sh,,-1\nText,Sort,/usr/bin/sort,,0"_s,
        u"list"_s, 0,
        u"Text\tCount words\t/usr/bin/wc\t-l \"%FILE%\"\t0\nText\tSort\t/usr/bin/sort\t\t0\nAdmin\tShell\t/bin/sh\t\t-1\n"_s,
        {});
    row("show-placeholders-in-order-value-with-spaces", u"Text,wc,/usr/bin/wc,-l %A%,0"_s,
        u"--set=%A%=%B%|--set|%B%=my notes.txt|show|Text|wc"_s, 0,
        u"program: /usr/bin/wc\narg: -l\narg: my notes.txt\nfolder: /usr/bin/\n"_s, {});
    row("show-quote-left-open", u"Text,wc,/usr/bin/wc,\"%FILE%,0"_s, u"show|Text|wc"_s, 1, {},
        u"lanyard: Text/wc: the command line has a quote that is not closed\n"_s);
    // Started in its own folder, while the relative launch list path still means the caller's folder.
    row("run-with-placeholders", u"Tools,Record," LANYARD_TEST_BIN_DIR "/recorder,\"%FILE%\" %LINE% 'a b',0"_s,
        u"--set|%FILE%=/tmp/it's a file.txt|--set|%LINE%=12|run|Tools|Record"_s, 0, {}, {}, {},
        u"cwd=" LANYARD_TEST_BIN_DIR "|arg=/tmp/it's a file.txt|arg=12|arg=a b"_s);
    // No box that nobody can see and nobody can close: the message goes to standard error at once.
    for (const QString &environment : {QString(), u"DISPLAY=:97"_s, u"QT_QPA_PLATFORM=offscreen"_s}) {
        QTest::addRow("run-program-missing%s", qPrintable(environment.isEmpty() ? QString() : u'-' + environment))
            << CommandRow{u"Tools,Ghost,/nonexistent/ghost,,0"_s,
                          u"run|Tools|Ghost"_s,
                          1,
                          {},
                          u"lanyard: Tools/Ghost: not started: Unable to find the file: /nonexistent/ghost\n"_s,
                          {},
                          {},
                          environment};
    }

    const QString base = u"Text,Sort,/usr/bin/sort,,0\nAdmin,Shell,/bin/sh,,-1"_s;
    const auto edit = [&](const char *name, const QString &arguments, int status, const QString &after,
                          const QString &err = {}) { row(name, base, arguments, status, {}, err, after); };
    edit("add-new-group", u"add|Files|Open|/usr/bin/xdg-open|%FILE%"_s, 0,
         base + u"\nFiles,Open,/usr/bin/xdg-open,%FILE%,0"_s);
    edit("add-protected-command-line-after-dashes", u"add|--protected|Text|Count|/usr/bin/wc|--|-l %FILE%"_s, 0,
         u"Text,Sort,/usr/bin/sort,,0\nText,Count,/usr/bin/wc,-l %FILE%,-1\nAdmin,Shell,/bin/sh,,-1"_s);
    edit("add-group-limit", u"--max-groups|2|add|Files|Open|/x"_s, 1, {},
         u"lanyard: Files/Open: not added: the list holds the 2 groups --max-groups allows\n"_s);
    // A file larger than the limits is neither cut short nor written back short.
    edit("limit-below-what-the-file-holds", u"--max-groups=1|list"_s, 2, {},
         u"lanyard: the launch list holds 2 groups of up to 1 applications, more than the limits given allow\n"_s);
    QString six;
    for (const char *group : {"A", "B", "C", "D", "E", "F"})
        six += QString::fromLatin1(group) + u",x,/x,,0\n"_s;
    six.chop(1);
    row("list-grows-without-limits-given", six, u"add|G|x|/x"_s, 0, {}, {}, six + u"\nG,x,/x,,0"_s);
    // As many groups as there can be: all are read, and one more is refused with a message.
    QStringList most;
    for (int group = 0; group < 32767; ++group)
        most << u"G%1,x,/x,,0"_s.arg(group);
    row("add-to-a-list-of-the-most-groups", most.join(u'\n'), u"add|Z|x|/x"_s, 1, {},
        u"lanyard: Z/x: not added: the list holds the 32767 groups --max-groups allows\n"_s);
    edit("edit-new-path-and-cmd-unprotects", u"edit|Admin|Shell|Admin|Shell|--path=/bin/bash|--cmd|-l"_s, 0,
         u"Text,Sort,/usr/bin/sort,,0\nAdmin,Shell,/bin/bash,-l,0"_s);
    edit("edit-unknown-application", u"edit|Text|Nope|Text|Yes"_s, 1, {},
         u"lanyard: Text/Nope: no such application\n"_s);
    edit("add-value-the-list-cannot-hold", u"add|Text|a,b|/x"_s, 2, {},
         u"lanyard: error 5: Invalid procedure call or argument: \"a,b\": a comma ends a field of the launch list\n"_s);
    edit("delete", u"delete|Admin|Shell"_s, 0, u"Text,Sort,/usr/bin/sort,,0"_s);
    QTest::newRow("list-not-written-is-a-failure") << CommandRow{
        base,
        u"delete|Admin|Shell"_s,
        2,
        {},
        u"lanyard: the launch list was not saved: Permission denied: cannot write %1: Permission denied\n"_s,
        {},
        {},
        {},
        true};
    // A file that is no launch list is neither used nor written over.
    row("list-of-no-launch-list", u"T,A,/a,,0\nT,"_s + QString(70000, u'x'), u"list"_s, 2, {},
        u"lanyard: error 75: Path/File access error: %1 is no launch list: a line is longer than 65536 bytes\n"_s);
    // Hand-written, with blanks: the release still writes the file its own way.
    row("edit-cmd-emptied-in-a-hand-written-file", u"  Text , Sort , /usr/bin/sort , -r , 0"_s,
        u"edit|Text|Sort|Text|Sort|--cmd=|--protected"_s, 0, {}, {}, u"Text,Sort,/usr/bin/sort,,-1"_s);
}

void TestCli::command()
{
    QFETCH(CommandRow, row);
    if (!row.before.isEmpty())
        QVERIFY(TestFiles::write(m_file, row.before.toUtf8() + '\n'));
    if (row.readOnly)
        QVERIFY(QFile::setPermissions(m_file, QFileDevice::Permissions(0x4444)));
    const Result result = lanyard(QStringList{u"--file"_s, u"tools.lst"_s}
                                      + row.arguments.split(u'|', Qt::SkipEmptyParts),
                                  row.readOnly, row.environment.split(u'|', Qt::SkipEmptyParts));
    QCOMPARE(result.err, QString(row.err).replace(u"%1"_s, m_file)); // %1: the list's path
    if (row.out.endsWith(u'*'))
        QVERIFY2(result.out.startsWith(row.out.chopped(1)), qPrintable(result.out));
    else
        QCOMPARE(result.out, row.out);
    QCOMPARE(result.status, row.status);

    if (row.after.isEmpty()) {
        QCOMPARE(readText(m_file), row.before.isEmpty() ? QString() : row.before + u'\n');
    } else {
        QCOMPARE(entriesOf(m_file), row.after.split(u'\n', Qt::SkipEmptyParts));
        QVERIFY(readText(m_file).startsWith(u"; Created by: liblanyard on "_s));
    }
    QVERIFY(!QFile::exists(m_dir->filePath(u"config/lanyard/tools.lst"_s)));
    QVERIFY(!QFile::exists(QStringLiteral(LANYARD_TEST_BIN_DIR "/tools.lst")));
    if (row.record.isEmpty()) {
        QVERIFY(!QFile::exists(m_dir->filePath(u"record"_s)));
    } else {
        const Record record = Record::waitFor(m_dir->filePath(u"record"_s));
        QCOMPARE(u"cwd="_s + QString::fromUtf8(record.fields.value("cwd")) + u"|arg="_s
                     + record.texts().join(u"|arg="_s),
                 row.record);
    }
}

// run --wait in a pipeline: the program reads what the pipe gives the host, its output and
// error output come out apart, and its exit status is the host's.
void TestCli::runWaits_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("input");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");
    QTest::addColumn<QString>("preload");
    QTest::newRow("sort-standard-input") << u"Text,Sort,sort,,0"_s << u"b\\na\\n"_s << 0 << u"a\nb\n"_s << QString()
                                         << QString();
    // Woken for pipes with nothing in them: the host waits for the bytes, and loses none.
    QTest::newRow("woken-for-nothing") << u"Text,Sort,/bin/sh,-c 'cat; echo err >&2',0"_s << u"in"_s << 0 << u"in"_s
                                       << u"err\n"_s << u"" LANYARD_TEST_BIN_DIR "/spuriousread.so"_s;
    QTest::newRow("status-passes-through") << u"Text,Sort,/bin/sh,-c 'cat; echo err >&2; exit 7',0"_s << u"in"_s << 7
                                           << u"in"_s << u"err\n"_s << QString();
    QTest::newRow("signal-death") << u"Text,Sort,/bin/sh,-c 'kill -KILL $$',0"_s << QString() << 128 + 9 << QString()
                                  << QString() << QString();
    QTest::newRow("program-missing")
        << u"Text,Sort,/nonexistent/sort,,0"_s << QString() << 127 << QString()
        << u"lanyard: Text/Sort: not started: Unable to find the file: /nonexistent/sort\n"_s << QString();
    QTest::newRow("no-such-application") << u"Text,Other,sort,,0"_s << QString() << 127 << QString()
                                         << u"lanyard: Text/Sort: no such application\n"_s << QString();
}

void TestCli::runWaits()
{
    QFETCH(QString, entry);
    QFETCH(QString, input);
    QFETCH(int, status);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QFETCH(QString, preload);
    QVERIFY(TestFiles::write(m_file, entry.toUtf8() + '\n'));
    QProcess shell;
    shell.start(u"/bin/sh"_s,
                {u"-c"_s, u"printf \"$1\" | LD_PRELOAD=\"$3\" \"$0\" --file \"$2\" run --wait Text Sort"_s, program,
                 input, m_file, preload});
    QVERIFY(shell.waitForFinished(20000));
    QCOMPARE(QString::fromUtf8(shell.readAllStandardError()), err);
    QCOMPARE(QString::fromUtf8(shell.readAllStandardOutput()), out);
    QCOMPARE(shell.exitCode(), status);
}

// The program runs in a session of its own, where a terminal's Ctrl-C does not reach it: the
// host that waits for it ends it when it is told to end.
void TestCli::signalToAWaitCancelsTheProgram()
{
    // Unique on the machine: other test runs may have sleepers of their own.
    const QString sleeper = u"sleep 98766%1."_s + QString::number(::getpid());
    QVERIFY(
        TestFiles::write(m_file, u"T,Sleep,/bin/sh,-c '%1 ; %2',0\n"_s.arg(sleeper.arg(1), sleeper.arg(2)).toUtf8()));
    QProcess host;
    host.start(program, {u"--file"_s, m_file, u"run"_s, u"--wait"_s, u"T"_s, u"Sleep"_s});
    QTRY_VERIFY_WITH_TIMEOUT(!ProcessCensus::running(sleeper.arg(1)).isEmpty(), 20000);
    ::kill(pid_t(host.processId()), SIGINT);
    QVERIFY(host.waitForFinished(20000));
    QCOMPARE(host.exitStatus(), QProcess::NormalExit);
    QCOMPARE(host.exitCode(), 128 + SIGINT);
    QTRY_COMPARE_WITH_TIMEOUT(ProcessCensus::running(sleeper.arg(1)) + ProcessCensus::running(sleeper.arg(2)),
                              QList<pid_t>(), 20000);
}

// Standard streams the caller closed: a program run with --wait reads an empty input, as
// from /dev/null, and output with nowhere to go is still a failure that says so.
void TestCli::closedStandardStreams_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");
    QTest::newRow("input-of-a-waited-run") << u"run --wait Text Cat <&-"_s << 0 << u"read nothing\n"_s << QString();
    QTest::newRow("output-of-list") << u"list >&-"_s << 2 << QString()
                                    << u"lanyard: write error: Bad file descriptor\n"_s;
}

void TestCli::closedStandardStreams()
{
    QFETCH(QString, command);
    QFETCH(int, status);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QVERIFY(TestFiles::write(m_file, "Text,Cat,/bin/sh,-c 'cat && echo read nothing',0\n"));
    QProcess shell;
    shell.start(u"/bin/sh"_s, {u"-c"_s, u"\"$0\" --file \"$1\" "_s + command, program, m_file});
    QVERIFY(shell.waitForFinished(20000));
    QCOMPARE(QString::fromUtf8(shell.readAllStandardError()), err);
    QCOMPARE(QString::fromUtf8(shell.readAllStandardOutput()), out);
    QCOMPARE(shell.exitCode(), status);
}

// Output a full disk or a closed reader did not take is a failure that says so, as GNU tools
// say it: a script must not take a cut file for a whole one. "out"/"err": the stream lost.
void TestCli::lostOutputIsAFailure_data()
{
    QTest::addColumn<QString>("lost");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("err");
    const QString writeError = u"lanyard: write error: No space left on device\n"_s;
    QTest::newRow("list") << u"out"_s << QStringList{u"list"_s} << writeError;
    QTest::newRow("show") << u"out"_s << QStringList{u"show"_s, u"Text"_s, u"Sort"_s} << writeError;
    QTest::newRow("help") << u"out"_s << QStringList{u"--help"_s} << writeError;
    QTest::newRow("version") << u"out"_s << QStringList{u"--version"_s} << writeError;
    // Its message lost, a refusal can only be told by the status.
    QTest::newRow("message-of-a-refusal") << u"err"_s << QStringList{u"show"_s, u"Text"_s, u"Nope"_s} << QString();
}

void TestCli::lostOutputIsAFailure()
{
    QFETCH(QString, lost);
    QFETCH(QStringList, arguments);
    QFETCH(QString, err);
    QVERIFY(TestFiles::write(m_file, "Text,Sort,/usr/bin/sort,,0\n"));
    QProcess process;
    if (lost == u"out")
        process.setStandardOutputFile(u"/dev/full"_s);
    else
        process.setStandardErrorFile(u"/dev/full"_s);
    process.start(program, QStringList{u"--file"_s, m_file} + arguments);
    QVERIFY(process.waitForFinished(20000));
    if (lost == u"out")
        QCOMPARE(QString::fromUtf8(process.readAllStandardError()), err);
    QCOMPARE(process.exitCode(), 2);
    QCOMPARE(readText(m_file), u"Text,Sort,/usr/bin/sort,,0\n"_s);
}

// Without --file the list lives in $XDG_CONFIG_HOME/lanyard/: reading an absent one creates no
// folder there, nor does configure failing for want of a display; the first change creates it.
// A folder that --file names is the user's to make: a change there fails without it.
void TestCli::readingCreatesNothing()
{
    const QString missing = m_dir->filePath(u"missing"_s);
    QCOMPARE(lanyard({u"--file"_s, missing + u"/tools.lst"_s, u"list"_s}).status, 0);
    QVERIFY(lanyard({u"--file"_s, missing + u"/tools.lst"_s, u"add"_s, u"Text"_s, u"Sort"_s, u"/usr/bin/sort"_s}).status
            != 0);
    QVERIFY(!QFileInfo::exists(missing));
    const QString config = m_dir->filePath(u"config"_s);
    for (const QStringList &arguments : {QStringList{u"list"_s},
                                         {u"show"_s, u"Text"_s, u"Sort"_s},
                                         {u"run"_s, u"Text"_s, u"Sort"_s},
                                         {u"configure"_s}}) {
        const Result result = lanyard(arguments);
        QVERIFY2(result.status >= 0 && result.status <= 2, qPrintable(result.err));
        QVERIFY2(!QFileInfo::exists(config), qPrintable(arguments.join(u' ')));
    }
    QCOMPARE(lanyard({u"add"_s, u"Text"_s, u"Sort"_s, u"/usr/bin/sort"_s}).status, 0);
    QCOMPARE(entriesOf(config + u"/lanyard/tools.lst"_s), QStringList{u"Text,Sort,/usr/bin/sort,,0"_s});
}

// configure of a default list not made yet: while its window is open, the list's folder is
// there for the window's changes to be saved in.
void TestCli::configureMakesTheFolderForItsChanges()
{
    const QString folder = m_dir->filePath(u"config/lanyard"_s);
    const auto configure = LanyardProcess::start(
        {u"configure"_s}, m_dir->path(), {},
        {u"QT_QPA_PLATFORM=offscreen"_s, u"XDG_CONFIG_HOME="_s + m_dir->filePath(u"config"_s)});
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(folder).isDir() || configure->state() == QProcess::NotRunning, 20000);
    const bool made = QFileInfo(folder).isDir();
    configure->kill();
    configure->waitForFinished();
    QVERIFY(made);
}

// --help, the manual page and README describe the same options and commands, and state the
// same ranges, defaults and failures.
void TestCli::helpManualAndReadmeAgree()
{
    const QString help = lanyard({u"--help"_s}).out;
    // The manual page as man shows it, in lines long enough that no word is broken.
    QProcess man;
    man.setProcessEnvironment(headless({u"MANWIDTH=1000"_s}));
    man.start(u"man"_s, {u"-E"_s, u"ascii"_s, u"-l"_s, QStringLiteral(LANYARD_BUILD_DIR "/man/lanyard.1")});
    QVERIFY(man.waitForFinished(60000));
    const QString manual = QString::fromUtf8(man.readAllStandardOutput());
    const QString readme = sectionOf(
        QString::fromUtf8(TestFiles::read(QStringLiteral(LANYARD_SOURCE_DIR "/README.md"))),
        u"## The command-line host"_s, u"The demo host"_s);
    QVERIFY(!readme.isEmpty());
    const Description fromHelp = describe(help, sectionOf(help, u"Commands:"_s, u"Options:"_s),
                                          QRegularExpression(uR"(\n  ([a-z]+)\b)"_s));
    const Description fromManual = describe(manual, sectionOf(manual, u"COMMANDS"_s, u"OPTIONS"_s),
                                            QRegularExpression(uR"(\n {7}([a-z]+)\b)"_s));
    const Description fromReadme = describe(readme, readme, QRegularExpression(uR"(\n\| `([a-z]+)\b)"_s));
    QCOMPARE(fromHelp.commands,
             (QStringList{u"add"_s, u"configure"_s, u"delete"_s, u"edit"_s, u"list"_s, u"run"_s, u"show"_s}));
    QCOMPARE(fromHelp.facts.size(), 8);
    for (const Description *other : {&fromManual, &fromReadme}) {
        QCOMPARE(other->options, fromHelp.options);
        QCOMPARE(other->commands, fromHelp.commands);
        QCOMPARE(other->facts, fromHelp.facts);
    }
}

// Bytes that are not UTF-8 — a Latin-1 file name, a placeholder's value — reach the file system
// and the started program as they are. No QString says them, so a shell passes them on.
void TestCli::bytesKept()
{
    QProcess shell;
    shell.setProcessEnvironment(headless({u"LANYARD_RECORDER_OUT="_s + m_dir->filePath(u"record"_s)}));
    shell.setWorkingDirectory(m_dir->path());
    shell.start(u"/bin/sh"_s, {u"-c"_s,
                               u"list=$(printf 'caf\\351.lst'); \"$0\" --file \"$list\" add T Rec \"$1\" %F%"
                               u" && \"$0\" --file \"$list\" --set \"%F%=$(printf 'x\\351')\" run T Rec"_s,
                               program, QStringLiteral(LANYARD_TEST_BIN_DIR "/recorder")});
    QVERIFY(shell.waitForFinished(20000));
    QCOMPARE(shell.readAllStandardError(), QByteArray());
    QCOMPARE(shell.exitCode(), 0);
    const QByteArray list = QFile::encodeName(m_dir->path()) + "/caf\xe9.lst";
    QCOMPARE(::access(list.constData(), F_OK), 0);
    // Names QTemporaryDir cannot remove: the list and the lock file its save left beside it.
    ::unlink(list.constData());
    ::unlink((QFile::encodeName(m_dir->path()) + "/.caf\xe9.lst.lock").constData());
    QCOMPARE(Record::waitFor(m_dir->filePath(u"record"_s)).arguments, QByteArrayList{"x\xe9"});
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
