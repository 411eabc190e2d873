// `cmake --install` into a fresh prefix, then a host built against the installed package.
#include "common/Files.h"
#include "common/Recorder.h"

#include <QDir>
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

} // namespace

class TestInstall : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void installedFiles();
    void installedPartsFindTheLibrary();
    void packageFilesDescribeTheInstalledTree();
    void pkgConfigHostAtTheCompilersDefaultStandard();
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
    const QString failure = run(QStringLiteral(LANYARD_CMAKE), {u"--install"_s, QStringLiteral(LANYARD_BUILD_DIR),
                                                                u"--prefix"_s, m_prefix});
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
}

void TestInstall::installedFiles()
{
    const QString stub = QStringLiteral(LANYARD_INSTALL_LIBDIR "/" LANYARD_STUB_FROM_LIBDIR "/STUB16.EXE"); // where the library looks
    for (const auto &[path, executable] : {std::pair{stub, true}, {u"bin/lanyard-demo"_s, true}, {u"share/man/man1/lanyard.1"_s, false},
                                           {u"share/applications/lanyard-demo.desktop"_s, false},
                                           {u"share/icons/hicolor/scalable/apps/lanyard-demo.svg"_s, false},
                                           {u"share/doc/Lanyard/LICENSE"_s, false},
                                           {u"share/doc/lanyard/html/classLanyard_1_1ExternalApps.html"_s, false},
                                           {QStringLiteral(LANYARD_INSTALL_LIBDIR "/qt6/qml/Lanyard/qmldir"), false},
                                           {QStringLiteral(LANYARD_INSTALL_LIBDIR "/qt6/qml/Lanyard/liblanyardqmlplugin.so"), false}}) {
        const QFileInfo info(m_prefix + u'/' + path);
        QVERIFY2(info.exists() && info.isExecutable() == executable, qPrintable(info.filePath()));
    }
}

// The installed programs find the installed library (the plugin: the late-bound example below),
// also where no display is.
void TestInstall::installedPartsFindTheLibrary()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString &name : {u"DISPLAY"_s, u"WAYLAND_DISPLAY"_s, u"QT_QPA_PLATFORM"_s})
        env.remove(name);
    QString failure = run(m_prefix + u"/bin/lanyard"_s, {u"--file"_s, m_dir.filePath(u"empty.lst"_s), u"list"_s}, env);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    for (const QString &option : {u"--help"_s, u"--version"_s})
        failure += run(m_prefix + u"/bin/lanyard-demo"_s, {option}, env);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
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
    const QString failure = run(u"desktop-file-validate"_s, {m_prefix + u"/share/applications/lanyard-demo.desktop"_s});
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
}

// A host compiled with pkg-config's flags alone, at the compiler's own default C++ level (C++17
// for g++ 12): the package says that its headers need C++20. (The CMake example shows the
// same for the CMake package: it sets no standard.)
void TestInstall::pkgConfigHostAtTheCompilersDefaultStandard()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"PKG_CONFIG_PATH"_s, m_prefix + u'/' + QStringLiteral(LANYARD_INSTALL_LIBDIR) + u"/pkgconfig"_s);
    const QString failure = run(u"sh"_s, {u"-c"_s, u"c++ -fPIC -fsyntax-only $(pkg-config --cflags lanyard) \"$0\""_s,
                                          QStringLiteral(LANYARD_SOURCE_DIR "/examples/minimal-host/main.cpp")},
                                env);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
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

// The examples, built in one go against the installed package, as a host's developer builds them.
void TestInstall::examplesBuildAndRun_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("output"); // none: it waits in its window
    QTest::newRow("minimal-host") << u"minimal-host"_s << QString();
    QTest::newRow("late-bound-host") << u"late-bound-host"_s << u"added: true groups: 1 path: /usr/bin/ed error: 0"_s;
    QTest::newRow("qml-host") << u"qml-host"_s
                              << u"qml: list file set\nqml: error 9 Index out of range\nqml: error 5 Invalid procedure call or argument: "
                                 "the program list window needs a QApplication\n"
                                 "qml: groups: 1 path: /usr/bin/ed protected: false language: 1 icon: true"_s;
}

void TestInstall::examplesBuildAndRun()
{
    QFETCH(QString, name);
    QFETCH(QString, output);
    const QString build = m_dir.filePath(u"examples"_s);
    if (!QFileInfo::exists(build)) {
        QVERIFY(QDir().mkpath(build + u"/source"_s));
        QByteArray project = "cmake_minimum_required(VERSION 3.22)\nproject(examples LANGUAGES CXX)\n";
        for (const char *example : {"minimal-host", "late-bound-host", "qml-host"})
            project += QByteArray("add_subdirectory(\"" LANYARD_SOURCE_DIR "/examples/") + example + "\" " + example + ")\n";
        QVERIFY(TestFiles::write(build + u"/source/CMakeLists.txt"_s, project));
        QStringList configure{u"-S"_s, build + u"/source"_s, u"-B"_s, build, u"-G"_s, QStringLiteral(LANYARD_CMAKE_GENERATOR),
                              u"-DCMAKE_PREFIX_PATH="_s + m_prefix, u"-DCMAKE_BUILD_TYPE=Debug"_s};
        // A sanitized library needs a sanitized program in front of it.
        if (const QString sanitize = QStringLiteral(LANYARD_SANITIZE); !sanitize.isEmpty())
            configure << u"-DCMAKE_CXX_FLAGS=-fsanitize="_s + sanitize << u"-DCMAKE_EXE_LINKER_FLAGS=-fsanitize="_s + sanitize;
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
    host.setProcessChannelMode(QProcess::MergedChannels);
    // Its first entry gets %FILE%; then it waits in the program list window.
    if (output.isEmpty())
        QVERIFY(TestFiles::write(list, "Tools,Record," LANYARD_TEST_BIN_DIR "/recorder,--file=%FILE%,0\n"));
    host.start(build + u'/' + name + u'/' + name, {list});
    if (output.isEmpty()) {
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(record) || host.state() == QProcess::NotRunning, 10000);
        QVERIFY2(host.state() == QProcess::Running, host.readAll().constData());
        QCOMPARE(Record::waitFor(record).texts(), QStringList{u"--file=/etc/hostname"_s});
        host.kill();
        host.waitForFinished();
        return;
    }
    QVERIFY(host.waitForFinished(60000));
    QCOMPARE(QString::fromUtf8(host.readAll()).trimmed(), output);
    QCOMPARE(host.exitCode(), 0);
    QVERIFY(TestFiles::read(list).contains("Tools,Editor,/usr/bin/ed,-p %FILE%,0\r\n"));
}

QTEST_GUILESS_MAIN(TestInstall)
#include "tst_install.moc"
