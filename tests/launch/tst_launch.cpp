// SPDX-License-Identifier: MIT
// Launching an entry and the run that talks back: the words the program gets, what comes back.
#include "common/Catalogue.h"
#include "common/Files.h"
#include "common/ProcessCensus.h"
#include "common/Recorder.h"

#include <Lanyard/ToolRun.h>

#include <QAbstractEventDispatcher>
#include <QDir>
#include <QPointer>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Lanyard;
using namespace Qt::StringLiterals;

namespace {

using Pairs = QList<std::pair<QString, QString>>;

const QString binDir = QStringLiteral(LANYARD_TEST_BIN_DIR);
const QString recorder = binDir + QStringLiteral("/recorder");

struct TalkRow
{
    QString path, cmdLine;
    QByteArray input, output, error;
    int exitCode = 0;
};

} // namespace

Q_DECLARE_METATYPE(TalkRow)
Q_DECLARE_METATYPE(Lanyard::LaunchCommand)

class tst_Launch : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_tmp;
    QString m_out;
    int m_inheritable = -1;
    int m_descriptorsAtStart = 0;

private Q_SLOTS:
    void initTestCase()
    {
        m_inheritable = ::open("/dev/null", O_RDONLY);
        QVERIFY(m_inheritable > 2);
        m_descriptorsAtStart = ProcessCensus::openDescriptors(false);
    }
    void init()
    {
        m_tmp = std::make_unique<QTemporaryDir>();
        QVERIFY(m_tmp->isValid() && QDir::setCurrent(m_tmp->path()));
        m_out = m_tmp->filePath("record");
        qputenv("LANYARD_RECORDER_OUT", QFile::encodeName(m_out));
    }
    void cleanup()
    {
        // Launched programs are reaped when they end, also in a host that runs no event loop.
        const QDeadlineTimer bound(10000);
        while (!ProcessCensus::children().isEmpty() && !bound.hasExpired())
            QThread::yieldCurrentThread();
        QCOMPARE(ProcessCensus::children(), QStringList());
    }
    void cleanupTestCase()
    {
        QTRY_COMPARE_WITH_TIMEOUT(ProcessCensus::openDescriptors(false), m_descriptorsAtStart,
                                  5000); // the reaper lingers a while
        ::close(m_inheritable);
    }

    // Stored quoting, each placeholder's value one word; the recorder starts in its folder, inheriting nothing.
    void words_data();
    void words()
    {
        QFETCH(Pairs, placeholders);
        QFETCH(QString, path);
        QFETCH(QString, cmdLine);
        QFETCH(LaunchCommand, command);
        ExternalApps apps;
        QVERIFY(apps.AddApp("Tools", "App", path, cmdLine, false));
        for (const auto &[search, replace] : placeholders)
            apps.AddPlaceHolder(search, replace);
        QCOMPARE(apps.launchCommand("Tools", "App").value(), command);
        if (path != recorder)
            return;
        QSignalSpy finished(&apps, &ExternalApps::AppFinished);
        QVERIFY(apps.ExecuteApp("Tools", "App"));
        QCOMPARE(finished.count(), 1); // inside the call, before it returns
        const Record record = Record::waitFor(m_out);
        QCOMPARE(record.texts(), command.arguments);
        QCOMPARE(record.fields["cwd"] + '/', binDir.toUtf8() + '/');
        QCOMPARE(QDir::currentPath(), m_tmp->path());
        QCOMPARE(QStringList({record.fields["fds"], record.fields["stdin"], record.fields["session"]}),
                 QStringList({"0,1,2", "/dev/null", "1"}));
    }

    // What comes back is as the program made it, also after its ExternalApps; then the loop sleeps.
    void talkBack_data()
    {
        QTest::addColumn<TalkRow>("row");
        QByteArray hostile(1 << 20, Qt::Uninitialized);
        QRandomGenerator random(24);
        for (qsizetype at = 0; at < hostile.size(); ++at) // with NULs and lone continuation bytes
            hostile[at] = at % 4099 ? char(random.bounded(256)) : '\0';
        hostile.replace(100, 5, QByteArray("\0\0\0\x80\xff", 5));
        const auto sh = [](const char *script) { return QStringLiteral("-c '%1'").arg(QString::fromUtf8(script)); };
        QTest::newRow("selection-upper-cased") << TalkRow{"tr", "a-z A-Z", "abc", "ABC"};
        QTest::newRow("mebibyte-not-utf8-with-nuls") << TalkRow{"/bin/cat", {}, hostile, hostile};
        QTest::newRow("no-input-reads-end-of-file") << TalkRow{"/bin/cat"};
        // Input never read meets a pipe with no reader: no SIGPIPE for the host (at its default action).
        QTest::newRow("input-never-read") << TalkRow{"/bin/true", {}, hostile};
        QTest::newRow("placeholder-replaced") << TalkRow{"/bin/echo", "%WHO%", {}, "world\n"};
        QTest::newRow("output-and-error-kept-apart")
            << TalkRow{"/bin/sh",
                       sh("for i in 1 2 3; do echo o$i; echo e$i >&2; done; exit 3"),
                       {},
                       "o1\no2\no3\n",
                       "e1\ne2\ne3\n",
                       3};
        QTest::newRow("code-255") << TalkRow{"/bin/sh", sh("exit 255"), {}, {}, {}, 255};
        QTest::newRow("killed-by-sigterm") << TalkRow{"/bin/sh", sh("kill -TERM $$"), {}, {}, {}, 128 + SIGTERM};
        // More output than the pipes hold before the program reads its input: both go through.
        QTest::newRow("writes-before-reading")
            << TalkRow{"/bin/sh", sh("head -c 4194304 /dev/zero; wc -c"), QByteArray(4 << 20, 'x'),
                       QByteArray(4 << 20, '\0') + "4194304\n"};
    }
    void talkBack()
    {
        QFETCH(TalkRow, row);
        const auto pipeAction = std::signal(SIGPIPE, SIG_DFL);
        const auto restorePipeAction = qScopeGuard([&] { std::signal(SIGPIPE, pipeAction); });
        auto apps = std::make_unique<ExternalApps>();
        apps->AddPlaceHolder("%WHO%", "world");
        QVERIFY(apps->AddApp("T", "Tool", row.path, row.cmdLine, false));
        ToolRun *run = apps->startTool("T", "Tool", row.input);
        QCOMPARE(run->state(), ToolRun::State::Running);
        QCOMPARE(run->exitCode(), -1);
        run->setParent(nullptr);
        const std::unique_ptr<ToolRun> owned(run);
        apps.reset();
        QByteArray output;
        QByteArray error;
        connect(run, &ToolRun::standardOutput, this, [&output](const QByteArray &bytes) { output += bytes; });
        connect(run, &ToolRun::standardError, this, [&error](const QByteArray &bytes) { error += bytes; });
        QSignalSpy finished(run, &ToolRun::finished);
        QVERIFY(finished.wait(60000));
        QCOMPARE(output.size(), row.output.size());
        QVERIFY(output == row.output && error == row.error);
        QCOMPARE(finished.at(0).at(0).toInt(), row.exitCode);
        QCOMPARE(run->exitCode(), row.exitCode);
        QCOMPARE(run->state(), ToolRun::State::Finished);
        // Nothing of the ended program (its pidfd stays readable) wakes the loop again and again.
        QSignalSpy wakes(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::awake);
        QTest::qWait(200);
        QVERIFY2(wakes.size() < 50, qPrintable(QString::number(wakes.size())));
    }

    // A character split across pieces comes whole, one cut by the end as U+FFFD; pieces hold no slack.
    // A host listening from a chunk on ('+') gets a character straddling that moment whole.
    void text_data()
    {
        QTest::addColumn<QByteArrayList>("chunks");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("listening"); // per chunk; empty: all along
        QTest::newRow("euro-split") << QByteArrayList{"\342\202", "\254\n"} << u"€\n"_s << QByteArray();
        QTest::newRow("cut-short-by-the-end") << QByteArrayList{"ok\342\202"} << u"ok\uFFFD"_s << QByteArray();
        QTest::newRow("not-utf8-in-the-middle") << QByteArrayList{"a\377b"} << u"a\uFFFDb"_s << QByteArray();
        QTest::newRow("byte-order-mark-first") << QByteArrayList{"\357\273\277x"} << u"\uFEFFx"_s << QByteArray();
        QByteArray bytes;
        QString many;
        for (int i = 0; i < 30000; ++i) {
            bytes += "\303\251\342\202\254\360\237\230\200";
            many += u"é€😀"_s;
        }
        QTest::newRow("many-pieces-of-multibyte-text") << QByteArrayList{bytes} << many << QByteArray();
        // The first and last lead byte of each length, the character cut after its lead.
        for (const char32_t c : {0x80, 0x7FF, 0x800, 0xFFEE, 0x10000, 0x10FFFD}) {
            const QString character = QString::fromUcs4(&c, 1);
            const QByteArray utf8 = character.toUtf8();
            QTest::addRow("lead-%x-straddles-a-late-listener", quint8(utf8.at(0)))
                << QByteArrayList{"a" + utf8.left(1), utf8.mid(1) + 'b'} << character + u'b' << QByteArray("-+");
        }
        QTest::newRow("three-of-four-bytes-before-a-late-listener")
            << QByteArrayList{"ab\360\237\230", "\200"} << u"😀"_s << QByteArray("-+");
        QTest::newRow("whole-characters-before-a-late-listener")
            << QByteArrayList{"a\342\202\254b", "c"} << u"c"_s << QByteArray("-+");
        QTest::newRow("listener-left-mid-character")
            << QByteArrayList{"a\342", "\202\254b", "cd"} << u"acd"_s << QByteArray("+-+");
    }
    void text()
    {
        QFETCH(QByteArrayList, chunks);
        QFETCH(QString, text);
        QFETCH(QByteArray, listening);
        const QString go = m_tmp->filePath("go");
        QVERIFY(::mkfifo(QFile::encodeName(go).constData(), 0600) == 0);
        for (int i = 0; i < chunks.size(); ++i)
            QVERIFY(TestFiles::write(m_tmp->filePath(QString::number(i)), chunks[i]));
        ExternalApps apps; // started by name in the chunks' folder: a launch's own options reach it
        QVERIFY(apps.AddApp("T", "Text", "/bin/sh",
                            "-c 'i=0; while [ -e $i ]; do read w < go; cat $i; i=$((i+1)); done'", false));
        const int word = ::open(QFile::encodeName(go).constData(), O_RDWR | O_CLOEXEC);
        const auto closeWord = qScopeGuard([word] { ::close(word); });
        const QVariantMap options{{"folder", m_tmp->path()}};
        auto *run = apps.invoke("startTool", "call", {"T", "Text", {}, 0, options}).value("value").value<ToolRun *>();
        QByteArray output;
        QList<QByteArray> pieces;
        connect(run, &ToolRun::standardOutput, this, [&](const QByteArray &bytes) {
            output += bytes;
            pieces << bytes;
        });
        QSignalSpy finished(run, &ToolRun::finished);
        QString heard;
        QMetaObject::Connection listener;
        QByteArray written;
        for (int i = 0; i < chunks.size(); ++i) {
            if (listening.mid(i, 1) == "-")
                disconnect(std::exchange(listener, {}));
            else if (!listener)
                listener = connect(run, &ToolRun::standardOutputText, this, [&heard](const QString &t) { heard += t; });
            QCOMPARE(::write(word, "\n", 1), 1);
            written += chunks[i];
            QTRY_COMPARE_WITH_TIMEOUT(output, written, 20000); // each change once the pieces before it were told
        }
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 20000);
        QCOMPARE(heard, text);
        qsizetype held = 0;
        for (const QByteArray &piece : std::as_const(pieces))
            held += piece.capacity();
        QVERIFY2(held <= 2 * output.size(), qPrintable(QString::number(held)));
    }

    // A handler may delete its run while the program runs: nothing more is told, the program ends.
    void deletedInItsOwnHandler()
    {
        ExternalApps apps;
        QVERIFY(apps.AddApp("T", "Talker", "/bin/sh", "-c 'echo first; sleep 987656'", false));
        QPointer<ToolRun> run = apps.startTool("T", "Talker");
        connect(run, &ToolRun::standardOutput, this, [&run] { delete run.data(); });
        connect(run, &ToolRun::finished, this, [] { QFAIL("told after its deletion"); });
        QTRY_VERIFY_WITH_TIMEOUT(run.isNull(), 20000);
        QTRY_COMPARE_WITH_TIMEOUT(ProcessCensus::running("sleep 987656"), QList<pid_t>(), 20000);
    }
};

// Outside the class: moc does not read raw string literals.
void tst_Launch::words_data()
{
    QTest::addColumn<Pairs>("placeholders");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("cmdLine");
    QTest::addColumn<LaunchCommand>("command");
    const QString folder = binDir + u'/';
    const auto args = [&folder](const QStringList &arguments) { return LaunchCommand{recorder, arguments, folder}; };
    const auto row = [](const char *tag, const Pairs &pairs, const QString &path, const QString &cmdLine,
                        const LaunchCommand &command) { QTest::newRow(tag) << pairs << path << cmdLine << command; };
    const QString hostile = R"(a  b 'c" "d' ; $(touch pwned1) `touch pwned2` \ | & > pwned3 *)";
    row("none", Pairs{}, recorder, "", args({}));
    row("stored-quoting", Pairs{}, recorder, R"(-a 'b c' "d \"e\"" f\ g)", args({"-a", "b c", R"(d "e")", "f g"}));
    row("value-with-blanks-one-word", Pairs{{"%FILE%", "/tmp/my file.txt"}}, recorder, "--file=%FILE% -v",
        args({"--file=/tmp/my file.txt", "-v"}));
    row("hostile-value", Pairs{{"%V%", hostile}}, recorder, "%V%", args({hostile}));
    row("hostile-value-in-a-word", Pairs{{"%V%", hostile}}, recorder, "x%V%y z", args({'x' + hostile + 'y', "z"}));
    row("earlier-replacement-seen-by-later", Pairs{{"%A%", "[%B%]"}, {"%B%", "b"}}, recorder, "%A% %B%",
        args({"[b]", "b"}));
    row("later-replacement-not-seen-by-earlier", Pairs{{"%A%", "a"}, {"%B%", "%A%"}}, recorder, "%B%", args({"%A%"}));
    row("no-rescan-of-a-replacement", Pairs{{"%A%", "%A%%A%"}}, recorder, "%A%", args({"%A%%A%"}));
    row("empty-value-quoted-is-a-word", Pairs{{"%E%", ""}}, recorder, "a \"%E%\" b", args({"a", "", "b"}));
    row("empty-value-unquoted-vanishes", Pairs{{"%E%", ""}}, recorder, "a %E% b", args({"a", "b"}));
    row("trailing-blanks-trimmed", Pairs{{"%V%", "v  "}}, recorder, "-x %V%", args({"-x", "v"}));
    row("path-is-a-placeholder", Pairs{{"%REC%", recorder}}, "%REC%", "-v", LaunchCommand{recorder, {"-v"}, {}});
    row("placeholder-ends-the-path", Pairs{{"%NAME%", "recorder"}}, folder + "%NAME%", "a b", args({"a", "b"}));
    row("placeholder-spans-path-and-command", Pairs{{"% X%", "er"}}, folder + "record%", "X% -v", args({"-v"}));
    row("placeholder-takes-the-blank", Pairs{{"% ", "order"}}, folder + "rec%", "-v", args({"-v"}));
    row("placeholder-begins-at-the-blank", Pairs{{" %A%", " x"}}, recorder, "%A% y", args({" x", "y"}));
    row("placeholder-begins-the-command", Pairs{{"%ARGS%", "1 2"}}, recorder, "%ARGS% 3", args({"1 2", "3"}));
}

QTEST_MAIN(tst_Launch)
#include "tst_launch.moc"
