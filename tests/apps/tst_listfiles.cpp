// SPDX-License-Identifier: MIT
// The launch list where users keep it, written by `lanyard`: 20 writers at once, a group's list.
#include "common/Files.h"
#include "common/LanyardProcess.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace LanyardProcess;

namespace {

const QByteArray header = "; Format: Group Label,Program label,Program Path,Command line\r\n";
constexpr gid_t staff = 4600;
constexpr User bob{4602, 4602, staff};

} // namespace

class TestListFiles : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QString path(const QString &relative) const { return m_dir->filePath(relative); }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid() && QFile::setPermissions(m_dir->path(), QFileDevice::Permissions(0x7777)));
        QVERIFY(QDir().mkpath(path(u"home/.config"_s)) && QDir().mkpath(path(u"home/dotfiles"_s)));
    }

    // 20 `lanyard add` at once keep 20 entries: half through a link into another folder, half at
    // its target; or in a folder that can be written but not listed.
    void parallelWritersKeepEveryEntry_data()
    {
        QTest::addColumn<QStringList>("paths");
        QTest::newRow("link-in-another-folder-and-target")
            << QStringList{u"home/.config/tools.lst"_s, u"home/dotfiles/tools.lst"_s};
        QTest::newRow("folder-mode-0300") << QStringList{u"home/dotfiles/tools.lst"_s};
    }
    void parallelWritersKeepEveryEntry()
    {
        QFETCH(QStringList, paths);
        const QString list = path(u"home/dotfiles/tools.lst"_s);
        QVERIFY(TestFiles::link(u"../dotfiles/tools.lst"_s, path(u"home/.config/tools.lst"_s))
                && TestFiles::write(list, header));
        const User user = paths.size() == 1 && ::geteuid() == 0 ? nobody : User{}; // one whom permissions bind
        const uid_t owner = user.uid ? user.uid : ::geteuid();
        QVERIFY(paths.size() > 1
                || (TestFiles::setOwner(list, owner, ::getegid(), 0644)
                    && TestFiles::setOwner(path(u"home/dotfiles"_s), owner, ::getegid(), 0300)));
        std::vector<std::unique_ptr<QProcess>> processes;
        for (int i = 0; i < 20; ++i) {
            processes.push_back(start({u"--file"_s, path(paths.at(i % paths.size())), u"add"_s, u"G%1"_s.arg(i % 3),
                                       u"App %1"_s.arg(i), u"/bin/x"_s},
                                      m_dir->path(), user));
        }
        for (auto &process : processes)
            QCOMPARE(finish(*process).status, 0);
        QVERIFY(QFile::setPermissions(path(u"home/dotfiles"_s), QFileDevice::Permissions(0x7777)));
        QCOMPARE(run({u"--file"_s, list, u"list"_s}).out.count(u'\n'), 20);
    }

    // A member's save keeps the list and its lock file the group's, the owner's mode kept.
    void groupSharedListStaysShared()
    {
        QVERIFY2(::geteuid() == 0, "other users' processes need root to start");
        const QString folder = path(u"shared"_s), list = folder + u"/tools.lst"_s;
        QVERIFY(QDir().mkdir(folder) && TestFiles::write(list, header + "Tools,Old,/bin/old,,0\r\n"));
        QVERIFY(TestFiles::setOwner(folder, 0, staff, 0775) && TestFiles::setOwner(list, 4601, staff, 0660));
        const Result saved = run({u"--file"_s, list, u"add"_s, u"Tools"_s, u"New"_s, u"/bin/new"_s}, folder, bob);
        QVERIFY2(saved.status == 0, qPrintable(saved.err));
        QCOMPARE(TestFiles::ownership(list), u"4601:4600:0660"_s);
        QCOMPARE(TestFiles::ownership(folder + u"/.tools.lst.lock"_s).section(u':', 1), u"4600:0660"_s);
    }
};

QTEST_GUILESS_MAIN(TestListFiles)
#include "tst_listfiles.moc"
