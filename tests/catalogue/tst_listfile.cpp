// SPDX-License-Identifier: MIT
// The file layer on its own: what reaches a save without a catalogue's checks in front.
#include "catalogue/LaunchListFile.h"
#include "common/Files.h"

#include <Lanyard/ComponentError.h>

#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(Lanyard::LaunchListEntry)

using namespace Lanyard;
using namespace Qt::StringLiterals;

class TestListFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Half a character stands for nothing in either encoding; an escaped byte (a byte of a path
    // that is not UTF-8) only in Latin-1. A save that cannot keep a value leaves the file as it
    // was, wherever in the value the half character stands.
    void savesOnlyWhatReadsBack_data()
    {
        QTest::addColumn<LaunchListEntry>("entry");
        QTest::addColumn<bool>("saved");
        const QString half(QChar(0xD800)), escaped(QChar(0xDCE9));
        QTest::newRow("half-character-leads-the-name")
            << LaunchListEntry{u"G"_s, half + u"x"_s, u"/bin/true"_s} << false;
        QTest::newRow("half-character-ends-the-group")
            << LaunchListEntry{u"G"_s + half, u"A"_s, u"/bin/true"_s} << false;
        QTest::newRow("half-character-leads-the-path") << LaunchListEntry{u"G"_s, u"A"_s, half + u"/bin"_s} << false;
        QTest::newRow("half-character-in-the-command")
            << LaunchListEntry{u"G"_s, u"A"_s, u"/bin/true"_s, u"-x"_s + half} << false;
        QTest::newRow("escaped-byte-leads-the-path") << LaunchListEntry{u"G"_s, u"A"_s, escaped + u"/bin"_s} << true;
    }
    void savesOnlyWhatReadsBack()
    {
        QFETCH(LaunchListEntry, entry);
        QFETCH(bool, saved);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"tools.lst"_s);
        const QByteArray before = "Old,Entry,/bin/sh,,0\r\n";
        QVERIFY(TestFiles::write(path, before));
        const LaunchListFile::Source source = [&](const LaunchListFile::Sink &sink) { sink(entry); };
        try {
            LaunchListFile::save(path, source, LaunchListFile::Encoding::Utf8);
        } catch (const ComponentError &error) {
            QCOMPARE(error.number(), saved ? 0 : int(ErrorCode::InvalidArgument));
            QCOMPARE(TestFiles::read(path), before);
            return;
        }
        QVERIFY(saved);
        QList<LaunchListEntry> read;
        LaunchListFile::load(path, [&](const LaunchListEntry &back) { read << back; });
        QCOMPARE(read.size(), 1);
        QCOMPARE(read.first().path, entry.path);
    }
};

QTEST_GUILESS_MAIN(TestListFile)
#include "tst_listfile.moc"
