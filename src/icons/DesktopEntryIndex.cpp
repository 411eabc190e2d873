// SPDX-License-Identifier: MIT
#include "DesktopEntryIndex.h"

#include "text/NativeText.h"
#include "util/CommandLine.h"
#include "util/FileListing.h"
#include "util/FileVersion.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QStandardPaths>

#include <algorithm>
#include <map>

using namespace Qt::StringLiterals;

namespace Lanyard {

namespace {

// Desktop entries are small; anything larger is not one and is not read whole.
constexpr qint64 maxEntrySize = 1 << 20;

QStringList applicationRoots() { return QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation); }

QDateTime modificationTime(const QString &folder) { return QFileInfo(folder).lastModified(); }

/// The keys of the [Desktop Entry] group that matter here, string escapes undone.
struct DesktopEntryFields
{
    QString type;
    QString exec;
    QString icon;
    bool hidden = false;
    bool noDisplay = false;
};

QString unescapeValue(QStringView value)
{
    QString result;
    result.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c != u'\\' || i + 1 == value.size()) {
            result.append(c);
            continue;
        }
        const QChar next = value.at(++i);
        switch (next.unicode()) {
        case u's':
            result.append(u' ');
            break;
        case u'n':
            result.append(u'\n');
            break;
        case u't':
            result.append(u'\t');
            break;
        case u'r':
            result.append(u'\r');
            break;
        case u'\\':
            result.append(u'\\');
            break;
        default:
            result.append(u'\\').append(next);
            break;
        }
    }
    return result;
}

DesktopEntryFields readEntry(const QString &filePath)
{
    DesktopEntryFields fields;
    QFile file(filePath);
    if (file.size() > maxEntrySize || !file.open(QIODevice::ReadOnly))
        return fields;
    const QString text = NativeText::decode(file.readAll());
    bool inMainGroup = false;
    for (QStringView line : QStringView(text).split(u'\n')) {
        // A comment's key begins with '#', so it is never one of the keys read.
        line = line.trimmed();
        if (line.startsWith(u'[')) {
            inMainGroup = line == u"[Desktop Entry]";
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (!inMainGroup || equals == -1)
            continue;
        const QStringView key = line.left(equals).trimmed();
        const QString value = unescapeValue(line.mid(equals + 1).trimmed());
        if (key == u"Type")
            fields.type = value;
        else if (key == u"Exec")
            fields.exec = value;
        else if (key == u"Icon")
            fields.icon = value;
        else if (key == u"Hidden")
            fields.hidden = value == u"true";
        else if (key == u"NoDisplay")
            fields.noDisplay = value == u"true";
    }
    return fields;
}

bool isEnvironmentAssignment(const QString &word)
{
    const qsizetype equals = word.indexOf(u'=');
    return equals > 0 && !word.left(equals).contains(u'/');
}

/// The program word of an Exec value: its first word, past "env" and its NAME=value words.
QString programWord(const QString &exec)
{
    const Result<QStringList> words = CommandLine::split(exec);
    if (!words)
        return QString();
    qsizetype i = 0;
    if (i < words->size() && (words->at(i) == u"env" || words->at(i).endsWith(u"/env"))) {
        ++i;
        while (i < words->size() && isEnvironmentAssignment(words->at(i)))
            ++i;
    }
    return i < words->size() ? words->at(i) : QString();
}

QString canonicalProgram(const QString &word)
{
    if (word.isEmpty())
        return QString();
    const QString path = word.contains(u'/') ? word : FileListing::findOnPath(word);
    return path.isEmpty() ? QString() : FileListing::canonicalPath(path);
}

} // namespace

DesktopEntryIndex::DesktopEntryIndex()
    : m_roots(applicationRoots())
{
    QSet<QString> seenIds;
    for (const QString &root : std::as_const(m_roots))
        scanRoot(root, seenIds);
}

QString DesktopEntryIndex::iconFor(const QString &canonicalPath) const
{
    const auto found = m_byProgram.constFind(canonicalPath);
    return found == m_byProgram.cend() ? QString() : found->icon;
}

bool DesktopEntryIndex::isStale() const
{
    if (applicationRoots() != m_roots)
        return true;
    return std::any_of(m_folders.cbegin(), m_folders.cend(),
                       [](const ScannedFolder &folder) { return modificationTime(folder.path) != folder.modified; })
           || std::any_of(m_entryFiles.cbegin(), m_entryFiles.cend(),
                          [](const ScannedEntry &entry) { return FileVersion::of(entry.path) != entry.stamp; });
}

void DesktopEntryIndex::scanRoot(const QString &root, QSet<QString> &seenIds)
{
    m_folders.append({root, modificationTime(root)});
    const QDir rootDir(root);
    std::map<QString, QString> filesById; // sorted, so the result does not depend on listing order
    QDirIterator it(root, QDir::Dirs | QDir::Files | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info = it.fileInfo();
        if (info.isDir()) {
            m_folders.append({path, info.lastModified()});
            continue;
        }
        if (!path.endsWith(u".desktop"))
            continue;
        QString id = rootDir.relativeFilePath(path);
        id.replace(u'/', u'-');
        filesById.emplace(id, path);
    }
    for (const auto &[id, path] : filesById) {
        if (seenIds.contains(id))
            continue;
        seenIds.insert(id);
        addEntryFile(path);
    }
}

void DesktopEntryIndex::addEntryFile(const QString &filePath)
{
    m_entryFiles.append({filePath, FileVersion::of(filePath)});
    const DesktopEntryFields fields = readEntry(filePath);
    if (fields.hidden || fields.type != u"Application" || fields.icon.isEmpty())
        return;
    const QString program = canonicalProgram(programWord(fields.exec));
    if (program.isEmpty())
        return;
    const auto existing = m_byProgram.constFind(program);
    if (existing != m_byProgram.cend() && !(existing->noDisplay && !fields.noDisplay))
        return;
    m_byProgram.insert(program, Entry{fields.icon, fields.noDisplay});
}

} // namespace Lanyard
