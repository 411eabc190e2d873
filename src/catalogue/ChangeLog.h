#pragma once

#include <QList>
#include <QSet>
#include <QString>

#include <utility>

namespace Lanyard {

/**
 * The entries (group name, application name) that changed in a catalogue since it was last
 * in step with its launch list file, in the order they first changed. A save takes exactly
 * these from the catalogue, so that what other programs wrote into the file meanwhile stays.
 */
class ChangeLog
{
public:
    using Key = std::pair<QString, QString>;

    void record(const QString &group, const QString &app);
    bool isEmpty() const { return m_keys.isEmpty(); }
    const QList<Key> &keys() const { return m_keys; }
    void clear();

    /// While paused, nothing is recorded (a load fills the catalogue with what the file holds).
    void setPaused(bool paused) { m_paused = paused; }

private:
    QList<Key> m_keys;
    QSet<Key> m_known;
    bool m_paused = false;
};

} // namespace Lanyard
