// SPDX-License-Identifier: MIT
#pragma once

#include <QHash>
#include <QIcon>
#include <QString>
#include <QStringList>

#include "IconThemeCache.h"

#include <memory>
#include <vector>

#include <optional>

namespace Lanyard {

/**
 * Theme icons by name, found without changing any process-wide setting of the host. The
 * host's own icon theme, when it set one (QIcon::themeName()), is asked first; otherwise, or
 * when it has no such icon, a search of our own goes through the freedesktop themes Adwaita
 * and hicolor (and what their index.theme inherits) in the XDG icon folders, then the
 * unthemed pixmaps folder. Found icons are kept by name for the object's life.
 */
class IconTheme
{
public:
    IconTheme();

    /// The icon named @p name; a null icon when no theme has it.
    QIcon icon(const QString &name);

private:
    struct Folder
    {
        QString path; ///< relative to the theme's folder
        int size = 0;
    };
    struct Theme
    {
        QStringList roots;                                   ///< the theme's folder in each icon folder that has it
        std::vector<std::shared_ptr<IconThemeCache>> caches; ///< of each root
        QList<Folder> folders;
        QHash<QString, int> sizes; ///< of the folders searched, by path
        QStringList inherits;
    };

    const Theme &theme(const QString &name);
    QIcon search(const QString &name);
    QIcon searchTheme(const Theme &theme, const QString &name) const;

    QStringList m_iconFolders;
    QHash<QString, Theme> m_themes;
    QHash<QString, QIcon> m_found;
};

} // namespace Lanyard
