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
    void packageFilesDescribeTheInstalledTree();
    void helpAndVersionWithoutADisplay_data();
    void helpAndVersionWithoutADisplay();
    void libraryExportsOnlyThePublicClasses();
    void readmeShowsTheExamplesVerbatim();
    void minimalHostBuildsAndRuns();
    void hostsByNameBuildAndRun_data();
    void hostsByNameBuildAndRun();

private:
    /// Builds examples/@p name against the installed package; the failure text, or nothing.
    QString buildExample(const QString &name);

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
    // Where the library looks for it, from its own folder.
    QTest::newRow("stub-under-libexec") << lib + u'/' + QStringLiteral(LANYARD_STUB_FROM_LIBDIR) + u"/STUB16.EXE"_s << true;
    QTest::newRow("plugin") << lib + u"/lanyard/plugins/lanyard_externalapps.so"_s << false;
    QTest::newRow("package-config") << lib + u"/cmake/Lanyard/LanyardConfig.cmake"_s << false;
    QTest::newRow("package-version") << lib + u"/cmake/Lanyard/LanyardConfigVersion.cmake"_s << false;
    QTest::newRow("pkg-config") << lib + u"/pkgconfig/lanyard.pc"_s << false;
    QTest::newRow("header-externalapps") << u"include/Lanyard/ExternalApps.h"_s << false;
    QTest::newRow("header-toolsmenu") << u"include/Lanyard/ToolsMenu.h"_s << false;
    QTest::newRow("command-line-host") << u"bin/lanyard"_s << true;
    QTest::newRow("demo-host") << u"bin/lanyard-demo"_s << true;
    QTest::newRow("man-page") << u"share/man/man1/lanyard.1"_s << false;
    QTest::newRow("desktop-entry") << u"share/applications/lanyard-demo.desktop"_s << false;
    QTest::newRow("icon") << u"share/icons/hicolor/scalable/apps/lanyard-demo.svg"_s << false;
    QTest::newRow("licence") << u"share/doc/Lanyard/LICENSE"_s << false;
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

void TestInstall::packageFilesDescribeTheInstalledTree()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"PKG_CONFIG_PATH"_s, m_prefix + u'/' + QStringLiteral(LANYARD_INSTALL_LIBDIR) + u"/pkgconfig"_s);
    const auto pkgConfig = [&](const QStringList &arguments) {
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(u"pkg-config"_s, arguments + QStringList{u"lanyard"_s});
        return process.waitForFinished(30000) && process.exitCode() == 0
            ? QString::fromUtf8(process.readAllStandardOutput()).simplified()
            : QString();
    };
    // Wherever the package is installed, its paths lead to it.
    const QString include = pkgConfig({u"--cflags-only-I"_s}).section(u' ', 0, 0).mid(2);
    QVERIFY2(QFileInfo::exists(include + u"/Lanyard/ExternalApps.h"_s), qPrintable(include));
    QVERIFY(pkgConfig({u"--libs"_s}).contains(u"-llanyard"_s));
    const QString plugins = pkgConfig({u"--variable=plugindir"_s});
    QVERIFY2(QFileInfo::exists(plugins + u"/lanyard_externalapps.so"_s), qPrintable(plugins));

    const QString desktop = m_prefix + u"/share/applications/lanyard-demo.desktop"_s;
    const QString failure = run(u"desktop-file-validate"_s, {desktop});
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    QProcess man;
    man.start(u"man"_s, {u"-l"_s, m_prefix + u"/share/man/man1/lanyard.1"_s});
    QVERIFY(man.waitForFinished(30000));
    QVERIFY(man.readAllStandardOutput().simplified().contains("lanyard - start and maintain"));
}

void TestInstall::helpAndVersionWithoutADisplay_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("out");
    QTest::newRow("lanyard-help") << u"lanyard"_s << u"--help"_s << u"Usage: lanyard"_s;
    QTest::newRow("lanyard-version") << u"lanyard"_s << u"--version"_s << u"lanyard (Lanyard) 1.0.0"_s;
    QTest::newRow("demo-help") << u"lanyard-demo"_s << u"--help"_s << u"Usage: "_s;
    QTest::newRow("demo-version") << u"lanyard-demo"_s << u"--version"_s << u"lanyard-demo 1.0.0"_s;
}

void TestInstall::helpAndVersionWithoutADisplay()
{
    QFETCH(QString, program);
    QFETCH(QString, option);
    QFETCH(QString, out);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString &name : {u"DISPLAY"_s, u"WAYLAND_DISPLAY"_s, u"QT_QPA_PLATFORM"_s})
        env.remove(name);
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(m_prefix + u"/bin/"_s + program, {option});
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
    QVERIFY(QString::fromUtf8(process.readAllStandardOutput()).startsWith(out));
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

// Every code block of README is an example's file as it stands, so that what a reader copies
// is what the tests build.
void TestInstall::readmeShowsTheExamplesVerbatim()
{
    QFile readme(QStringLiteral(LANYARD_SOURCE_DIR "/README.md"));
    QVERIFY(readme.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(readme.readAll());
    static const QRegularExpression block(uR"(```(cpp|qml)\n(.*?)```)"_s, QRegularExpression::DotMatchesEverythingOption);
    QStringList examples;
    for (const QString &file : {u"minimal-host/main.cpp"_s, u"late-bound-host/main.cpp"_s, u"qml-host/main.qml"_s}) {
        QFile example(QStringLiteral(LANYARD_SOURCE_DIR "/examples/") + file);
        QVERIFY(example.open(QIODevice::ReadOnly));
        examples << QString::fromUtf8(example.readAll());
    }
    int blocks = 0;
    for (auto it = block.globalMatch(text); it.hasNext(); ++blocks) {
        const QString code = it.next().captured(2);
        QVERIFY2(examples.contains(code), qPrintable(code.left(200)));
    }
    QCOMPARE(blocks, examples.size());
}

QString TestInstall::buildExample(const QString &name)
{
    const QString build = m_dir.filePath(name);
    QStringList configure{u"-S"_s, QStringLiteral(LANYARD_SOURCE_DIR "/examples/") + name, u"-B"_s, build,
                          u"-G"_s, QStringLiteral(LANYARD_CMAKE_GENERATOR), u"-DCMAKE_PREFIX_PATH="_s + m_prefix,
                          u"-DCMAKE_BUILD_TYPE=Debug"_s};
    // A sanitized library needs a sanitized program in front of it.
    const QString sanitize = QStringLiteral(LANYARD_SANITIZE);
    if (!sanitize.isEmpty()) {
        configure << u"-DCMAKE_CXX_FLAGS=-fsanitize="_s + sanitize
                  << u"-DCMAKE_EXE_LINKER_FLAGS=-fsanitize="_s + sanitize;
    }
    const QString failure = run(QStringLiteral(LANYARD_CMAKE), configure);
    return failure.isEmpty() ? run(QStringLiteral(LANYARD_CMAKE), {u"--build"_s, build}) : failure;
}

void TestInstall::minimalHostBuildsAndRuns()
{
    const QString build = m_dir.filePath(u"minimal-host"_s);
    const QString failure = buildExample(u"minimal-host"_s);
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

void TestInstall::hostsByNameBuildAndRun_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("output");
    QTest::newRow("late-bound-host") << u"late-bound-host"_s << u"added: true groups: 1 path: /usr/bin/ed error: 0"_s;
    QTest::newRow("qml-host") << u"qml-host"_s
                              << u"qml: error 9 Index out of range\nqml: groups: 1 path: /usr/bin/ed protected: false language: 1"_s;
}

// Hosts without a Lanyard header create the object through the plugin and use it by name.
void TestInstall::hostsByNameBuildAndRun()
{
    QFETCH(QString, name);
    QFETCH(QString, output);
    const QString failure = buildExample(name);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    const QString list = m_dir.filePath(name + u".lst"_s);
    QProcess host;
    host.setProcessChannelMode(QProcess::MergedChannels);
    host.start(m_dir.filePath(name) + u'/' + name, {list});
    QVERIFY(host.waitForFinished(60000));
    QCOMPARE(QString::fromUtf8(host.readAll()).trimmed(), output);
    QCOMPARE(host.exitCode(), 0);
    QFile saved(list);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QVERIFY(saved.readAll().contains("Tools,Editor,/usr/bin/ed,-p %FILE%,0\r\n"));
}

QTEST_GUILESS_MAIN(TestInstall)
#include "tst_install.moc"
