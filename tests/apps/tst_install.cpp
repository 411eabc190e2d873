// `cmake --install` into a fresh prefix, then a host built against the installed package.
#include <QDir>
#include <QFileInfo>
#include <QPluginLoader>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

/// Runs a program to its end; the failure text is its output, for the test log.
QString run(const QString &program, const QStringList &arguments, const QProcessEnvironment &env = {})
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    if (!env.isEmpty())
        process.setProcessEnvironment(env);
    process.start(program, arguments);
    if (!process.waitForFinished(240000))
        return program + u" did not finish"_s;
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return program + u' ' + arguments.join(u' ') + u" failed:\n"_s + QString::fromLocal8Bit(process.readAll());
    return QString();
}

} // namespace

class TestInstall : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void installedFiles_data();
    void installedFiles();
    void installedPartsFindTheLibrary();
    void libraryExportsOnlyThePublicClasses();
    void minimalHostBuildsAndRuns();

private:
    QTemporaryDir m_dir;
    QString m_prefix;
};

void TestInstall::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_prefix = m_dir.filePath(u"prefix"_s);
    const QString failure = run(QStringLiteral(LANYARD_CMAKE), {u"--install"_s, QStringLiteral(LANYARD_BUILD_DIR),
                                                                u"--prefix"_s, m_prefix});
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
}

void TestInstall::installedFiles_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("executable");

    const QString lib = QStringLiteral(LANYARD_INSTALL_LIBDIR);
    QTest::newRow("library") << lib + u"/liblanyard.so"_s << false;
    QTest::newRow("stub-beside-the-library") << lib + u"/STUB16.EXE"_s << true;
    QTest::newRow("plugin") << lib + u"/lanyard/plugins/lanyard_externalapps.so"_s << false;
    QTest::newRow("package-config") << lib + u"/cmake/Lanyard/LanyardConfig.cmake"_s << false;
    QTest::newRow("package-version") << lib + u"/cmake/Lanyard/LanyardConfigVersion.cmake"_s << false;
    QTest::newRow("header-externalapps") << u"include/Lanyard/ExternalApps.h"_s << false;
    QTest::newRow("header-toolsmenu") << u"include/Lanyard/ToolsMenu.h"_s << false;
    QTest::newRow("command-line-host") << u"bin/lanyard"_s << true;
    QTest::newRow("demo-host") << u"bin/lanyard-demo"_s << true;
}

void TestInstall::installedFiles()
{
    QFETCH(QString, path);
    QFETCH(bool, executable);

    const QFileInfo info(m_prefix + u'/' + path);
    QVERIFY2(info.exists(), qPrintable(info.filePath()));
    QCOMPARE(info.isExecutable(), executable);
}

void TestInstall::installedPartsFindTheLibrary()
{
    const QString failure = run(m_prefix + u"/bin/lanyard"_s, {u"--file"_s, m_dir.filePath(u"empty.lst"_s), u"list"_s});
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    QPluginLoader loader(m_prefix + u'/' + QStringLiteral(LANYARD_INSTALL_LIBDIR) + u"/lanyard/plugins/lanyard_externalapps.so"_s);
    QVERIFY2(loader.load() && loader.instance(), qPrintable(loader.errorString()));
}

void TestInstall::libraryExportsOnlyThePublicClasses()
{
    QProcess nm;
    nm.start(u"nm"_s, {u"-DC"_s, u"--defined-only"_s,
                        m_prefix + u'/' + QStringLiteral(LANYARD_INSTALL_LIBDIR) + u"/liblanyard.so"_s});
    QVERIFY(nm.waitForFinished(60000) && nm.exitCode() == 0);
    static const QRegularExpression publicSymbol(
        uR"(^((typeinfo for |typeinfo name for |vtable for )?Lanyard::(ExternalApps|ComponentError|ToolsMenu)\b(?!::Private)|Lanyard::staticMetaObject@|LANYARD_1$))"_s);
    QStringList symbols;
    for (const QString &line : QString::fromUtf8(nm.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts)) {
        const QString symbol = line.section(u' ', 2);
        QVERIFY2(publicSymbol.match(symbol).hasMatch(), qPrintable(symbol));
        symbols << symbol;
    }
    QVERIFY(symbols.contains(u"Lanyard::ExternalApps::ExecuteApp(QString const&, QString const&)@@LANYARD_1"_s));
}

void TestInstall::minimalHostBuildsAndRuns()
{
    const QString build = m_dir.filePath(u"minimal-host"_s);
    QStringList configure{u"-S"_s, QStringLiteral(LANYARD_SOURCE_DIR "/examples/minimal-host"), u"-B"_s, build,
                          u"-G"_s, QStringLiteral(LANYARD_CMAKE_GENERATOR), u"-DCMAKE_PREFIX_PATH="_s + m_prefix,
                          u"-DCMAKE_BUILD_TYPE=Debug"_s};
    // A sanitized library needs a sanitized program in front of it.
    const QString sanitize = QStringLiteral(LANYARD_SANITIZE);
    if (!sanitize.isEmpty()) {
        configure << u"-DCMAKE_CXX_FLAGS=-fsanitize="_s + sanitize
                  << u"-DCMAKE_EXE_LINKER_FLAGS=-fsanitize="_s + sanitize;
    }
    QString failure = run(QStringLiteral(LANYARD_CMAKE), configure);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    failure = run(QStringLiteral(LANYARD_CMAKE), {u"--build"_s, build});
    QVERIFY2(failure.isEmpty(), qPrintable(failure));

    // Its first entry gets %FILE%; then it waits in the program list window.
    const QString list = m_dir.filePath(u"tools.lst"_s);
    const QString record = m_dir.filePath(u"record"_s);
    QFile file(list);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("Tools,Record," LANYARD_TEST_BIN_DIR "/recorder,--file=%FILE%,0\n") > 0);
    file.close();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    env.insert(u"LANYARD_RECORDER_OUT"_s, record);
    QProcess host;
    host.setProcessEnvironment(env);
    host.start(build + u"/minimal-host"_s, {list});
    QVERIFY(host.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(record) || host.state() == QProcess::NotRunning, 10000);
    QVERIFY2(host.state() == QProcess::Running, host.readAllStandardError().constData());
    QFile recorded(record);
    QVERIFY(recorded.open(QIODevice::ReadOnly));
    QVERIFY(recorded.readAll().contains(QByteArray("\0arg=--file=/etc/hostname\0", 26)));
    host.kill();
    host.waitForFinished();
}

QTEST_GUILESS_MAIN(TestInstall)
#include "tst_install.moc"
