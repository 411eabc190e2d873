// SPDX-License-Identifier: MIT
#pragma once

#include <QFile>
#include <QList>
#include <QString>

namespace Lanyard {

/**
 * The icon-theme.cache that gtk-update-icon-cache writes into a theme's folder: which of the
 * theme's folders hold an icon of a name, and in which formats, found without looking into
 * the folders. A cache older than a folder it describes is not used.
 */
class IconThemeCache
{
public:
    /// The cache of the theme folder @p root (for example /usr/share/icons/hicolor).
    explicit IconThemeCache(const QString &root);

    bool isValid() const { return m_data != nullptr; }

    struct File
    {
        QString folder; ///< relative to the theme's folder
        QString suffix; ///< ".png", ".svg" or ".xpm"
    };
    /// The files of the icon named @p name; empty for a name the theme does not have.
    QList<File> filesOf(const QString &name) const;

private:
    quint32 word(quint32 offset) const;
    quint16 half(quint32 offset) const;
    /// The text that starts at @p offset; empty when it leaves the file.
    QByteArrayView text(quint32 offset) const;
    bool checkFolders(const QString &root);

    QFile m_file;
    const uchar *m_data = nullptr;
    quint32 m_size = 0;
    QList<QString> m_folders;
};

} // namespace Lanyard
