// SPDX-License-Identifier: MIT
// Each component installed into one prefix, the examples built against it and run, an awkward checkout.
#include "common/Files.h"
#include "common/LanyardProcess.h"
#include "common/Recorder.h"

#include <QDir>
#include <QDirIterator>
#include <QImage>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QString cmake = QStringLiteral(LANYARD_CMAKE), lib = QStringLiteral(LANYARD_INSTALL_LIBDIR);
// Kept in the build between runs: the examples' build then only relinks what changed.
const QString prefix = QStringLiteral(LANYARD_BUILD_DIR "/tst_install/prefix");

/// Runs a program to its end: its output (both streams), or on failure "FAILED:" and its output.
QString run(const QString &program, const QStringList &arguments,
            const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setProcessEnvironment(env);
    process.start(program, arguments);
    const bool done = process.waitForFinished(240000) && process.exitStatus() == QProcess::NormalExit;
    const QString output = QString::fromLocal8Bit(process.readAll());
    return done && process.exitCode() == 0 ? output
                                           : u"FAILED: "_s + program + u' ' + arguments.join(u' ') + u'\n' + output;
}

/// A path under the prefix as the tests name it (the HTML reference, whose names Doxygen chooses: empty).
QString normalized(const QString &path)
{
    static const QRegularExpression configuration(uR"(LanyardTargets-[a-z]+\.cmake$)"_s);
    const QString file = QDir(prefix).relativeFilePath(path);
    return file.startsWith(u"share/doc/lanyard/html"_s)
               ? QString()
               : QString(file).replace(configuration, u"LanyardTargets-CONFIG.cmake"_s);
}

} // namespace

class TestInstall : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private Q_SLOTS:
    // A packager installs each component into a package of its own: each installs its own files (the
    // programs left out of the build: none), and no file is installed without a component.
    void componentsInstallTheirFiles()
    {
        QVERIFY(QDir(prefix).removeRecursively());
        const QString version = QStringLiteral(LANYARD_VERSION), man = QStringLiteral(LANYARD_INSTALL_MANDIR "/man1/");
        QStringList library({lib + u"/liblanyard.so"_s, lib + u"/liblanyard.so."_s + version.section(u'.', 0, 0),
                             lib + u"/liblanyard.so."_s + version, lib + u"/lanyard/plugins/lanyard_externalapps.so"_s,
                             QDir::cleanPath(lib + u"/" LANYARD_STUB_FROM_LIBDIR "/STUB16.EXE"_s),
                             lib + u"/pkgconfig/lanyard.pc"_s, lib + u"/qt6/qml/Lanyard/qmldir"_s,
                             lib + u"/qt6/qml/Lanyard/liblanyardqmlplugin.so"_s});
        for (const char *file : {"Config", "ConfigVersion", "Targets", "Targets-CONFIG"})
            library << lib + u"/cmake/Lanyard/Lanyard"_s + QLatin1StringView(file) + u".cmake"_s;
        for (const QString &header : QDir(QStringLiteral(LANYARD_SOURCE_DIR "/include/Lanyard")).entryList({u"*.h"_s}))
            library << u"include/Lanyard/"_s + header; // every public header
        QStringList cli, demo, doc{u"share/doc/lanyard/LICENSE"_s}, whole, named;
        if (LANYARD_WITH_CLI)
            cli << u"bin/lanyard"_s, doc << man + u"lanyard.1"_s;
        if (LANYARD_WITH_DEMO) {
            demo << u"bin/lanyard-demo"_s << u"share/applications/lanyard-demo.desktop"_s
                 << u"share/icons/hicolor/scalable/apps/lanyard-demo.svg"_s;
            doc << man + u"lanyard-demo.1"_s;
        }
        // Each component's files as its install names them, and the prefix holds nothing else.
        static const QRegularExpression installed(uR"(^-- (?:Installing|Up-to-date): (.*)$)"_s,
                                                  QRegularExpression::MultilineOption);
        for (auto [component, files] : {std::pair{u"library"_s, library},
                                        {u"cli"_s, cli},
                                        {u"demo"_s, demo},
                                        {u"doc"_s, doc},
                                        {u"Unspecified"_s, QStringList()}}) {
            const QString output = run(cmake, {u"--install"_s, QStringLiteral(LANYARD_BUILD_DIR), u"--component"_s,
                                               component, u"--prefix"_s, prefix});
            QVERIFY2(!output.startsWith(u"FAILED"_s), qPrintable(output));
            named.clear();
            for (auto it = installed.globalMatch(output); it.hasNext();)
                named << normalized(it.next().captured(1));
            whole += files;
            for (QStringList *list : {&named, &files, &whole})
                list->removeAll(QString()), list->sort();
            QCOMPARE(named, files);
            QStringList there;
            for (QDirIterator it(prefix, QDir::Files | QDir::System | QDir::Hidden, QDirIterator::Subdirectories);
                 it.hasNext();)
                there << normalized(it.next());
            there.removeAll(QString()), there.sort();
            QCOMPARE(there, whole);
        }
        QVERIFY(QFileInfo::exists(prefix + u"/share/doc/lanyard/html/classLanyard_1_1ExternalApps.html"_s));
        for (const QString &program : whole.filter(QRegularExpression(uR"(^bin/|/STUB16\.EXE$)"_s)))
            QVERIFY2(QFileInfo(prefix + u'/' + program).isExecutable(), qPrintable(program));
    }

    // The installed programs find the installed library, also where no display is. pkg-config's flags
    // alone build a host at the compiler's default C++ level (the package says its headers need C++20).
    void installedTree()
    {
        const QProcessEnvironment env = LanyardProcess::headless(
            {u"PKG_CONFIG_PATH="_s + prefix + u'/' + lib + u"/pkgconfig"_s,
             u"LD_LIBRARY_PATH="_s + (LANYARD_WITH_RUNPATH ? QString() : prefix + u'/' + lib)});
        QString said = run(u"sh"_s,
                           {u"-c"_s,
                            u"eval \"set -- $(pkg-config --cflags lanyard)\"; c++ -fPIC -fsyntax-only \"$@\" \"$0\""_s,
                            QStringLiteral(LANYARD_SOURCE_DIR "/examples/minimal-host/main.cpp")},
                           env);
        if (LANYARD_WITH_CLI)
            said += run(prefix + u"/bin/lanyard"_s, {u"--file"_s, m_dir.filePath(u"e.lst"_s), u"list"_s}, env);
        if (LANYARD_WITH_DEMO)
            said += run(prefix + u"/bin/lanyard-demo"_s, {u"--version"_s}, env);
        QVERIFY2(!said.contains(u"FAILED"_s), qPrintable(said));
        QVERIFY(run(u"pkg-config"_s, {u"--libs"_s, u"lanyard"_s}, env).contains(u"-llanyard"_s));
    }

    // The README's examples built against the installed package, then run; output: none when it waits in its window.
    void examples_data()
    {
        QTest::addColumn<QString>("output");
        QTest::newRow("minimal-host") << QString();
        // Two windows on one list, its output on stdout (the offscreen platform warns on stderr).
        QTest::newRow("two-window-host")
            << u"window 1: lanyard-tool/Tools/Record\nwindow 2: lanyard-tool/Tools/Record"_s;
        QTest::newRow("output-host") << u"TALK BACK"_s;
        QTest::newRow("behaviour-host") << u"Python only shown: 0\nSort shown without a selection: 0, shortcut "
                                           "Ctrl+Alt+S\npane: 2\nsaved\nreloaded: apple stampedpear\nnew document: "
                                           "/tmp\npane: Hello Ada\nSort shown with a selection: 1\nclipboard: PEAR "
                                           "APPLE\ntext: apple stampedpear"_s;
        QTest::newRow("late-bound-host") << u"added: true groups: 1 path: /usr/bin/ed error: 0"_s;
        QTest::newRow("qml-host")
            << u"qml: list file set\nqml: error 9 Index out of range\nqml: error 5 Invalid procedure call or argument: "
               "the program list window needs a QApplication\n"
               "qml: groups: 1 path: /usr/bin/ed protected: false language: 1 icon: true\n"
               "qml: tool said: SHOUT exit: 0"_s;
    }
    void examples()
    {
        QFETCH(QString, output);
        const QString name = QString::fromUtf8(QTest::currentDataTag()), build = prefix + u"/../examples"_s;
        static bool built = false;
        if (!built) {
            QByteArray project = "cmake_minimum_required(VERSION 3.22)\nproject(examples LANGUAGES CXX)\n";
            for (const char *example :
                 {"minimal-host", "two-window-host", "output-host", "behaviour-host", "late-bound-host", "qml-host"})
                project += "add_subdirectory(\"" LANYARD_SOURCE_DIR "/examples/" + QByteArray(example) + "\" " + example
                           + ")\n";
            QVERIFY(QDir().mkpath(build));
            if (TestFiles::read(build + u"/CMakeLists.txt"_s) != project) // else the build need not configure again
                QVERIFY(TestFiles::write(build + u"/CMakeLists.txt"_s, project));
            QStringList configure({u"-S"_s, build, u"-B"_s, build, u"-DCMAKE_PREFIX_PATH="_s + prefix, u"-G"_s,
                                   QStringLiteral(LANYARD_CMAKE_GENERATOR), u"-DCMAKE_BUILD_TYPE=Debug"_s});
            // A sanitized library needs a sanitized program in front of it.
            if (const QString sanitize = QStringLiteral(LANYARD_SANITIZE); !sanitize.isEmpty())
                configure << u"-DCMAKE_CXX_FLAGS=-fsanitize="_s + sanitize
                          << u"-DCMAKE_EXE_LINKER_FLAGS=-fsanitize="_s + sanitize;
            QString said = run(cmake, configure);
            said += run(cmake, {u"--build"_s, build});
            QVERIFY2(!said.contains(u"FAILED:"_s), qPrintable(said.mid(said.indexOf(u"FAILED:"_s))));
            built = true;
        }
        // The editor's desktop entry gives it a picture, for the QML example's icon.
        const QString list = m_dir.filePath(name + u".lst"_s), record = m_dir.filePath(u"record"_s),
                      data = m_dir.filePath(u"data"_s);
        QImage picture(16, 16, QImage::Format_ARGB32);
        picture.fill(Qt::red);
        QVERIFY(QDir().mkpath(data + u"/applications"_s) && picture.save(data + u"/editor.png"_s));
        QVERIFY(TestFiles::write(data + u"/applications/editor.desktop"_s,
                                 "[Desktop Entry]\nType=Application\nName=Editor\nExec=/usr/bin/ed\nIcon="
                                     + data.toUtf8() + "/editor.png\n"));
        QProcess host; // XDG_RUNTIME_DIR: else a QGuiApplication says that it is not set.
        host.setProcessEnvironment(
            LanyardProcess::headless({u"QT_QPA_PLATFORM=offscreen"_s, u"LANYARD_RECORDER_OUT="_s + record,
                                      u"XDG_DATA_HOME="_s + data, u"XDG_RUNTIME_DIR="_s + m_dir.path()}));
        const bool twoWindows = name == u"two-window-host"_s, smoke = twoWindows || name == u"behaviour-host"_s;
        host.setProcessChannelMode(smoke ? QProcess::SeparateChannels : QProcess::MergedChannels);
        // Its first entry gets %FILE%; then it waits in the program list window.
        const QByteArray recordList = "Tools,Record," LANYARD_TEST_BIN_DIR "/recorder,--file=%FILE%,0\n";
        if (output.isEmpty() || twoWindows)
            QVERIFY(TestFiles::write(list, recordList));
        host.start(build + u'/' + name + u'/' + name, smoke ? QStringList{list, u"--smoke"_s} : QStringList{list});
        if (output.isEmpty()) {
            QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(record) || host.state() == QProcess::NotRunning, 10000);
            QVERIFY2(host.state() == QProcess::Running, host.readAll().constData());
            QCOMPARE(Record::waitFor(record).texts(), QStringList{u"--file=/etc/hostname"_s});
            host.kill();
            QVERIFY(host.waitForFinished());
            return;
        }
        if (!host.waitForFinished(60000))
            host.kill();
        const QString said = QString::fromUtf8(host.readAllStandardOutput()).trimmed();
        QCOMPARE(said, output);
        QVERIFY2(host.exitStatus() == QProcess::NormalExit && host.exitCode() == 0, qPrintable(said));
        if (name != u"output-host" && name != u"behaviour-host") // two windows: nothing changed, nothing written
            QVERIFY(
                TestFiles::read(list).contains(twoWindows ? recordList : "Tools,Editor,/usr/bin/ed,-p %FILE%,0\r\n"));
    }

    // A checkout whose path holds a blank, a dot folder and a letter beyond ASCII configures, and its
    // reference builds (Doxygen's warnings are errors).
    void checkoutAtAnAwkwardPath()
    {
        const QString folder = m_dir.filePath(u"a b/.d/é"_s), source = m_dir.filePath(u"a b/./.d/é/lanyard"_s);
        QVERIFY(QDir().mkpath(folder) && TestFiles::link(QStringLiteral(LANYARD_SOURCE_DIR), folder + u"/lanyard"_s));
        const QString build = folder + u"/build"_s;
        QString said = run(cmake,
                           {u"-S"_s, source, u"-B"_s, build, u"-G"_s, QStringLiteral(LANYARD_CMAKE_GENERATOR),
                            u"-DCMAKE_INSTALL_PREFIX=/usr"_s, u"-DBUILD_TESTING=OFF"_s, u"-DLANYARD_BUILD_DEMO=OFF"_s});
        said += run(cmake, {u"--build"_s, build, u"--target"_s, u"lanyard_docs"_s});
        QVERIFY2(!said.contains(u"FAILED:"_s), qPrintable(said.mid(said.indexOf(u"FAILED:"_s))));
        // The link was taken as it is: the checkout's path is the awkward one.
        QVERIFY(TestFiles::read(build + u"/Doxyfile"_s)
                    .contains((folder + u"/lanyard/include/Lanyard/Entry.h"_s).toUtf8()));
    }
};

QTEST_GUILESS_MAIN(TestInstall)
#include "tst_install.moc"
