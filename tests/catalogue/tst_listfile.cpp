// SPDX-License-Identifier: MIT
// The file layer's own save: half a character anywhere in any field is refused and the file left
// as it was; a byte of a path that is no UTF-8 is kept.
#include "catalogue/LaunchListFile.h"
#include "common/Files.h"

#include <Lanyard/ComponentError.h>

#include <QTemporaryDir>
#include <QTest>

using namespace Lanyard;
using namespace Qt::StringLiterals;

class TestListFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void savesOnlyWhatReadsBack()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"tools.lst"_s);
        const QByteArray before = "Old,Entry,/bin/sh,,0\r\n";
        for (const char16_t half : {u'\xD800', u'\xDC00', u'\xDBFF', u'\xDCE9'}) {
            for (int field = 0; field < 4; ++field) {
                for (const QString &value : {QString(half) + u'x', u'x' + QString(half) + u'y', u'x' + QString(half)}) {
                    QStringList fields{u"G"_s, u"A"_s, u"/bin/true"_s, u"-x"_s};
                    fields[field] = value;
                    const LaunchListEntry entry{fields[0], fields[1], fields[2], fields[3]};
                    const bool kept = half == u'\xDCE9' && field >= 2;
                    QVERIFY(TestFiles::write(path, before));
                    int error = 0;
                    try {
                        LaunchListFile::save(
                            path, [&](const auto &sink) { sink(entry); }, LaunchListFile::Encoding::Utf8);
                    } catch (const ComponentError &refused) {
                        error = refused.number();
                    }
                    QCOMPARE(error, kept ? 0 : int(ErrorCode::InvalidArgument));
                    QList<LaunchListEntry> read;
                    LaunchListFile::load(path, [&](const LaunchListEntry &back) { read << back; });
                    QVERIFY2(kept ? read.size() == 1 && read[0].path + read[0].cmdLine == fields[2] + fields[3]
                                  : TestFiles::read(path) == before,
                             qPrintable(value));
                }
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestListFile)
#include "tst_listfile.moc"
