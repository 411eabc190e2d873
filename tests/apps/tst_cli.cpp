// SPDX-License-Identifier: MIT
// The command-line host, run as a program from a shell: its output, exit status, launch list and
// what it started; and --help and the program's own option table agreeing.
#include "common/Files.h"
#include "common/LanyardProcess.h"
#include "common/ProcessCensus.h"
#include "common/Recorder.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace Qt::StringLiterals;
using namespace LanyardProcess;

/// A shell line run where tools.lst holds "before"; `saved [LIST]` prints a saved list's entries, an unsaved
/// list stays as it was; err: %D for the test's folder; record: the recorder's "cwd=" and "arg="s, '|'-joined.
struct CommandRow
{
    QByteArray before, command;
    int status = 0;
    QByteArray out, err, record;
};

Q_DECLARE_METATYPE(CommandRow)

class TestCli : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void command_data();
    void command();
    void helpAndProgramAgree();
    void signalToAWaitCancelsTheProgram();
    void configureMakesTheFolderForItsChanges();

private:
    Result lanyard(const QStringList &arguments)
    {
        return run(QStringList{u"--file"_s, m_file} + arguments, m_dir->path(), {},
                   {u"XDG_CONFIG_HOME="_s + m_dir->filePath(u"config"_s)});
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_file;
};

namespace {

/// The entries of a --help section: "  TAG  text" lines, the text going on in deeper lines.
QList<std::pair<QString, QString>> helpSection(const QString &help, const QString &title)
{
    QList<std::pair<QString, QString>> entries;
    for (const QString &line : help.section(title + u'\n', 1).section(u"\n\n"_s, 0, 0).split(u'\n')) {
        if (!line.startsWith(u"          "_s))
            entries.append({line.trimmed().section(u"  "_s, 0, 0), line.trimmed().section(u"  "_s, 1, -1).trimmed()});
        else
            entries.last().second += u' ' + line.trimmed();
    }
    return entries;
}

} // namespace

void TestCli::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid() && QFile::setPermissions(m_dir->path(), QFileDevice::Permissions(0x7777)));
    m_file = m_dir->filePath(u"tools.lst"_s);
}

void TestCli::command_data()
{
    QTest::addColumn<CommandRow>("row");
    const auto row = [](const QByteArray &name, const QByteArray &before, const QByteArray &command, int status,
                        const QByteArray &out, const QByteArray &err = {}, const QByteArray &record = {}) {
        QTest::newRow(name.constData()) << CommandRow{before, command, status, out, err, record};
    };
    const auto usage = [](const QByteArray &message) {
        return "lanyard: " + message + "\nTry 'lanyard --help' for more information.\n";
    };
    row("no-command", {}, "lanyard", 2, {}, usage("missing command"));
    row("set-without-equals-or-search", {}, "lanyard --set %FILE% list; lanyard --set==x list", 2, {},
        usage("'--set' needs SEARCH=REPLACE, SEARCH not empty, not '%FILE%'")
            + usage("'--set' needs SEARCH=REPLACE, SEARCH not empty, not '=x'"));
    row("version", {}, "lanyard --version", 0, "lanyard (Lanyard) 1.0.0\n");

    const QByteArray text = "Text,Sort,/usr/bin/sort,,0\nAdmin,Shell,/bin/sh,,-1";
    row("list", "; mine\nText,Count words,/usr/bin/wc,-l \"%FILE%\",0\n" + text, "lanyard list", 0,
        "Text\tCount words\t/usr/bin/wc\t-l "
        "\"%FILE%\"\t0\nText\tSort\t/usr/bin/sort\t\t0\nAdmin\tShell\t/bin/sh\t\t-1\n");
    row("show-placeholders-in-order-value-with-spaces", "Text,wc,/usr/bin/wc,-l %A%,0",
        "lanyard --set=%A%=%B% --set '%B%=my notes.txt' show Text wc", 0,
        "program: /usr/bin/wc\narg: -l\narg: my notes.txt\nfolder: /usr/bin/\n");
    row("show-quote-left-open", "Text,wc,/usr/bin/wc,\"%FILE%,0", "lanyard show Text wc", 1, {},
        "lanyard: Text/wc: the command line has a quote that is not closed\n");
    // Started in its own folder; the relative list path still means the caller's.
    row("run-with-placeholders", "Tools,Record," LANYARD_TEST_BIN_DIR "/recorder,\"%FILE%\" %LINE% 'a b',0",
        "lanyard --set \"%FILE%=/tmp/it's a file.txt\" --set %LINE%=12 run Tools Record", 0, {}, {},
        "cwd=" LANYARD_TEST_BIN_DIR "|arg=/tmp/it's a file.txt|arg=12|arg=a b");
    // No box that nobody can see: the message goes to standard error at once.
    for (const QByteArray env : {"", "DISPLAY=:97 ", "QT_QPA_PLATFORM=offscreen "})
        row("run-program-missing-" + env, "Tools,Ghost,/nonexistent/ghost,,0", env + "lanyard run Tools Ghost", 1, {},
            "lanyard: Tools/Ghost: not started: Unable to find the file: /nonexistent/ghost\n");

    row("add-new-group", text, "lanyard add Files Open /usr/bin/xdg-open %FILE% && saved", 0,
        text + "\nFiles,Open,/usr/bin/xdg-open,%FILE%,0\n");
    row("add-protected-command-line-after-dashes", text,
        "lanyard add --protected Text Count /usr/bin/wc -- '-l %FILE%' && saved", 0,
        "Text,Sort,/usr/bin/sort,,0\nText,Count,/usr/bin/wc,-l %FILE%,-1\nAdmin,Shell,/bin/sh,,-1\n");
    row("add-group-limit", text, "lanyard --max-groups 2 add Files Open /x", 1, {},
        "lanyard: Files/Open: not added: the list holds the 2 groups --max-groups allows\n");
    // A file larger than the limits is neither cut short nor written back short.
    row("limit-below-what-the-file-holds", text, "lanyard --max-groups=1 list", 2, {},
        "lanyard: the launch list holds 2 groups of up to 1 applications, more than the limits given allow\n");
    QByteArray most = "G0,x,/x,,0";
    for (int group = 1; group < 32767; ++group)
        most += "\nG" + QByteArray::number(group) + ",x,/x,,0";
    row("add-to-a-list-of-the-most-groups", most, "lanyard add Z x /x", 1, {},
        "lanyard: Z/x: not added: the list holds the 32767 groups --max-groups allows\n");
    row("edit-new-path-and-cmd-unprotects", text,
        "lanyard edit Admin Shell Admin Shell --path=/bin/bash --cmd -l && saved", 0,
        "Text,Sort,/usr/bin/sort,,0\nAdmin,Shell,/bin/bash,-l,0\n");
    row("edit-unknown-application", text, "lanyard edit Text Nope Text Yes", 1, {},
        "lanyard: Text/Nope: no such application\n");
    row("delete", text, "lanyard delete Admin Shell && saved", 0, "Text,Sort,/usr/bin/sort,,0\n");
    row("list-not-written-is-a-failure", text, "chmod 444 tools.lst && $AS_NOBODY --file tools.lst delete Admin Shell",
        2, {},
        "lanyard: the launch list was not saved: Permission denied: cannot write %D/tools.lst: Permission denied\n");
    row("list-of-no-launch-list", "T,A,/a,,0\nT," + QByteArray(70000, 'x'), "lanyard list", 2, {},
        "lanyard: error 75: Path/File access error: %D/tools.lst is no launch list: a line is longer than 65536 "
        "bytes\n");
    row("edit-cmd-emptied-in-a-hand-written-file", "  Text , Sort , /usr/bin/sort , -r , 0",
        "lanyard edit Text Sort Text Sort --cmd= --protected && saved", 0, "Text,Sort,/usr/bin/sort,,-1\n");
    // The default list's folder is made by the first change, not by reading nor by a failed configure.
    row("default-list-made-by-a-change-only", {},
        "FILE= lanyard list; FILE= lanyard show Text Sort; FILE= lanyard run Text Sort; FILE= lanyard configure; "
        "test ! -e config && FILE= lanyard add Text Sort /usr/bin/sort && saved config/lanyard/tools.lst",
        0, "Text,Sort,/usr/bin/sort,,0\n",
        "lanyard: Text/Sort: no such application\nlanyard: Text/Sort: no such application\n"
        "lanyard: configure needs a display, and none answers (DISPLAY, WAYLAND_DISPLAY)\n");
    row("named-folder-missing", {}, "FILE=missing/tools.lst; lanyard list && lanyard add Text Sort /x", 2, {},
        "lanyard: the launch list was not saved: Path/File access error: cannot lock %D/missing/tools.lst: cannot "
        "create %D/missing/.tools.lst.lock: No such file or directory\n");

    // run --wait in a pipeline: input, output and error output pass apart, and so does the status.
    const QByteArray catAndErr = "Text,Sort,/bin/sh,-c 'cat; echo err >&2";
    row("wait-sort-standard-input", "Text,Sort,sort,,0", "printf 'b\\na\\n' | lanyard run --wait Text Sort", 0,
        "a\nb\n");
    row("wait-woken-for-nothing", catAndErr + "',0",
        "printf in | LANYARD_TEST_EMPTY_READS=1 LD_PRELOAD=$SHIMS/quirks.so lanyard run --wait Text Sort", 0, "in",
        "err\n");
    row("wait-status-passes-through", catAndErr + "; exit 7',0", "printf in | lanyard run --wait Text Sort", 7, "in",
        "err\n");
    row("wait-signal-death", "Text,Sort,/bin/sh,-c 'kill -KILL $$',0", "lanyard run --wait Text Sort", 128 + 9, {});
    row("wait-program-or-application-missing", "Text,Sort,/nonexistent/sort,,0",
        "lanyard run --wait Text Sort; lanyard run --wait Text Other", 127, {},
        "lanyard: Text/Sort: not started: Unable to find the file: /nonexistent/sort\n"
        "lanyard: Text/Other: no such application\n");
    const QByteArray cat = "Text,Cat,/bin/sh,-c 'cat && echo read nothing',0";
    row("closed-input-of-a-waited-run", cat, "lanyard run --wait Text Cat <&-", 0, "read nothing\n");
    row("closed-output-of-list", cat, "lanyard list >&-", 2, {}, "lanyard: write error: Bad file descriptor\n");
    // Output a full disk did not take fails, as in GNU tools; a refusal whose message is lost still fails.
    row("lost-output-of-a-command-and-of-help", text, "lanyard list >/dev/full; lanyard --help >/dev/full", 2, {},
        "lanyard: write error: No space left on device\nlanyard: write error: No space left on device\n");
    row("lost-message-of-a-refusal", text, "lanyard show Text Nope 2>/dev/full", 2, {});
    row("bytes-kept", {},
        "FILE=$(printf 'caf\\351.lst'); lanyard add T R \"$BIN/recorder\" %F% && lanyard --set "
        "\"%F%=$(printf 'x\\351')\" run T R && rm \"$FILE\" \".$FILE.lock\"",
        0, {}, {}, "cwd=" LANYARD_TEST_BIN_DIR "|arg=x\xe9");
}

void TestCli::command()
{
    QFETCH(CommandRow, row);
    const QString config = m_dir->filePath(u"config"_s), record = m_dir->filePath(u"record"_s);
    if (!row.before.isEmpty())
        QVERIFY(TestFiles::write(m_file, row.before + '\n'));
    const bool asNobody = row.command.contains("AS_NOBODY");
    if (asNobody && ::geteuid() != 0)
        QSKIP("only root starts another user's processes");
    const QString reachable = binaryFolder(nobody); // nobody may not enter the build
    QProcess shell;
    shell.setProcessEnvironment(
        headless({u"XDG_CONFIG_HOME="_s + config, u"LANYARD="_s + program, u"FILE=tools.lst"_s,
                  u"LANYARD_RECORDER_OUT="_s + record, u"BIN=" LANYARD_TEST_BIN_DIR ""_s,
                  u"SHIMS="_s + reachable, // LD_PRELOAD takes no path with a blank
                  u"AS_NOBODY=setpriv --reuid=65534 --regid=65534 --clear-groups env "_s
                      + (asNobody ? u"LD_LIBRARY_PATH=%1 %1/lanyard"_s.arg(reachable) : QString())}));
    shell.setWorkingDirectory(m_dir->path());
    shell.start(u"/bin/sh"_s, {u"-c"_s, uR"(lanyard() { "$LANYARD" ${FILE:+--file "$FILE"} "$@"; }
saved() { head -n 1 "${1:-tools.lst}" | grep -q '^; Created by: liblanyard on ' && grep -v '^;' "${1:-tools.lst}" | tr -d '\r'; }
)"_s + QString::fromUtf8(row.command)});
    QVERIFY(shell.waitForFinished(60000));
    QCOMPARE(shell.readAllStandardError(), QByteArray(row.err).replace("%D", QFile::encodeName(m_dir->path())));
    QCOMPARE(shell.readAllStandardOutput(), row.out);
    QCOMPARE(shell.exitCode(), row.status);
    if (!row.command.contains("saved"))
        QCOMPARE(TestFiles::read(m_file), row.before.isEmpty() ? "<unreadable>" : row.before + '\n');
    // Nothing written anywhere else: no default list, no list beside the program, no folder made.
    QVERIFY(!QFileInfo::exists(config) || row.command.contains("FILE= lanyard add"));
    QVERIFY(!QFileInfo::exists(LANYARD_TEST_BIN_DIR "/tools.lst") && !QFileInfo::exists(m_dir->filePath(u"missing"_s)));
    if (row.record.isEmpty()) {
        QVERIFY(!QFileInfo::exists(record));
    } else {
        const Record started = Record::waitFor(record);
        QCOMPARE("cwd=" + started.fields.value("cwd") + "|arg=" + started.arguments.join("|arg="), row.record);
    }
}

// The program takes what --help lists as it says: a command's number of arguments, an option's
// commands, a number's range, a choice's values.
void TestCli::helpAndProgramAgree()
{
    const QString help = lanyard({u"--help"_s}).out;
    const auto commands = helpSection(help, u"Commands:"_s), options = helpSection(help, u"Options:"_s);
    QCOMPARE(commands.size(), 7);
    QHash<QString, QStringList> enough; // each command with the arguments it needs
    for (const auto &[synopsis, text] : commands) {
        QStringList words = QString(synopsis).remove(QRegularExpression(uR"( \[-[^]]*\])"_s)).split(u' '), needed, most;
        const QString command = words.takeFirst();
        for (const QString &word : words) { // a group, an application, a program
            most << (word.contains(u"GROUP"_s) ? u"T"_s : word.contains(u"APP"_s) ? u"A"_s : u"/bin/true"_s);
            if (!word.startsWith(u'['))
                needed << most.last();
        }
        enough.insert(command, QStringList{command} + needed);
        for (const QStringList &arguments : {needed, most}) // taken (what follows may fail)
            QVERIFY2(!lanyard(QStringList{command} + arguments).err.contains(u"usage:"_s), qPrintable(synopsis));
        // One argument too few (where one is needed) or one too many: the usage says the synopsis.
        QList<QStringList> wrong{most + QStringList{u"x"_s}};
        if (!needed.isEmpty())
            wrong << needed.mid(1);
        for (const QStringList &arguments : wrong) {
            const Result result = lanyard(QStringList{command} + arguments);
            QCOMPARE(result.err, u"lanyard: wrong number of arguments; usage: lanyard [OPTION]... %1\n"
                                 u"Try 'lanyard --help' for more information.\n"_s.arg(synopsis));
            QCOMPARE(result.status, 2);
        }
    }
    static const QRegularExpression range(uR"(\b(\d+) to (\d+)\b)"_s), choice(uR"(: ((?:\w+, )*\w+ or \w+)$)"_s);
    for (const auto &[tag, text] : options) {
        QStringList option{tag.section(u' ', 0, 0)};
        if (tag.contains(u' ') && !tag.contains(u','))
            option << u"/x"_s;
        static const QRegularExpression taking(uR"(^\(([a-z]+(?:, [a-z]+)*)\) )"_s); // "(add, edit) mark ..."
        const QStringList takers = taking.match(text).captured(1).split(u", "_s, Qt::SkipEmptyParts);
        const QString refused = u" to %1 only\n"_s.arg(
            takers.join(u", "_s).replace(QRegularExpression(u", (\\w+)$"_s), u" and \\1"_s));
        for (auto it = enough.cbegin(); !takers.isEmpty() && it != enough.cend(); ++it) {
            const Result result = lanyard(option + it.value());
            QVERIFY2((result.status == 2 && result.err.contains(refused)) != takers.contains(it.key()),
                     qPrintable(it.key() + u": "_s + result.err));
        }
        if (const QRegularExpressionMatch m = range.match(text); m.hasMatch()) {
            const int low = m.captured(1).toInt(), high = m.captured(2).toInt();
            for (int number : {low - 1, low, high, high + 1}) {
                const Result result = lanyard({option.first(), QString::number(number), u"list"_s});
                const QString refusal = u"needs a whole number from %1 to %2, not '%3'"_s.arg(low).arg(high).arg(
                    number);
                QCOMPARE(result.status == 2 && result.err.contains(refusal), number < low || number > high);
            }
        }
        if (const QRegularExpressionMatch m = choice.match(text); m.hasMatch()) {
            const QStringList values = m.captured(1).split(QRegularExpression(u", | or "_s));
            for (const QString &value : values + QStringList{u"xx"_s}) {
                const Result result = lanyard({option.first(), value, u"list"_s});
                QCOMPARE(result.status == 2 && result.err.contains(u'(' + m.captured(1) + u')'),
                         !values.contains(value));
            }
        }
    }
}

// A host waiting in a session of its own (no terminal's Ctrl-C reaches it) ends the program when told to end.
void TestCli::signalToAWaitCancelsTheProgram()
{
    const QString sleeper = u"sleep 98766%1."_s + QString::number(::getpid()); // unique on the machine
    QVERIFY(
        TestFiles::write(m_file, u"T,Sleep,/bin/sh,-c '%1 ; %2',0\n"_s.arg(sleeper.arg(1), sleeper.arg(2)).toUtf8()));
    const auto host = start({u"--file"_s, m_file, u"run"_s, u"--wait"_s, u"T"_s, u"Sleep"_s});
    QTRY_VERIFY_WITH_TIMEOUT(!ProcessCensus::running(sleeper.arg(1)).isEmpty(), 20000);
    ::kill(pid_t(host->processId()), SIGINT);
    QCOMPARE(finish(*host).status, 128 + SIGINT);
    QTRY_COMPARE_WITH_TIMEOUT(ProcessCensus::running(sleeper.arg(1)) + ProcessCensus::running(sleeper.arg(2)),
                              QList<pid_t>(), 20000);
}

// configure of a default list not made yet: while its window is open, the folder is there for its changes.
void TestCli::configureMakesTheFolderForItsChanges()
{
    const QString folder = m_dir->filePath(u"config/lanyard"_s);
    const auto configure = start(
        {u"configure"_s}, m_dir->path(), {},
        {u"QT_QPA_PLATFORM=offscreen"_s, u"XDG_CONFIG_HOME="_s + m_dir->filePath(u"config"_s)});
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(folder).isDir() || configure->state() == QProcess::NotRunning, 20000);
    const bool made = QFileInfo(folder).isDir();
    configure->kill();
    configure->waitForFinished();
    QVERIFY(made);
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
