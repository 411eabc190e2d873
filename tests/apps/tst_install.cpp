// SPDX-License-Identifier: MIT
// `cmake --install` into a fresh prefix, then a host built against the installed package.
#include "common/Files.h"
#include "common/LanyardProcess.h"
#include "common/Recorder.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QImage>
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

/// The files and links under @p root, relative to it, sorted; a configuration's name in the
/// CMake package's file names (LanyardTargets-debug.cmake) reads CONFIG.
QStringList filesUnder(const QString &root)
{
    static const QRegularExpression configuration(uR"(LanyardTargets-[a-z]+\.cmake$)"_s);
    QStringList files;
    QDirIterator it(root, QDir::Files | QDir::System | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(root).relativeFilePath(it.next()).replace(configuration, u"LanyardTargets-CONFIG.cmake"_s);
    files.sort();
    return files;
}

/// The files without the HTML reference, whose file names Doxygen chooses.
QStringList withoutReference(QStringList files)
{
    files.removeIf([](const QString &file) { return file.startsWith(u"share/doc/lanyard/html/"_s); });
    return files;
}

/// The RUNPATH entry of an ELF file, empty when it has none.
QString runPathOf(const QString &file)
{
    QProcess readelf;
    readelf.start(u"readelf"_s, {u"-d"_s, file});
    if (!readelf.waitForFinished(60000))
        return u"readelf did not finish"_s;
    static const QRegularExpression entry(uR"(\((?:RUNPATH|RPATH)\).*\[(.*)\])"_s);
    return entry.match(QString::fromUtf8(readelf.readAllStandardOutput())).captured(1);
}

} // namespace

class TestInstall : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void componentsInstallTheirFiles();
    void installedPartsFindTheLibrary();
    void runPathOnlyOutsideTheSystemsFolders();
    void manualPagesCarryTheProjectsVersion();
    void packageFilesDescribeTheInstalledTree();
    void libraryExportsOnlyThePublicClasses();
    void readmeShowsTheExamplesVerbatim();
    void examplesBuildAndRun_data();
    void examplesBuildAndRun();

private:
    QTemporaryDir m_dir;
    QString m_prefix;
};

void TestInstall::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_prefix = m_dir.filePath(u"prefix"_s);
    const QString failure = run(QStringLiteral(LANYARD_CMAKE),
                                {u"--install"_s, QStringLiteral(LANYARD_BUILD_DIR), u"--prefix"_s, m_prefix});
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
}

// A packager installs each component into a package of its own: together they are the whole
// install, and each holds its own files only (the programs left out of the build: none).
void TestInstall::componentsInstallTheirFiles()
{
    const QString lib = QStringLiteral(LANYARD_INSTALL_LIBDIR "/");
    const QString version = QStringLiteral(LANYARD_VERSION);
    QStringList library{
        lib + u"liblanyard.so"_s,
        lib + u"liblanyard.so."_s + version.section(u'.', 0, 0),
        lib + u"liblanyard.so."_s + version,
        lib + u"lanyard/plugins/lanyard_externalapps.so"_s,
        QDir::cleanPath(QStringLiteral(LANYARD_INSTALL_LIBDIR "/" LANYARD_STUB_FROM_LIBDIR "/STUB16.EXE")),
        lib + u"pkgconfig/lanyard.pc"_s,
        lib + u"qt6/qml/Lanyard/qmldir"_s,
        lib + u"qt6/qml/Lanyard/liblanyardqmlplugin.so"_s};
    for (const char *file : {"LanyardConfig", "LanyardConfigVersion", "LanyardTargets", "LanyardTargets-CONFIG"})
        library << lib + u"cmake/Lanyard/"_s + QLatin1StringView(file) + u".cmake"_s;
    for (const char *header : {"ComponentError", "Entry", "Export", "ExternalApps", "Language", "LaunchCommand",
                               "Result", "ToolRun", "ToolsMenu"})
        library << u"include/Lanyard/"_s + QLatin1StringView(header) + u".h"_s;
    QStringList cli, demo, doc{u"share/doc/lanyard/LICENSE"_s};
    const QString man = QStringLiteral(LANYARD_INSTALL_MANDIR "/man1/");
    if (LANYARD_WITH_CLI) {
        cli << u"bin/lanyard"_s;
        doc << man + u"lanyard.1"_s;
    }
    if (LANYARD_WITH_DEMO) {
        demo << u"bin/lanyard-demo"_s << u"share/applications/lanyard-demo.desktop"_s
             << u"share/icons/hicolor/scalable/apps/lanyard-demo.svg"_s;
        doc << man + u"lanyard-demo.1"_s;
    }
    QStringList whole;
    for (auto [component, expected] :
         {std::pair{u"library"_s, library}, {u"cli"_s, cli}, {u"demo"_s, demo}, {u"doc"_s, doc}}) {
        const QString prefix = m_dir.filePath(u"component-"_s + component);
        const QString failure = run(
            QStringLiteral(LANYARD_CMAKE),
            {u"--install"_s, QStringLiteral(LANYARD_BUILD_DIR), u"--component"_s, component, u"--prefix"_s, prefix});
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        expected.sort();
        QCOMPARE(withoutReference(filesUnder(prefix)), expected);
        whole += expected;
        if (component == u"doc")
            QVERIFY(QFileInfo::exists(prefix + u"/share/doc/lanyard/html/classLanyard_1_1ExternalApps.html"_s));
    }
    whole.sort();
    QCOMPARE(withoutReference(filesUnder(m_prefix)), whole);
    for (const QString &program : whole.filter(QRegularExpression(uR"(^bin/|/STUB16\.EXE$)"_s)))
        QVERIFY2(QFileInfo(m_prefix + u'/' + program).isExecutable(), qPrintable(program));
}

// The installed programs find the installed library (the plugin: the late-bound example below),
// also where no display is. Installed into a system's library folder they need no run path, and
// there the loader finds the library by itself.
void TestInstall::installedPartsFindTheLibrary()
{
    // Without a run path this build was made for a system prefix, installed elsewhere here.
    const QProcessEnvironment env = LanyardProcess::headless(
        LANYARD_WITH_RUNPATH ? QStringList()
                             : QStringList{u"LD_LIBRARY_PATH="_s + m_prefix + u"/" LANYARD_INSTALL_LIBDIR ""_s});
    QString failure;
    if (LANYARD_WITH_CLI)
        failure += run(m_prefix + u"/bin/lanyard"_s, {u"--file"_s, m_dir.filePath(u"empty.lst"_s), u"list"_s}, env);
    for (const QString &option : {u"--help"_s, u"--version"_s}) {
        if (LANYARD_WITH_DEMO)
            failure += run(m_prefix + u"/bin/lanyard-demo"_s, {option}, env);
    }
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
}

// A run path only where the loader would not look: this build's prefix has the one it needs,
// a build for /usr (configured only, the demo left out) has none at all.
void TestInstall::runPathOnlyOutsideTheSystemsFolders()
{
    const QString lib = QStringLiteral(LANYARD_INSTALL_LIBDIR);
    for (const auto &[file, runPath] : {std::pair{u"bin/lanyard"_s, u"$ORIGIN/../"_s + lib},
                                        {lib + u"/lanyard/plugins/lanyard_externalapps.so"_s, u"$ORIGIN/../.."_s},
                                        {lib + u"/liblanyard.so"_s, QString()}}) {
        if (file.startsWith(u"bin/"_s) && !LANYARD_WITH_CLI)
            continue;
        QCOMPARE(runPathOf(m_prefix + u'/' + file), LANYARD_WITH_RUNPATH ? runPath : QString());
    }

    const QString build = m_dir.filePath(u"system"_s);
    const QString failure = run(QStringLiteral(LANYARD_CMAKE),
                                {u"-S"_s, QStringLiteral(LANYARD_SOURCE_DIR), u"-B"_s, build, u"-G"_s,
                                 QStringLiteral(LANYARD_CMAKE_GENERATOR), u"-DCMAKE_INSTALL_PREFIX=/usr"_s,
                                 u"-DBUILD_TESTING=OFF"_s, u"-DLANYARD_BUILD_DEMO=OFF"_s});
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    QString rules;
    for (QDirIterator it(build, {u"cmake_install.cmake"_s}, QDir::Files, QDirIterator::Subdirectories); it.hasNext();)
        rules += QString::fromUtf8(TestFiles::read(it.next()));
    QVERIFY(rules.contains(u"/bin/lanyard\""_s));
    QVERIFY(rules.contains(u"lanyard_externalapps.so"_s));
    QVERIFY(!rules.contains(u"$ORIGIN"_s));
    QVERIFY(!rules.contains(u"lanyard-demo"_s));
}

// Their version and date are the project's, and man reads them without a warning.
void TestInstall::manualPagesCarryTheProjectsVersion()
{
    QStringList pages;
    if (LANYARD_WITH_CLI)
        pages << u"lanyard"_s;
    if (LANYARD_WITH_DEMO)
        pages << u"lanyard-demo"_s;
    for (const QString &page : pages) {
        const QString path = m_prefix + u"/"_s + QStringLiteral(LANYARD_INSTALL_MANDIR) + u"/man1/"_s + page + u".1"_s;
        const QString text = QString::fromUtf8(TestFiles::read(path));
        QVERIFY2(text.contains(u"\n.TH "_s + page.toUpper()
                               + u" 1 " LANYARD_RELEASE_DATE " \"Lanyard " LANYARD_VERSION "\""_s),
                 qPrintable(text.left(300)));
        QProcess man;
        man.setProcessEnvironment(LanyardProcess::headless({u"MANWIDTH=80"_s}));
        man.start(u"man"_s, {u"--warnings"_s, u"-E"_s, u"UTF-8"_s, u"-l"_s, path});
        QVERIFY(man.waitForFinished(60000));
        QCOMPARE(QString::fromUtf8(man.readAllStandardError()), QString());
        QCOMPARE(man.exitCode(), 0);
        QVERIFY(man.readAllStandardOutput().contains("SYNOPSIS"));
    }
}

// Wherever the package is installed, its paths lead to it. A host compiled with pkg-config's
// flags alone, at the compiler's own default C++ level (C++17 for g++ 12), builds: the package
// says that its headers need C++20. (The CMake example shows the same for the CMake package: it
// sets no standard.)
void TestInstall::packageFilesDescribeTheInstalledTree()
{
    const QProcessEnvironment env = LanyardProcess::headless(
        {u"PKG_CONFIG_PATH="_s + m_prefix + u"/" LANYARD_INSTALL_LIBDIR "/pkgconfig"_s});
    const auto pkgConfig = [&](const QStringList &arguments) {
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(u"pkg-config"_s, arguments + QStringList{u"lanyard"_s});
        return process.waitForFinished(30000) && process.exitCode() == 0
                   ? QString::fromUtf8(process.readAllStandardOutput()).simplified()
                   : QString();
    };
    const QString include = pkgConfig({u"--cflags-only-I"_s}).section(u' ', 0, 0).mid(2);
    QVERIFY2(QFileInfo::exists(include + u"/Lanyard/ExternalApps.h"_s), qPrintable(include));
    QVERIFY(pkgConfig({u"--libs"_s}).contains(u"-llanyard"_s));
    const QString plugins = pkgConfig({u"--variable=plugindir"_s});
    QVERIFY2(QFileInfo::exists(plugins + u"/lanyard_externalapps.so"_s), qPrintable(plugins));
    QString failure = run(u"sh"_s,
                          {u"-c"_s, u"c++ -fPIC -fsyntax-only $(pkg-config --cflags lanyard) \"$0\""_s,
                           QStringLiteral(LANYARD_SOURCE_DIR "/examples/minimal-host/main.cpp")},
                          env);
    if (LANYARD_WITH_DEMO)
        failure += run(u"desktop-file-validate"_s, {m_prefix + u"/share/applications/lanyard-demo.desktop"_s});
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
}

void TestInstall::libraryExportsOnlyThePublicClasses()
{
    QProcess nm;
    nm.start(u"nm"_s, {u"-DC"_s, u"--defined-only"_s,
                       m_prefix + u'/' + QStringLiteral(LANYARD_INSTALL_LIBDIR) + u"/liblanyard.so"_s});
    QVERIFY(nm.waitForFinished(60000) && nm.exitCode() == 0);
    static const QRegularExpression publicSymbol(
        uR"(^((typeinfo for |typeinfo name for |vtable for )?Lanyard::(ExternalApps|ComponentError|ToolRun|ToolsMenu)\b(?!::Private)|Lanyard::staticMetaObject@|LANYARD_1$))"_s);
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
    static const QRegularExpression block(uR"(```(cpp|qml)\n(.*?)```)"_s,
                                          QRegularExpression::DotMatchesEverythingOption);
    QStringList examples;
    for (const QString &file : {u"minimal-host/main.cpp"_s, u"two-window-host/Tools.cpp"_s, u"output-host/main.cpp"_s,
                                u"late-bound-host/main.cpp"_s, u"qml-host/main.qml"_s}) {
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

// The examples, built in one go against the installed package, as a host's developer builds them.
void TestInstall::examplesBuildAndRun_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("output"); // none: it waits in its window
    QTest::addColumn<bool>("editsList");
    QTest::newRow("minimal-host") << u"minimal-host"_s << QString() << false;
    // Two windows on one list, its output on stdout (the offscreen platform warns on stderr).
    QTest::newRow("two-window-host") << u"two-window-host"_s
                                     << u"window 1: lanyard-tool/Tools/Record\nwindow 2: lanyard-tool/Tools/Record"_s
                                     << false;
    QTest::newRow("output-host") << u"output-host"_s << u"TALK BACK"_s << false;
    QTest::newRow("late-bound-host") << u"late-bound-host"_s << u"added: true groups: 1 path: /usr/bin/ed error: 0"_s
                                     << true;
    QTest::newRow("qml-host")
        << u"qml-host"_s
        << u"qml: list file set\nqml: error 9 Index out of range\nqml: error 5 Invalid procedure call or argument: "
           "the program list window needs a QApplication\n"
           "qml: groups: 1 path: /usr/bin/ed protected: false language: 1 icon: true\n"
           "qml: tool said: SHOUT exit: 0"_s
        << true;
}

void TestInstall::examplesBuildAndRun()
{
    QFETCH(QString, name);
    QFETCH(QString, output);
    QFETCH(bool, editsList);
    const QString build = m_dir.filePath(u"examples"_s);
    if (!QFileInfo::exists(build)) {
        QVERIFY(QDir().mkpath(build + u"/source"_s));
        QByteArray project = "cmake_minimum_required(VERSION 3.22)\nproject(examples LANGUAGES CXX)\n";
        for (const char *example : {"minimal-host", "two-window-host", "output-host", "late-bound-host", "qml-host"})
            project += QByteArray("add_subdirectory(\"" LANYARD_SOURCE_DIR "/examples/") + example + "\" " + example
                       + ")\n";
        QVERIFY(TestFiles::write(build + u"/source/CMakeLists.txt"_s, project));
        QStringList configure{u"-S"_s,
                              build + u"/source"_s,
                              u"-B"_s,
                              build,
                              u"-G"_s,
                              QStringLiteral(LANYARD_CMAKE_GENERATOR),
                              u"-DCMAKE_PREFIX_PATH="_s + m_prefix,
                              u"-DCMAKE_BUILD_TYPE=Debug"_s};
        // A sanitized library needs a sanitized program in front of it.
        if (const QString sanitize = QStringLiteral(LANYARD_SANITIZE); !sanitize.isEmpty())
            configure << u"-DCMAKE_CXX_FLAGS=-fsanitize="_s + sanitize
                      << u"-DCMAKE_EXE_LINKER_FLAGS=-fsanitize="_s + sanitize;
        QString failure = run(QStringLiteral(LANYARD_CMAKE), configure);
        if (failure.isEmpty())
            failure = run(QStringLiteral(LANYARD_CMAKE), {u"--build"_s, build});
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
    }
    const QString list = m_dir.filePath(name + u".lst"_s);
    const QString record = m_dir.filePath(u"record"_s);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    env.insert(u"LANYARD_RECORDER_OUT"_s, record);
    // The editor's desktop entry gives it a picture, for the QML example's icon.
    const QString data = m_dir.filePath(u"data"_s);
    QImage picture(16, 16, QImage::Format_ARGB32);
    picture.fill(Qt::red);
    QVERIFY(QDir().mkpath(data + u"/applications"_s) && picture.save(data + u"/editor.png"_s));
    QVERIFY(TestFiles::write(data + u"/applications/editor.desktop"_s,
                             "[Desktop Entry]\nType=Application\nName=Editor\nExec=/usr/bin/ed\nIcon=" + data.toUtf8()
                                 + "/editor.png\n"));
    env.insert(u"XDG_DATA_HOME"_s, data);
    env.insert(u"XDG_RUNTIME_DIR"_s, m_dir.path()); // else a QGuiApplication says that it is not set
    QProcess host;
    host.setProcessEnvironment(env);
    const bool twoWindows = name == u"two-window-host"_s;
    if (!twoWindows)
        host.setProcessChannelMode(QProcess::MergedChannels);
    // Its first entry gets %FILE%; then it waits in the program list window.
    const QByteArray recordList = "Tools,Record," LANYARD_TEST_BIN_DIR "/recorder,--file=%FILE%,0\n";
    if (output.isEmpty() || twoWindows)
        QVERIFY(TestFiles::write(list, recordList));
    host.start(build + u'/' + name + u'/' + name, twoWindows ? QStringList{list, u"--smoke"_s} : QStringList{list});
    if (output.isEmpty()) {
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(record) || host.state() == QProcess::NotRunning, 10000);
        QVERIFY2(host.state() == QProcess::Running, host.readAll().constData());
        QCOMPARE(Record::waitFor(record).texts(), QStringList{u"--file=/etc/hostname"_s});
        host.kill();
        host.waitForFinished();
        return;
    }
    if (!host.waitForFinished(60000)) {
        host.kill();
        host.waitForFinished();
        QFAIL(host.readAllStandardError().constData());
    }
    QCOMPARE(QString::fromUtf8(twoWindows ? host.readAllStandardOutput() : host.readAll()).trimmed(), output);
    QVERIFY2(host.exitStatus() == QProcess::NormalExit && host.exitCode() == 0,
             host.readAllStandardError().constData());
    if (twoWindows) // nothing changed: nothing written
        QCOMPARE(TestFiles::read(list), recordList);
    else if (editsList)
        QVERIFY(TestFiles::read(list).contains("Tools,Editor,/usr/bin/ed,-p %FILE%,0\r\n"));
}

QTEST_GUILESS_MAIN(TestInstall)
#include "tst_install.moc"
