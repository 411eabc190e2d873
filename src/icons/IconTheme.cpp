// SPDX-License-Identifier: MIT
#include "IconTheme.h"

#include "ThemeIconEngine.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>
#include <iterator>

using namespace Qt::StringLiterals;

namespace Lanyard {

namespace {

const QStringList imageSuffixes{u".png"_s, u".svg"_s, u".xpm"_s};

// Menus and dialogs draw program icons at 16 or 32 pixels: larger fixed sizes are not searched.
constexpr int largestSizeSearched = 64;

/// The keys of an index.theme, as "group/key". Only the keys the search uses are kept: a theme
/// such as hicolor describes hundreds of folders in thousands of lines.
QHash<QString, QString> readIndex(const QString &path)
{
    static const QByteArrayView used[] = {"Inherits", "Directories", "Size", "Scale", "Type"};
    QHash<QString, QString> values;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return values;
    const QList<QByteArray> lines = file.readAll().split('\n');
    QByteArrayView group;
    for (const QByteArray &rawLine : lines) {
        const QByteArrayView line = QByteArrayView(rawLine).trimmed();
        if (line.startsWith('[') && line.endsWith(']')) {
            group = line.sliced(1, line.size() - 2);
        } else if (const qsizetype equals = line.indexOf('='); equals != -1) {
            // A comment's key begins with '#': it is none of the keys used.
            const QByteArrayView key = line.first(equals).trimmed();
            if (std::find(std::begin(used), std::end(used), key) != std::end(used))
                values.insert(QString::fromUtf8(group) + u'/' + QString::fromUtf8(key),
                              QString::fromUtf8(line.sliced(equals + 1).trimmed()));
        }
    }
    return values;
}

QStringList listValue(const QString &value)
{
    QStringList items = value.split(u',', Qt::SkipEmptyParts);
    for (QString &item : items)
        item = item.trimmed();
    return items;
}

} // namespace

IconTheme::IconTheme()
    : m_iconFolders{QDir::homePath() + u"/.icons"_s}
{
    m_iconFolders += QStandardPaths::locateAll(QStandardPaths::GenericDataLocation, u"icons"_s,
                                               QStandardPaths::LocateDirectory);
}

QIcon IconTheme::icon(const QString &name)
{
    if (name.isEmpty())
        return QIcon();
    if (!QIcon::themeName().isEmpty()) {
        QIcon hostIcon = QIcon::fromTheme(name);
        if (!hostIcon.isNull())
            return hostIcon;
    }
    const auto found = m_found.constFind(name);
    if (found != m_found.cend())
        return *found;
    QIcon icon = search(name);
    m_found.insert(name, icon);
    return icon;
}

const IconTheme::Theme &IconTheme::theme(const QString &name)
{
    const auto known = m_themes.constFind(name);
    if (known != m_themes.cend())
        return *known;
    Theme theme;
    QHash<QString, QString> index;
    for (const QString &folder : std::as_const(m_iconFolders)) {
        const QString root = folder + u'/' + name;
        if (!QFileInfo(root).isDir())
            continue;
        theme.roots << root;
        theme.caches.push_back(std::make_shared<IconThemeCache>(root));
        // The first index.theme found describes the theme in every icon folder.
        if (index.isEmpty())
            index = readIndex(root + u"/index.theme"_s);
    }
    theme.inherits = listValue(index.value(u"Icon Theme/Inherits"_s));
    for (const QString &folder : listValue(index.value(u"Icon Theme/Directories"_s))) {
        // Folders for scaled screens hold the same icons larger.
        const int size = index.value(folder + u"/Size"_s).toInt();
        const bool scalable = index.value(folder + u"/Type"_s) == u"Scalable";
        if (index.value(folder + u"/Scale"_s, u"1"_s) == u"1" && (scalable || size <= largestSizeSearched)) {
            theme.folders.append({folder, size});
            theme.sizes.insert(folder, size);
        }
    }
    return *m_themes.insert(name, theme);
}

QIcon IconTheme::search(const QString &name)
{
    // Adwaita holds the MIME type icons and inherits hicolor, where programs put theirs.
    QStringList chain{u"Adwaita"_s, u"hicolor"_s};
    for (qsizetype i = 0; i < chain.size(); ++i) {
        const Theme &found = theme(chain.at(i));
        QIcon icon = searchTheme(found, name);
        if (!icon.isNull())
            return icon;
        qsizetype next = i + 1;
        for (const QString &parent : found.inherits) {
            if (!chain.contains(parent))
                chain.insert(next++, parent);
        }
    }
    for (const QString &folder : QStandardPaths::locateAll(QStandardPaths::GenericDataLocation, u"pixmaps"_s,
                                                           QStandardPaths::LocateDirectory)) {
        for (const QString &suffix : imageSuffixes) {
            if (QFileInfo(folder + u'/' + name + suffix).isFile())
                return QIcon(folder + u'/' + name + suffix);
        }
    }
    return QIcon();
}

QIcon IconTheme::searchTheme(const Theme &theme, const QString &name) const
{
    QList<ThemeIconEngine::File> files;
    for (size_t i = 0; i < theme.caches.size(); ++i) {
        const QString &root = theme.roots.at(qsizetype(i));
        if (theme.caches[i]->isValid()) {
            // The cache says where the icon is: no folder is looked into.
            for (const IconThemeCache::File &file : theme.caches[i]->filesOf(name)) {
                const auto size = theme.sizes.constFind(file.folder);
                if (size != theme.sizes.cend())
                    files.append({root + u'/' + file.folder + u'/' + name + file.suffix, *size});
            }
            continue;
        }
        for (const Folder &folder : theme.folders) {
            for (const QString &suffix : imageSuffixes) {
                const QString file = root + u'/' + folder.path + u'/' + name + suffix;
                if (QFileInfo(file).isFile())
                    files.append({file, folder.size});
            }
        }
    }
    return files.isEmpty() ? QIcon() : QIcon(new ThemeIconEngine(std::move(files)));
}

} // namespace Lanyard
