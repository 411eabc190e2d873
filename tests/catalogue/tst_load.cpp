// Many objects and many launches in a row leave nothing behind: no descriptor, no child
// process, and (in the sanitizer build) no leaked memory.
#include "launch/ProcessCensus.h"

#include <Lanyard/ExternalApps.h>

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Lanyard;

namespace {
QString s(const char *text) { return QString::fromUtf8(text); }
}

class tst_Load : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void thousandObjectsFromOneFile();
    void hundredLaunches();
};

void tst_Load::thousandObjectsFromOneFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(s("tools.lst"));
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        for (int i = 0; i < 20; ++i)
            file.write(QStringLiteral("Group %1,App %1,/bin/sh,-c \"echo %FILE%\",%2\r\n").arg(i % 4).arg(-(i % 2)).toUtf8());
    }
    // The first object loads what the process keeps once (icon theme, MIME database).
    ExternalApps().setEXTFile(path);
    const int descriptors = ProcessCensus::openDescriptors();
    QByteArray last;
    for (int i = 0; i < 1000; ++i) {
        auto apps = std::make_unique<ExternalApps>();
        apps->setEXTFile(path);
        QCOMPARE(apps->GroupCount(), qint16(4));
        apps.reset(); // writes the file back
        if (i == 0) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadOnly));
            last = file.readAll();
        }
    }
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), last);
    file.close();
    QCOMPARE(ProcessCensus::openDescriptors(), descriptors);
}

void tst_Load::hundredLaunches()
{
    const int descriptors = ProcessCensus::openDescriptors();
    const QString cwd = QDir::currentPath();
    {
        ExternalApps apps;
        QVERIFY(apps.AddApp(s("Tools"), s("True"), s("/bin/true"), s("%FILE%"), false));
        apps.AddPlaceHolder(s("%FILE%"), s("/tmp/some file.txt"));
        QSignalSpy finished(&apps, &ExternalApps::AppFinished);
        for (int i = 0; i < 100; ++i)
            QVERIFY(apps.ExecuteApp(s("Tools"), s("True")));
        QCOMPARE(finished.size(), 100);
        QTRY_VERIFY_WITH_TIMEOUT(ProcessCensus::children().isEmpty(), 10000);
    }
    QDir::setCurrent(cwd);
    QCOMPARE(ProcessCensus::openDescriptors(), descriptors);
}

QTEST_GUILESS_MAIN(tst_Load)
#include "tst_load.moc"
