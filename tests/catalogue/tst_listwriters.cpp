// SPDX-License-Identifier: MIT
// Several writers on one launch list, checked against a plain model: seeded random sequences of
// adds, edits, renames (also onto names that exist), moves and deletes by long-lived objects and
// by `lanyard` processes, each saved at a random moment. Whatever the interleaving, the file ends
// holding every change a writer saved, once, in either encoding. With live reloads between the
// steps, each object also always shows its own entries as it made them, saved or not, and all
// end showing the file. A failure prints the seed and the sequence.
#include "common/Catalogue.h"
#include "common/Files.h"
#include "common/LanyardProcess.h"

#include <Lanyard/ExternalApps.h>

#include <QDebug>
#include <QMap>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <memory>
#include <optional>

using namespace Lanyard;
using namespace Qt::StringLiterals;

namespace {

/// An entry as the model holds it; its program path is its identity and never changes.
struct ModelEntry
{
    QString group;
    QString name;
    QString cmdLine;
    bool operator==(const ModelEntry &) const = default;
};
using Model = QMap<QString, ModelEntry>; // by path

const QStringList groups{QStringLiteral("Tools"), QStringLiteral("Web"), QStringLiteral("Net"),
                         QStringLiteral("Édition")};
const QStringList names{QStringLiteral("Editor"), QStringLiteral("Mail"), QStringLiteral("Café"), QStringLiteral("B")};

/// What the file holds: every application line, by path; a path on two lines is a duplicate.
std::optional<Model> linesOf(const QByteArray &file, QString &why)
{
    Model lines;
    const bool utf8 = QString::fromUtf8(file).toUtf8() == file;
    const auto text = [utf8](const QByteArray &bytes) {
        return utf8 ? QString::fromUtf8(bytes) : QString::fromLatin1(bytes);
    };
    for (const QByteArray &line : file.split('\n')) {
        const QByteArray trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(';'))
            continue;
        const QList<QByteArray> f = trimmed.split(',');
        const QString path = text(f.value(2));
        if (lines.contains(path)) {
            why = QStringLiteral("duplicated: ") + path;
            return std::nullopt;
        }
        lines.insert(path, {text(f.value(0)), text(f.value(1)), text(f.value(3))});
    }
    return lines;
}

QString describe(const Model &model)
{
    QStringList rows;
    for (auto it = model.cbegin(); it != model.cend(); ++it)
        rows << it->group + u'/' + it->name + u' ' + it.key() + u' ' + it->cmdLine;
    return rows.join(u"; ");
}

/// One writer: a long-lived object, or (without one) a `lanyard` process per change. It
/// changes only entries it added, so that no two writers change one entry; names and groups
/// are shared, so renames and moves meet other writers' names.
class Writer
{
public:
    /// @p ownNames: renames take names no other writer uses, and never one this writer's view
    /// shows in the group (a list with two entries of one group and name loads as one entry).
    Writer(int number, const QString &list, bool process, bool ownNames = false)
        : m_number(number)
        , m_list(list)
        , m_ownNames(ownNames)
    {
        if (process)
            return;
        m_apps = std::make_unique<ExternalApps>();
        m_apps->setMaxGroups(50);
        m_apps->setMaxApps(200);
        m_apps->setEXTFile(list);
    }

    /// Makes one change; the log gets what it did.
    void change(QRandomGenerator &random, QStringList &log)
    {
        const int kind = m_mine.isEmpty() ? 0 : int(random.bounded(5));
        const QString path = kind == 0 ? u"/w%1/%2"_s.arg(m_number).arg(m_next++)
                                       : m_mine.keys().at(int(random.bounded(m_mine.size())));
        ModelEntry entry = m_mine.value(path);
        const ModelEntry before = entry;
        switch (kind) {
        case 0: // add
            entry = {pick(random, groups), pick(random, names) + u' ' + QString::number(m_number),
                     u"n=%1"_s.arg(m_next)};
            break;
        case 1: // edit
            entry.cmdLine = u"edited=%1"_s.arg(random.bounded(1000));
            break;
        case 2: // rename, also onto a name that is there
            entry.name = pick(random, names) + (m_ownNames ? u" %1"_s.arg(m_number) : QString());
            break;
        case 3: // move
            entry.group = pick(random, groups);
            break;
        case 4: // delete
            break;
        }
        log << u"w%1 %2 %3 %4/%5 %6"_s.arg(m_number).arg(
            QStringList{"add", "edit", "rename", "move", "delete"}.at(kind), path, entry.group, entry.name,
            entry.cmdLine);
        if (m_apps ? !applyToObject(kind, path, before, entry) : !applyByProcess(kind, path, before, entry))
            log << QStringLiteral("   (refused)");
        else if (kind == 4)
            m_mine.remove(path), m_pending.insert(path, std::nullopt);
        else
            m_mine.insert(path, entry), m_pending.insert(path, entry);
    }

    /// What differs between the object's view and the entries this writer made, saved or not;
    /// empty when each shows as it was made and none it deleted shows.
    QString viewMismatch() const
    {
        if (!m_apps)
            return QString();
        QMap<QString, ModelEntry> shown; // this writer's entries in the view, by path
        for (qint16 g = 0; g < m_apps->GroupCount(); ++g) {
            for (qint16 a = 0; a < m_apps->AppCount(g); ++a) {
                const QString path = m_apps->AppPath(g, a);
                if (path.startsWith(u"/w%1/"_s.arg(m_number)))
                    shown.insert(path, {m_apps->GroupName(g), m_apps->ApplicationName(g, a), m_apps->CmdLine(g, a)});
            }
        }
        return shown == m_mine ? QString()
                               : u"w%1 shows %2, made %3"_s.arg(m_number).arg(describe(shown), describe(m_mine));
    }

    const ExternalApps *object() const { return m_apps.get(); }

    /// Saves the object's changes and applies them to the model.
    bool save(Model &model, QStringList &log)
    {
        if (m_apps && !m_apps->save())
            return false;
        log << u"w%1 saves %2 changes"_s.arg(m_number).arg(m_pending.size());
        for (auto it = m_pending.cbegin(); it != m_pending.cend(); ++it) {
            if (*it)
                model.insert(it.key(), **it);
            else
                model.remove(it.key());
        }
        m_pending.clear();
        return true;
    }

private:
    static QString pick(QRandomGenerator &random, const QStringList &from)
    {
        return from.at(int(random.bounded(from.size())));
    }

    qint16 groupNamed(const QString &group) const
    {
        for (qint16 g = 0; g < m_apps->GroupCount(); ++g) {
            if (m_apps->GroupName(g) == group)
                return g;
        }
        return -1;
    }

    /// The first application of @p group named @p name, as a look-up by name finds it.
    qint16 firstNamed(qint16 g, const QString &name) const
    {
        for (qint16 a = 0; g >= 0 && a < m_apps->AppCount(g); ++a) {
            if (m_apps->ApplicationName(g, a) == name)
                return a;
        }
        return -1;
    }

    /// The slot of the entry with @p path: by path, as names may repeat.
    std::pair<qint16, qint16> slotOf(const QString &path, const ModelEntry &entry) const
    {
        const qint16 g = groupNamed(entry.group);
        for (qint16 a = 0; g >= 0 && a < m_apps->AppCount(g); ++a) {
            if (m_apps->AppPath(g, a) == path)
                return {g, a};
        }
        return {-1, -1};
    }

    bool applyToObject(int kind, const QString &path, const ModelEntry &before, const ModelEntry &after)
    {
        const auto [g, a] = kind == 0 ? std::pair<qint16, qint16>{-1, -1} : slotOf(path, before);
        switch (kind) {
        case 0:
            // An add of a name this object sees updates that entry: not this writer's to change.
            if (firstNamed(groupNamed(after.group), after.name) >= 0)
                return false;
            return m_apps->AddApp(after.group, after.name, path, after.cmdLine, false);
        case 1:
            m_apps->setCmdLine(g, a, after.cmdLine);
            return true;
        case 2:
            if (m_ownNames && firstNamed(g, after.name) >= 0)
                return false;
            m_apps->setApplicationName(g, a, after.name);
            return true;
        case 3:
            // A move finds the entry by name and replaces one of that name where it goes.
            if (firstNamed(g, before.name) != a || firstNamed(groupNamed(after.group), after.name) >= 0)
                return false;
            m_apps->EditApp(before.group, before.name, after.group, after.name, false, path, after.cmdLine);
            return true;
        case 4:
            m_apps->DeleteApp(g, a);
            return true;
        }
        return false;
    }

    /// A process addresses entries by name: it adds and deletes names no other writer uses.
    bool applyByProcess(int kind, const QString &path, const ModelEntry &before, ModelEntry &after)
    {
        switch (kind) {
        case 0:
            after.name = u"cli %1"_s.arg(m_next);
            return run({"add", after.group, after.name, path, after.cmdLine});
        case 1:
            return run(
                {"edit", before.group, before.name, before.group, before.name, "--path", path, "--cmd", after.cmdLine});
        case 4:
            return run({"delete", before.group, before.name});
        default:
            after = before;
            return false;
        }
    }

    bool run(const QStringList &arguments)
    {
        return LanyardProcess::run(QStringList{"--file", m_list} + arguments).status == 0;
    }

    int m_number;
    QString m_list;
    bool m_ownNames;
    std::unique_ptr<ExternalApps> m_apps;
    int m_next = 0;
    Model m_mine;
    QMap<QString, std::optional<ModelEntry>> m_pending;
};

} // namespace

class tst_ListWriters : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // With live reloads, the loop runs a random while (or not at all) between the steps: each
    // object keeps showing its own entries, unsaved changes included, whatever the others saved,
    // and once all have saved every object shows what a load of the file gives. Renames then take
    // names of their writer's own, as a list with two entries of one group and name loads as one.
    void everySavedChangeKeptOnce_data()
    {
        QTest::addColumn<quint32>("seed");
        QTest::addColumn<bool>("reloads");
        for (quint32 seed = 1; seed <= 24; ++seed)
            QTest::addRow("seed-%u", seed) << seed << false;
        for (quint32 seed = 1; seed <= 12; ++seed)
            QTest::addRow("reloads-seed-%u", seed) << seed << true;
    }
    void everySavedChangeKeptOnce()
    {
        QFETCH(quint32, seed);
        QFETCH(bool, reloads);
        QRandomGenerator random(seed);
        QTemporaryDir dir;
        const QString list = dir.filePath(QStringLiteral("tools.lst"));
        // Odd seeds share a Latin-1 list, even ones a UTF-8 list.
        QVERIFY(TestFiles::write(list, seed % 2 ? "; shared by caf\xE9 people\r\n" : "; shared\r\n"));
        std::vector<std::unique_ptr<Writer>> writers;
        const int count = 2 + int(random.bounded(3));
        for (int w = 0; w < count; ++w)
            writers.push_back(std::make_unique<Writer>(w, list, w == count - 1 && random.bounded(2) == 0, reloads));
        Model model;
        QStringList log;
        const auto failure = [&](const QString &what) {
            return (u"seed %1: %2\n"_s.arg(seed).arg(what) + log.join(u'\n')).toLocal8Bit();
        };
        for (int step = 0; step < 30; ++step) {
            Writer &writer = *writers[size_t(random.bounded(count))];
            writer.change(random, log);
            if (random.bounded(3) != 0)
                QVERIFY2(writer.save(model, log), failure(u"a save failed"_s).constData());
            if (reloads && random.bounded(2) != 0)
                QTest::qWait(int(random.bounded(80)));
            for (const auto &each : writers)
                QVERIFY2(!reloads || each->viewMismatch().isEmpty(), failure(each->viewMismatch()).constData());
        }
        for (auto &writer : writers)
            QVERIFY2(writer->save(model, log), failure(u"a save failed"_s).constData());
        QString why;
        const std::optional<Model> file = linesOf(TestFiles::read(list), why);
        const QString context = u"model: %1\nfile:\n%2"_s.arg(describe(model),
                                                              QString::fromUtf8(TestFiles::read(list)));
        if (!file || *file != model)
            qInfo().noquote() << failure(context); // a test message is cut short
        QVERIFY2(file, qPrintable(why));
        QVERIFY2(*file == model, qPrintable(u"seed %1: the file is not the model"_s.arg(seed)));
        if (!reloads)
            return;
        ExternalApps reader;
        reader.setMaxGroups(50);
        reader.setMaxApps(200);
        reader.setEXTFile(list);
        for (const auto &writer : writers) {
            if (writer->object())
                QTRY_VERIFY2_WITH_TIMEOUT(dump(*writer->object()) == dump(reader),
                                          failure(u"a view is not the file"_s).constData(), 10000);
        }
    }

    // Where a save puts what it adds to a list another writer changed meanwhile: an added or
    // moved-in entry follows the one before it in the object's order, a group's first entry goes
    // before the group's lines, and one whose predecessors are gone from the file goes last.
    void placeOfAddedEntries_data()
    {
        QTest::addColumn<QStringList>("other"); // steps of a writer that saves first
        QTest::addColumn<QStringList>("mine");  // steps of an object loaded before that save
        QTest::addColumn<QStringList>("order"); // the file's entries after both saves
        QTest::newRow("added-after-its-predecessor")
            << QStringList{"add Tools/C"} << QStringList{"add Tools/X"} << QStringList{"A", "B", "X", "C", "W"};
        QTest::newRow("added-together-stay-together")
            << QStringList{"add Tools/C"} << QStringList{"add Tools/X", "add Tools/Y"}
            << QStringList{"A", "B", "X", "Y", "C", "W"};
        QTest::newRow("moved-in-after-its-predecessor")
            << QStringList{"add Tools/C"} << QStringList{"move Web/W Tools"} << QStringList{"A", "B", "W", "C"};
        QTest::newRow("first-of-a-group-before-its-lines")
            << QStringList{"add Games/Z"} << QStringList{"add Games/Y"} << QStringList{"A", "B", "W", "Y", "Z"};
        QTest::newRow("predecessors-gone") << QStringList{"delete Tools/A", "delete Tools/B", "add Tools/C"}
                                           << QStringList{"add Tools/X"} << QStringList{"W", "C", "X"};
    }
    void placeOfAddedEntries()
    {
        QFETCH(QStringList, other);
        QFETCH(QStringList, mine);
        QFETCH(QStringList, order);
        QTemporaryDir dir;
        const QString list = dir.filePath(QStringLiteral("tools.lst"));
        QVERIFY(TestFiles::write(list, "Tools,A,/a,,0\nTools,B,/b,,0\nWeb,W,/w,,0\n"));
        ExternalApps first;
        ExternalApps second;
        for (ExternalApps *apps : {&first, &second})
            apps->setEXTFile(list);
        const auto apply = [](ExternalApps &apps, const QStringList &steps) {
            for (const QString &step : steps) {
                const QStringList words = step.split(u' ');
                const QStringList entry = words.at(1).split(u'/');
                if (words.at(0) == u"add")
                    QVERIFY(apps.AddApp(entry.at(0), entry.at(1), u'/' + entry.at(1).toLower(), QString(), false));
                else if (words.at(0) == u"move")
                    apps.EditApp(entry.at(0), entry.at(1), words.at(2), entry.at(1), false, u"/w"_s, QString());
                else
                    apps.DeleteApp(entry.at(0), entry.at(1));
            }
        };
        apply(first, other);
        QVERIFY(first.save());
        apply(second, mine); // no event runs between: the object has not seen the save
        QVERIFY(second.save());
        QStringList names;
        for (const QByteArray &line : TestFiles::read(list).split('\n')) {
            if (!line.isEmpty() && !line.startsWith(';'))
                names << QString::fromUtf8(line.split(',').at(1));
        }
        QCOMPARE(names, order);
    }

    // Names repeat (renames onto a name that is there), slots move down on a delete and
    // names change: a look-up by name always finds the first entry of that name in use, as a
    // scan of a plain list does.
    void nameLookupsAgainstAModel_data()
    {
        QTest::addColumn<quint32>("seed");
        for (quint32 seed = 1; seed <= 6; ++seed)
            QTest::addRow("seed-%u", seed) << seed;
    }
    void nameLookupsAgainstAModel()
    {
        QFETCH(quint32, seed);
        QRandomGenerator random(seed);
        ExternalApps apps;
        apps.setMaxApps(300);
        QList<std::pair<QString, QString>> model; // name, path of group "G", in slot order
        QStringList log;
        const auto name = [&] { return u"n%1"_s.arg(random.bounded(40)); };
        for (int step = 0; step < 3000; ++step) {
            const int kind = model.isEmpty() ? 0 : int(random.bounded(4));
            const qint16 slot = model.isEmpty() ? 0 : qint16(random.bounded(model.size()));
            if (kind == 0 && model.size() < 300) {
                const QString n = name();
                const QString path = u"/p%1"_s.arg(step);
                const auto known = std::find_if(model.begin(), model.end(),
                                                [&](const auto &e) { return e.first == n; });
                QVERIFY(apps.AddApp("G", n, path, "", false));
                if (known != model.end())
                    known->second = path; // an add of a name that is there updates it
                else
                    model.append({n, path});
                log << u"add %1"_s.arg(n);
            } else if (kind == 1) {
                const QString n = name();
                apps.setApplicationName("G", slot, n);
                model[slot].first = n;
                log << u"rename %1 %2"_s.arg(slot).arg(n);
            } else if (kind == 2) {
                apps.DeleteApp("G", QVariant(slot));
                model.removeAt(slot);
                log << u"delete %1"_s.arg(slot);
            } else {
                const QString n = name();
                const auto known = std::find_if(model.begin(), model.end(),
                                                [&](const auto &e) { return e.first == n; });
                const QString found = apps.GroupCount() == 0 ? QString() : QString::number(errorOf(apps, n));
                if (known == model.end())
                    QVERIFY2(found != u"0"_s || model.isEmpty(),
                             qPrintable(u"seed %1: %2 found\n"_s.arg(seed).arg(n) + log.join(u'\n')));
                else
                    QVERIFY2(apps.AppPath("G", n) == known->second,
                             qPrintable(u"seed %1: %2\n"_s.arg(seed).arg(n) + log.join(u'\n')));
            }
        }
    }

private:
    static int errorOf(const ExternalApps &apps, const QString &name)
    {
        try {
            apps.AppPath("G", name);
        } catch (const ComponentError &error) {
            return error.number();
        }
        return 0;
    }
};

QTEST_GUILESS_MAIN(tst_ListWriters)
#include "tst_listwriters.moc"
