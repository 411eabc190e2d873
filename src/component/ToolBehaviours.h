// SPDX-License-Identifier: MIT
#pragma once

#include "catalogue/BehaviourFile.h"
#include "util/FileWatch.h"

#include <QObject>

namespace Lanyard {

/**
 * The tool behaviours of one ExternalApps object: what the behaviour file beside its launch
 * list holds, with the object's own changes on top until they are saved. A behaviour follows
 * its tool when the tool is renamed or moved, and goes when it is deleted; the file is followed
 * on disk as the launch list is. A file that cannot be read gives no behaviours, is logged once,
 * and is never written over.
 */
class ToolBehaviours : public QObject
{
    Q_OBJECT

public:
    using Key = BehaviourFile::Key;

    explicit ToolBehaviours(QObject *parent = nullptr);

    /// Reads the behaviours of the launch list at @p listPath, dropping this object's changes.
    void open(const QString &listPath);

    ToolBehaviour value(const Key &tool) const;
    void set(const Key &tool, const ToolBehaviour &behaviour);
    /// The behaviour of @p from goes to @p to: the tool was renamed or moved.
    void rename(const Key &from, const Key &to);
    void remove(const Key &tool);

    bool hasChanges() const { return !m_changes.empty(); }
    /**
     * Writes the changes into the file, merged with what others saved there. With @p inList
     * (the launch list was just written) the tools it does not hold go. Throws ComponentError
     * when the file could not be read or written; the changes are then kept.
     */
    void save(const std::function<bool(const Key &)> &inList = {});

Q_SIGNALS:
    /// What value() gives changed, here or on disk.
    void changed();

private:
    void reload();
    void show(BehaviourFile::Table file);

    QString m_path;
    BehaviourFile::Table m_shown;
    BehaviourFile::Changes m_changes;
    bool m_unreadable = false;
    FileWatch m_watch;
};

} // namespace Lanyard
