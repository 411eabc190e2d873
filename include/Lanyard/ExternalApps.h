#pragma once

#include <Lanyard/ComponentError.h>
#include <Lanyard/Entry.h>
#include <Lanyard/Export.h>
#include <Lanyard/Language.h>
#include <Lanyard/LaunchCommand.h>
#include <Lanyard/Result.h>

#include <QIcon>
#include <QObject>
#include <QString>
#include <QVariant>
#include <QVariantList>
#include <QVariantMap>

#include <memory>

class QWidget;

namespace Lanyard {

/**
 * A catalogue of program groups and applications that a host offers its users, kept in a
 * launch list file, with the host's placeholders and the configuration windows.
 *
 * Every member fails by throwing ComponentError and then has changed nothing. A member that
 * stores a value the launch list could not give back the same (a comma, CR, LF or NUL, blanks
 * at either end, a group name beginning with ";", text beyond the list's encoding) fails with
 * InvalidArgument. Members take
 * a group or an application as a "number-or-name" QVariant: a string is a name (even when it
 * holds digits), looked up exactly and case-sensitively; any other value is a zero-based
 * index converted to a 16-bit integer. Booleans stored in the catalogue are -1 (true) or 0.
 *
 * Deleting the object is its release: the program list window is closed, then the changes are
 * saved (see save()); a save that fails there is logged and emitted as saveFailed. All members
 * must be called on the thread that created the object.
 */
class LANYARD_EXPORT ExternalApps : public QObject
{
    Q_OBJECT
    // The interface by name, for hosts that know it only through Qt's meta-object system (QML,
    // Python, scripts, QMetaObject::invokeMethod): the same members, taking and giving
    // QVariants, Booleans as true/false. A failure does not throw there: the member gives an
    // invalid value (or false) and errorOccurred tells the error. (invoke() is the other way in.)
    Q_PRIVATE_PROPERTY(d, int MaxGroups READ maxGroups WRITE setMaxGroups NOTIFY limitsChanged)
    Q_PRIVATE_PROPERTY(d, int MaxApps READ maxApps WRITE setMaxApps NOTIFY limitsChanged)
    Q_PRIVATE_PROPERTY(d, QString EXTFile READ extFile WRITE setExtFile NOTIFY extFileChanged)
    Q_PRIVATE_PROPERTY(d, int GroupCount READ groupCount NOTIFY catalogueChanged)
    Q_PRIVATE_PROPERTY(d, int PlaceholderCount READ placeholderCount NOTIFY placeholdersChanged)
    Q_PRIVATE_PROPERTY(d, Lanyard::Language Language READ language WRITE setLanguage NOTIFY languageChanged)
    Q_PROPERTY(bool showMissingProgram READ showMissingProgram WRITE setShowMissingProgram NOTIFY
                   showMissingProgramChanged)

public:
    explicit ExternalApps(QObject *parent = nullptr);
    ~ExternalApps() override;

    // Limits: the number of group slots and of application slots in each group.
    qint16 MaxGroups() const;
    void setMaxGroups(qint16 intCount);
    qint16 MaxApps() const;
    void setMaxApps(qint16 intCount);

    /**
     * The launch list file. Assigning a path stores it made absolute and, when a file is
     * there, loads it, adding to what is there. A load that fails throws ComponentError
     * (PermissionDenied; PathFileAccessError for a folder, FIFO, device or socket, a file that
     * holds NUL bytes or a line longer than 64 KiB; DeviceIOError for a read error); the path
     * stays stored, and this object never writes that file.
     */
    QString EXTFile() const;
    void setEXTFile(const QString &strFile);

    qint16 GroupCount() const;
    qint16 AppCount(const QVariant &GroupIndex) const;

    QString GroupName(qint16 intGroup) const;
    void setGroupName(qint16 intGroup, const QString &strGroup);

    QString ApplicationName(const QVariant &GroupIndex, qint16 AppIndex) const;
    void setApplicationName(const QVariant &GroupIndex, qint16 AppIndex, const QString &strAppName);

    /// The program's small icon, shared, or a null icon.
    QIcon Icon(const QVariant &GroupIndex, qint16 AppIndex) const;
    /**
     * The program's icon as a URL that a QML Image (or anything reading URLs) shows: a
     * "data:image/png;base64," URL of its @p size pixels picture, empty when it has none.
     * Throws ComponentError as Icon does.
     */
    QString iconUrl(const QVariant &GroupIndex, qint16 AppIndex, int size = 16) const;

    QString AppPath(const QVariant &GroupIndex, const QVariant &AppIndex) const;
    void setAppPath(const QVariant &GroupIndex, const QVariant &AppIndex, const QString &strAppPath);

    /// The stored flag: -1 when protected, 0 when not.
    qint16 AppProtected(const QVariant &GroupIndex, const QVariant &AppIndex) const;
    void setAppProtected(const QVariant &GroupIndex, const QVariant &AppIndex, bool AppProtected);

    QString CmdLine(const QVariant &GroupIndex, const QVariant &AppIndex) const;
    void setCmdLine(const QVariant &GroupIndex, const QVariant &AppIndex, const QString &strCmdLine);

    // Placeholders: search strings (unique without regard to case) and their replacements.
    qint16 PlaceholderCount() const;
    QString SearchString(qint16 Index) const;
    QString ReplaceString(const QVariant &Index) const;

    Lanyard::Language Language() const;
    void setLanguage(Lanyard::Language NewLanguage);

    bool AddApp(const QString &strGroup, const QString &strAppName, const QString &strAppPath,
                const QString &strCmd, bool blProtected);
    void DeleteApp(const QVariant &GroupIndex, const QVariant &AppIndex);
    /// varNewAppPath and varNewCmd are omitted when they hold no value (an invalid QVariant).
    void EditApp(const QString &strOldGroup, const QString &strOldAppName, const QString &strNewGroup,
                 const QString &strNewAppName, bool blProtected, const QVariant &varNewAppPath = QVariant(),
                 const QVariant &varNewCmd = QVariant());

    void AddPlaceHolder(const QString &strSearch, const QString &strReplace);

    /**
     * Starts the application with the placeholders replaced, without waiting for it; emits
     * AppFinished before returning true. When it does not start, emits launchFailed with the
     * reason and returns false. The program starts in its folder; the host's current folder
     * stays as it is. A program path without a folder that is not in the current folder is
     * looked up in PATH.
     */
    bool ExecuteApp(const QString &strGroup, const QString &strApp);

    /// Whether ExecuteApp shows the message of a missing program itself: a message box, or a
    /// line on standard error without a QApplication. True at creation; a host that reports
    /// launchFailed in its own way turns it off.
    bool showMissingProgram() const;
    void setShowMissingProgram(bool show);

    /// Shows the program list window: Modal 1 waits until it is closed, 0 returns at once.
    /// Throws ComponentError InvalidArgument for another Modal, and when the program has no
    /// QApplication (a QGuiApplication or QCoreApplication cannot show widgets).
    void ShowForm(qint32 Modal = 0, QWidget *OwnerForm = nullptr);
    void HideForm();

    /// The application @p strApp of the group @p strGroup, both names matched exactly, without
    /// throwing: IndexOutOfRange in the result when either is not there.
    Result<Entry> entry(const QString &strGroup, const QString &strApp) const;

    /// What ExecuteApp would start for an entry, without starting it or checking the program
    /// file, without throwing: IndexOutOfRange in the result when the entry is not found,
    /// InvalidArgument when its command line has a quote that is not closed.
    Result<LaunchCommand> launchCommand(const QString &strGroup, const QString &strApp) const;

    /**
     * Writes the catalogue's changes to EXTFile now, as the release does; true when they are
     * on disk (also when there was nothing to write). Nothing is written while nothing has
     * changed since the load or the last save. When another program wrote the file meanwhile,
     * its entries stay: the file is read again and only this object's changed entries go into
     * it. A file that could not be read when it was assigned is never written. On failure the
     * file is left as it was, saveFailed is emitted and false returned.
     */
    Q_INVOKABLE bool save();

    /**
     * Late-bound access: calls the member named @p member (letter case ignored) with
     * @p arguments. @p kind is "get" or "let" for a property, "call" for a method; a let
     * takes the value to assign as its last argument. Optional arguments may be left off.
     * Returns {"value": result, "error": 0, "description": "", "detail": ""} on success, and on
     * failure the error number, its text and what went wrong with an invalid value; it never
     * throws.
     */
    Q_INVOKABLE QVariantMap invoke(const QString &member, const QString &kind,
                                   const QVariantList &arguments = QVariantList());

    // The members by name (see above); a let of a property with arguments is its set... name.
    Q_PRIVATE_SLOT(d, QVariant AppCount(const QVariant &))
    Q_PRIVATE_SLOT(d, QVariant GroupName(const QVariant &))
    Q_PRIVATE_SLOT(d, void setGroupName(const QVariant &, const QVariant &))
    Q_PRIVATE_SLOT(d, QVariant ApplicationName(const QVariant &, const QVariant &))
    Q_PRIVATE_SLOT(d, void setApplicationName(const QVariant &, const QVariant &, const QVariant &))
    Q_PRIVATE_SLOT(d, QVariant Icon(const QVariant &, const QVariant &))
    Q_PRIVATE_SLOT(d, QVariant iconUrl(const QVariant &, const QVariant &))
    Q_PRIVATE_SLOT(d, QVariant AppPath(const QVariant &, const QVariant &))
    Q_PRIVATE_SLOT(d, void setAppPath(const QVariant &, const QVariant &, const QVariant &))
    Q_PRIVATE_SLOT(d, QVariant AppProtected(const QVariant &, const QVariant &))
    Q_PRIVATE_SLOT(d, void setAppProtected(const QVariant &, const QVariant &, const QVariant &))
    Q_PRIVATE_SLOT(d, QVariant CmdLine(const QVariant &, const QVariant &))
    Q_PRIVATE_SLOT(d, void setCmdLine(const QVariant &, const QVariant &, const QVariant &))
    Q_PRIVATE_SLOT(d, QVariant SearchString(const QVariant &))
    Q_PRIVATE_SLOT(d, QVariant ReplaceString(const QVariant &))
    Q_PRIVATE_SLOT(d, QVariant AddApp(const QVariant &, const QVariant &, const QVariant &, const QVariant &,
                                      const QVariant &))
    Q_PRIVATE_SLOT(d, void DeleteApp(const QVariant &, const QVariant &))
    Q_PRIVATE_SLOT(d, void EditApp(const QVariant &, const QVariant &, const QVariant &, const QVariant &,
                                   const QVariant &))
    Q_PRIVATE_SLOT(d, void EditApp(const QVariant &, const QVariant &, const QVariant &, const QVariant &,
                                   const QVariant &, const QVariant &))
    Q_PRIVATE_SLOT(d, void EditApp(const QVariant &, const QVariant &, const QVariant &, const QVariant &,
                                   const QVariant &, const QVariant &, const QVariant &))
    Q_PRIVATE_SLOT(d, void AddPlaceHolder(const QVariant &, const QVariant &))
    Q_PRIVATE_SLOT(d, QVariant ExecuteApp(const QVariant &, const QVariant &))
    Q_PRIVATE_SLOT(d, void ShowForm())
    Q_PRIVATE_SLOT(d, void ShowForm(const QVariant &))
    Q_PRIVATE_SLOT(d, void ShowForm(const QVariant &, const QVariant &))
    Q_PRIVATE_SLOT(d, void HideForm())
    Q_PRIVATE_SLOT(d, QVariant launchCommand(const QVariant &, const QVariant &))

Q_SIGNALS:
    /// Emitted by ExecuteApp right after the program was started.
    void AppFinished(const QString &strGroup, const QString &strApp);
    /// The same as AppFinished, under a name a QML handler (onAppFinished) can take.
    void appFinished(const QString &group, const QString &app);
    /// ExecuteApp did not start the application: @p reason says why ("Unable to find the file:
    /// /usr/bin/gedit", "Permission denied", "a quote in the command line is not closed", ...).
    void launchFailed(const QString &strGroup, const QString &strApp, const QString &reason);
    /// A save (save() or the release) did not write the launch list: @p reason says why.
    void saveFailed(const QString &reason);
    /// A member called by name through the meta-object system failed: the number and text of
    /// the ComponentError a direct call would have thrown.
    void errorOccurred(int number, const QString &message);

    // What a host binds to.
    void limitsChanged();
    void EXTFileChanged();
    /// The same as EXTFileChanged, for QML (onExtFileChanged).
    void extFileChanged();
    void showMissingProgramChanged();
    /// Any group or application was added, changed or deleted.
    void catalogueChanged();
    void placeholdersChanged();
    void languageChanged();

private:
    void SaveLaunchList();
    qint16 FindGroup(const QString &strGroup) const;
    qint16 FindApp(const QVariant &GroupIndex, const QString &strApp) const;
    qint16 FindPlaceholder(const QString &strSearch) const;

    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace Lanyard
