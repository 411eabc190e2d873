#include "util/FileOps.h"
#include "text/NativeText.h"
#include "util/StringOps.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Lanyard;

class tst_StringOps : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void trimming_data();
    void trimming();
    void nextField_data();
    void nextField();
    void fileBaseName_data();
    void fileBaseName();
    void folderOfPath_data();
    void folderOfPath();
    void fileExists_data();
    void fileExists();
    void nativeTextKeepsEveryByte_data();
    void nativeTextKeepsEveryByte();
};

void tst_StringOps::trimming_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("tabs");
    QTest::addColumn<QString>("blanks");

    QTest::newRow("empty") << "" << "" << "";
    QTest::newRow("tabs-both-ends") << "\t\tx y\t" << "x y" << "x y";
    QTest::newRow("spaces-stay-for-tabs") << " \tx\t " << " \tx\t " << "x";
    QTest::newRow("mixed-blanks") << "\t \t a\tb \t" << " \t a\tb " << "a\tb";
    QTest::newRow("only-blanks") << " \t \t" << " \t " << "";
    QTest::newRow("other-whitespace-kept") << "\nx\r" << "\nx\r" << "\nx\r";
}

void tst_StringOps::trimming()
{
    QFETCH(QString, text);
    QFETCH(QString, tabs);
    QFETCH(QString, blanks);
    QCOMPARE(StringOps::TrimTabs(text), tabs);
    QCOMPARE(StringOps::TrimBlanks(text), blanks);
}

void tst_StringOps::nextField_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("marker");
    QTest::addColumn<QString>("delimiter");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("rest");

    QTest::newRow("first-of-many") << "Tools,Editor,x" << "" << "," << "Tools" << "Editor,x";
    QTest::newRow("last-field") << "x" << "" << "," << "x" << "";
    QTest::newRow("leading-spaces-dropped") << "   a ,b" << "" << "," << "a " << "b";
    QTest::newRow("leading-tab-kept") << "\ta,b" << "" << "," << "\ta" << "b";
    QTest::newRow("only-spaces") << "    " << "" << "," << "" << "";
    QTest::newRow("empty-field") << ",b" << "" << "," << "" << "b";
    QTest::newRow("delimiter-any-case") << "oneXtwo" << "" << "x" << "one" << "two";
    QTest::newRow("multi-char-delimiter") << "a::b::c" << "" << "::" << "a" << "b::c";
    QTest::newRow("marker") << "key=value;rest" << "=" << ";" << "value" << "rest";
    QTest::newRow("marker-missing") << "value;rest" << "=" << ";" << "value" << "rest";
    QTest::newRow("marker-any-case") << "nameVALUE:v1,v2" << "value:" << "," << "v1" << "v2";
}

void tst_StringOps::nextField()
{
    QFETCH(QString, line);
    QFETCH(QString, marker);
    QFETCH(QString, delimiter);
    QFETCH(QString, field);
    QFETCH(QString, rest);
    QCOMPARE(StringOps::NextField(line, marker, delimiter), field);
    QCOMPARE(line, rest);
}

void tst_StringOps::fileBaseName_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("base");

    QTest::newRow("empty") << "" << "";
    QTest::newRow("dos-path") << "c:\\dos\\edit.com" << "edit";
    QTest::newRow("unix-path") << "/usr/lib/liblanyard.so" << "liblanyard";
    QTest::newRow("no-folder") << "ZIP.EXE" << "ZIP";
    QTest::newRow("no-extension") << "/usr/bin/awk" << "awk";
    QTest::newRow("dot-in-folder-only") << "C:\\my.dir\\file" << "file";
    QTest::newRow("dotted-folders") << "/home/u/src/app-1.2/build/bin/finishedwindow" << "finishedwindow";
    QTest::newRow("last-dot-counts") << "/opt/a.b.c" << "a.b";
    QTest::newRow("hidden-name") << "/home/u/.profile" << ".profile";
    QTest::newRow("last-separator-either-kind") << "C:\\a/b\\c.d" << "c";
    QTest::newRow("tabs-trimmed") << "C:\\\tname\t.exe" << "name";
}

void tst_StringOps::fileBaseName()
{
    QFETCH(QString, path);
    QFETCH(QString, base);
    QCOMPARE(FileOps::FileBaseName(path), base);
}

void tst_StringOps::folderOfPath_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("folder");

    QTest::newRow("empty") << "" << "";
    QTest::newRow("dos-path") << "C:\\TOOLS\\X.EXE" << "C:\\TOOLS\\";
    QTest::newRow("unix-path") << "/usr/bin/true" << "/usr/bin/";
    QTest::newRow("no-separator") << "true" << "";
    QTest::newRow("quoted") << "\"/opt/my app/run\"" << "\"/opt/my app/";
    QTest::newRow("tabs-trimmed") << "\t/bin/sh" << "/bin/";
}

void tst_StringOps::folderOfPath()
{
    QFETCH(QString, path);
    QFETCH(QString, folder);
    QCOMPARE(FileOps::FolderOfPath(path), folder);
}

void tst_StringOps::fileExists_data()
{
    QTest::addColumn<QString>("relative");
    QTest::addColumn<bool>("exists");

    QTest::newRow("regular-file") << "prog" << true;
    QTest::newRow("quoted") << "\"prog\"" << true;
    QTest::newRow("wildcard") << "pr*" << true;
    QTest::newRow("wildcard-one-character") << "p?og" << true;
    QTest::newRow("wildcard-none") << "zz*" << false;
    QTest::newRow("brackets-taken-literally") << "tools [beta]/run" << true;
    QTest::newRow("brackets-are-no-wildcard") << "[p]rog" << false;
    QTest::newRow("backslash-taken-literally") << "back\\slash" << true;
    QTest::newRow("wildcard-beside-brackets") << "tools [beta]/r*" << true;
    QTest::newRow("non-utf8-name") << QStringView(u"caf\xdce9").toString() << true;
    QTest::newRow("missing") << "nothing" << false;
    QTest::newRow("directory") << "folder" << false;
    QTest::newRow("hidden") << ".hidden" << false;
    QTest::newRow("fifo") << "fifo" << false;
    QTest::newRow("only-quotes") << "\"\"" << false;
}

void tst_StringOps::fileExists()
{
    QFETCH(QString, relative);
    QFETCH(bool, exists);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder")) && QDir(dir.path()).mkdir(QStringLiteral("tools [beta]")));
    for (const char *name : {"prog", ".hidden", "tools [beta]/run", "back\\slash", "caf\xe9"}) {
        const QByteArray path = QFile::encodeName(dir.path()) + '/' + name;
        QVERIFY(::close(::creat(path.constData(), 0600)) == 0);
    }
    QVERIFY(::mkfifo(QFile::encodeName(dir.filePath(QStringLiteral("fifo"))).constData(), 0600) == 0);

    const QString path = relative.startsWith(u'"') ? u'"' + dir.path() + u'/' + relative.mid(1)
                                                   : dir.path() + u'/' + relative;
    const bool found = FileOps::FileExists(path);
    // QTemporaryDir cannot name a file whose name is not UTF-8.
    ::unlink((QFile::encodeName(dir.path()) + "/caf\xe9").constData());
    QCOMPARE(found, exists);
}

// Bytes from the system go through a QString and back unchanged, UTF-8 or not.
void tst_StringOps::nativeTextKeepsEveryByte_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");

    QTest::newRow("ascii") << QByteArray("/usr/bin/ed") << QStringLiteral("/usr/bin/ed");
    QTest::newRow("utf8") << QByteArray("caf\xc3\xa9") << QStringLiteral("caf\u00e9");
    QTest::newRow("latin1-byte") << QByteArray("caf\xe9.lst") << QStringView(u"caf\xdce9.lst").toString();
    QTest::newRow("cut-sequence") << QByteArray("a\xc3") << QStringView(u"a\xdcc3").toString();
    QTest::newRow("overlong-slash") << QByteArray("\xc0\xaf") << QStringView(u"\xdcc0\xdcaf").toString();
    QTest::newRow("encoded-surrogate") << QByteArray("\xed\xb3\xa9") << QStringView(u"\xdced\xdcb3\xdca9").toString();
    QTest::newRow("emoji") << QByteArray("\xf0\x9f\x98\x80") << QString::fromUtf8("\xf0\x9f\x98\x80");
}

void tst_StringOps::nativeTextKeepsEveryByte()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);

    QCOMPARE(NativeText::decode(bytes), text);
    QCOMPARE(NativeText::encode(text), bytes);
    const QString latin1 = QString::fromLatin1(bytes);
    QCOMPARE(NativeText::encode(NativeText::fromLatin1Bytes(latin1)), NativeText::encode(NativeText::decode(latin1.toLatin1())));
    QCOMPARE(NativeText::toLatin1Bytes(NativeText::fromLatin1Bytes(latin1)), latin1);
}

QTEST_GUILESS_MAIN(tst_StringOps)
#include "tst_stringops.moc"
