// SPDX-License-Identifier: MIT
#pragma once

#include <Lanyard/ToolBehaviour.h>

#include <QHash>
#include <QString>
#include <QStringList>

namespace Lanyard {

/// Which tools fit the document a host shows: a tool's file types against the document's file
/// name and MIME type, and a tool that needs a selection only while there is one. A MIME type
/// ("text/x-csrc") matches the document's type, a type it is an alias of or one it inherits (a
/// C file is text/plain too); "text/*" matches every type of that family; anything else is a
/// file name pattern ("*.txt", "Makefile", wildcards * ? [...]). A tool without file types fits
/// every document, also none.
///
/// The document's types are looked up once, when it changes; a tool's answer is kept for the
/// document, so a thousand tools sharing a few lists of types cost a few matches.
class ToolFilter
{
public:
    /// The document shown from now on: its file name (empty: none, or not saved yet) and
    /// its MIME type (empty: taken from the name, by QMimeDatabase).
    void setDocument(const QString &fileName, const QString &mimeType = QString());
    void setHasSelection(bool hasSelection) { m_hasSelection = hasSelection; }
    bool hasSelection() const { return m_hasSelection; }

    bool fits(const ToolBehaviour &tool) const;

private:
    bool fitsTypes(const QStringList &types) const;
    bool fitsType(const QString &type) const;

    QString m_name;          // the file's name, without its folder
    QStringList m_mimeNames; // the type, its aliases and every type it inherits
    bool m_hasSelection = false;
    mutable QHash<QString, bool> m_answers; // by the tool's types, for this document
};

} // namespace Lanyard
