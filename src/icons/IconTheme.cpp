#include "IconTheme.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace Lanyard {

namespace {

const QStringList imageSuffixes{u".png"_s, u".svg"_s, u".xpm"_s};

/// The keys of an index.theme, as "group/key".
QHash<QString, QString> readIndex(const QString &path)
{
    QHash<QString, QString> values;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return values;
    QString group;
    for (const QByteArray &raw : file.readAll().split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.startsWith(u'[') && line.endsWith(u']')) {
            group = line.mid(1, line.size() - 2);
        } else if (const qsizetype equals = line.indexOf(u'='); equals > 0 && !line.startsWith(u'#')) {
            values.insert(group + u'/' + line.left(equals).trimmed(), line.mid(equals + 1).trimmed());
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
        // The first index.theme found describes the theme in every icon folder.
        if (index.isEmpty())
            index = readIndex(root + u"/index.theme"_s);
    }
    theme.inherits = listValue(index.value(u"Icon Theme/Inherits"_s));
    for (const QString &folder : listValue(index.value(u"Icon Theme/Directories"_s))) {
        // Folders for scaled screens hold the same icons larger.
        if (index.value(folder + u"/Scale"_s, u"1"_s) == u"1")
            theme.folders.append({folder, index.value(folder + u"/Size"_s).toInt()});
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
    QIcon icon;
    for (const QString &root : theme.roots) {
        for (const Folder &folder : theme.folders) {
            for (const QString &suffix : imageSuffixes) {
                const QString file = root + u'/' + folder.path + u'/' + name + suffix;
                if (QFileInfo(file).isFile())
                    icon.addFile(file, QSize(folder.size, folder.size));
            }
        }
    }
    return icon;
}

} // namespace Lanyard
