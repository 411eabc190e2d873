// SPDX-License-Identifier: MIT
#pragma once

#include <Lanyard/ComponentError.h>
#include <Lanyard/Entry.h>
#include <Lanyard/Export.h>
#include <Lanyard/Language.h>
#include <Lanyard/LaunchCommand.h>
#include <Lanyard/Result.h>
#include <Lanyard/ToolBehaviour.h>
#include <Lanyard/ToolRun.h>

#include <QIcon>
#include <QObject>
#include <QString>
#include <QVariant>
#include <QVariantList>
#include <QVariantMap>

#include <memory>

class QWidget;

// Tags that moc records on the by-name members below (QMetaMethod::tag()); empty to the compiler.
#ifndef Q_MOC_RUN
#define LANYARD_GET
#define LANYARD_LET
#endif

namespace Lanyard {

/**
 * A catalogue of program groups and applications that a host offers its users, kept in a
 * launch list file, with the host's placeholders and the configuration windows.
 *
 * Every member fails by throwing ComponentError and then has changed nothing. A member that
 * stores a value the launch list could not give back the same (a comma, CR, LF or NUL, blanks
 * at either end, a group name beginning with ";", text beyond the list's encoding) fails with
 * InvalidArgument (see \ref launch-list).
 *
 * Members take a group or an application as a "number-or-name" QVariant: a string (a QVariant
 * holding QString, QByteArray or QChar) is a name, even when it holds digits ("3"), looked up
 * exactly and case-sensitively; any other value is a zero-based index, rounded half to even to
 * a 16-bit integer. Indexes are checked against the table sizes (MaxGroups, MaxApps), not the
 * counts in use. Every member that takes such an argument throws Overflow for a number beyond
 * 16 bits and TypeMismatch for a value that is neither a name nor a number (an empty QVariant
 * too); the members below name only the errors of their own. Booleans stored in the catalogue
 * are -1 (true) or 0. A setter of one field (setGroupName, setApplicationName, setAppPath,
 * setCmdLine, setAppProtected) writes only that field.
 *
 * Deleting the object is its release (see ~ExternalApps()). All members must be called on the
 * thread that created the object. The pages \ref placeholders, \ref windows and \ref behaviour
 * tell what a launch, the windows and a live list do.
 */
class LANYARD_EXPORT ExternalApps : public QObject
{
    Q_OBJECT
    // The interface by name, for hosts that know it only through Qt's meta-object system (QML,
    // Python, scripts, QMetaObject::invokeMethod) and for invoke(): the same members, taking
    // and giving QVariants, Booleans as true/false. A failure does not throw there: the member
    // gives an invalid value (or false) and errorOccurred tells the error. Each member below is
    // declared here once; a property is reached by get and let, a method tagged LANYARD_GET by
    // get, one tagged LANYARD_LET (set<Name>) by let, any other by call. Public, so that QML
    // sees the methods.
public:
    Q_PRIVATE_PROPERTY(d, int MaxGroups READ maxGroups WRITE setMaxGroups NOTIFY limitsChanged)
    Q_PRIVATE_PROPERTY(d, int MaxApps READ maxApps WRITE setMaxApps NOTIFY limitsChanged)
    Q_PRIVATE_PROPERTY(d, QString EXTFile READ extFile WRITE setExtFile NOTIFY extFileChanged)
    Q_PRIVATE_PROPERTY(d, int GroupCount READ groupCount NOTIFY catalogueChanged)
    Q_PRIVATE_PROPERTY(d, int PlaceholderCount READ placeholderCount NOTIFY placeholdersChanged)
    Q_PRIVATE_PROPERTY(d, Lanyard::Language Language READ language WRITE setLanguage NOTIFY languageChanged)
    Q_PRIVATE_PROPERTY(d, bool showMissingProgram READ missingProgramShown WRITE setMissingProgramShown NOTIFY
                              showMissingProgramChanged)
    Q_PRIVATE_SLOT(d, LANYARD_GET QVariant AppCount(const QVariant &))
    Q_PRIVATE_SLOT(d, LANYARD_GET QVariant GroupName(const QVariant &))
    Q_PRIVATE_SLOT(d, LANYARD_LET void setGroupName(const QVariant &, const QVariant &))
    Q_PRIVATE_SLOT(d, LANYARD_GET QVariant ApplicationName(const QVariant &, const QVariant &))
    Q_PRIVATE_SLOT(d, LANYARD_LET void setApplicationName(const QVariant &, const QVariant &, const QVariant &))
    Q_PRIVATE_SLOT(d, LANYARD_GET QVariant Icon(const QVariant &, const QVariant &))
    Q_PRIVATE_SLOT(d, QVariant iconUrl(const QVariant &, const QVariant &))
    Q_PRIVATE_SLOT(d, QVariant iconUrl(const QVariant &, const QVariant &, const QVariant &))
    Q_PRIVATE_SLOT(d, LANYARD_GET QVariant AppPath(const QVariant &, const QVariant &))
    Q_PRIVATE_SLOT(d, LANYARD_LET void setAppPath(const QVariant &, const QVariant &, const QVariant &))
    Q_PRIVATE_SLOT(d, LANYARD_GET QVariant AppProtected(const QVariant &, const QVariant &))
    Q_PRIVATE_SLOT(d, LANYARD_LET void setAppProtected(const QVariant &, const QVariant &, const QVariant &))
    Q_PRIVATE_SLOT(d, LANYARD_GET QVariant CmdLine(const QVariant &, const QVariant &))
    Q_PRIVATE_SLOT(d, LANYARD_LET void setCmdLine(const QVariant &, const QVariant &, const QVariant &))
    Q_PRIVATE_SLOT(d, LANYARD_GET QVariant SearchString(const QVariant &))
    Q_PRIVATE_SLOT(d, LANYARD_GET QVariant ReplaceString(const QVariant &))
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
    Q_PRIVATE_SLOT(d, QVariant startTool(const QVariant &, const QVariant &))
    Q_PRIVATE_SLOT(d, QVariant startTool(const QVariant &, const QVariant &, const QVariant &))
    Q_PRIVATE_SLOT(d, QVariant startTool(const QVariant &, const QVariant &, const QVariant &, const QVariant &))
    Q_PRIVATE_SLOT(d, QVariant startTool(const QVariant &, const QVariant &, const QVariant &, const QVariant &,
                                         const QVariant &))
    Q_PRIVATE_SLOT(d, QVariant launchTool(const QVariant &, const QVariant &, const QVariant &))
    Q_PRIVATE_SLOT(d, void ShowForm())
    Q_PRIVATE_SLOT(d, void ShowForm(const QVariant &))
    Q_PRIVATE_SLOT(d, void ShowForm(const QVariant &, const QVariant &))
    Q_PRIVATE_SLOT(d, void HideForm())
    Q_PRIVATE_SLOT(d, QVariant ShowBehaviourForm())
    Q_PRIVATE_SLOT(d, QVariant ShowBehaviourForm(const QVariant &))
    Q_PRIVATE_SLOT(d, QVariant ShowBehaviourForm(const QVariant &, const QVariant &))
    Q_PRIVATE_SLOT(d, QVariant ShowBehaviourForm(const QVariant &, const QVariant &, const QVariant &))
    Q_PRIVATE_SLOT(d, QVariant launchCommand(const QVariant &, const QVariant &))
    Q_PRIVATE_SLOT(d, LANYARD_GET QVariant toolBehaviour(const QVariant &, const QVariant &))
    Q_PRIVATE_SLOT(d, LANYARD_LET void setToolBehaviour(const QVariant &, const QVariant &, const QVariant &))
    Q_PRIVATE_SLOT(d, QVariant save())

public:
    /// An empty catalogue of 5 groups of 5 applications, no launch list, English windows.
    /// Needs no application object; icons and windows need one later.
    explicit ExternalApps(QObject *parent = nullptr);
    /**
     * The release: closes the program list window when it shows this object (one showing
     * another object stays open), then saves the changes (see save()); a save that fails there
     * is logged and emitted as saveFailed. The window never keeps a deleted object alive.
     *
     * An object that outlives its QApplication is fine: an open program list window goes as
     * the application ends (while widgets still may), and the release later saves the list as
     * always.
     */
    ~ExternalApps() override;

    /// The number of group slots, 5 at creation.
    qint16 MaxGroups() const;
    /// Sets the number of group slots to @p intCount (1..32767); memory goes only to slots in
    /// use, and slots added get their application tables at once. Throws IndexOutOfRange below
    /// 1 or below the groups in use, changing nothing: no entry is ever dropped by a resize.
    void setMaxGroups(qint16 intCount);
    /// The number of application slots of each group, 5 at creation.
    qint16 MaxApps() const;
    /// Sets the number of application slots of each group to @p intCount (1..32767). Throws
    /// IndexOutOfRange below 1 or below the applications a group holds, changing nothing.
    void setMaxApps(qint16 intCount);

    /**
     * The launch list file (see \ref launch-list). Assigning a path stores it made absolute,
     * so that it names the same file after the current folder changed, and, when a file is
     * there, loads it, adding to what is there. EXTFile reads back the absolute path, with "."
     * left out and ".." kept (the kernel takes it after links, as for every other program). A
     * dot file counts as a launch list (on Linux that is where such files live; not loading it
     * would overwrite it at release).
     *
     * A load that fails throws ComponentError (PermissionDenied; PathFileAccessError for a
     * folder, FIFO, device or socket, a file that holds NUL bytes or a line longer than 64 KiB;
     * DeviceIOError for a read error); the path stays stored, and this object does not write
     * that file until it has read it whole.
     *
     * While the thread's event loop runs, the file is followed on disk (through symbolic links
     * and replacements by rename, also when it appears later): when another object or program
     * changes it, the catalogue is read again with this object's unsaved changes kept as a save
     * would merge them, and catalogueChanged is emitted. The object's own saves, a file that
     * cannot be read and a list that is removed change nothing. While the program list window
     * shows this object, the reload waits until it closes. See \ref live-list.
     */
    QString EXTFile() const;
    /// Assigns the launch list file (see EXTFile()); an empty @p strFile is ignored. Throws as
    /// EXTFile() says when the load fails.
    void setEXTFile(const QString &strFile);

    /// The number of groups in use.
    qint16 GroupCount() const;
    /// The number of applications in use in the group @p GroupIndex (number or name); 0 for a
    /// name not found. Throws IndexOutOfRange for a number outside the group table.
    qint16 AppCount(const QVariant &GroupIndex) const;

    /// The name of the group slot @p intGroup. Throws IndexOutOfRange outside the group table.
    QString GroupName(qint16 intGroup) const;
    /// Renames the group slot @p intGroup. Throws IndexOutOfRange outside the group table and
    /// InvalidArgument for a name the launch list cannot hold.
    void setGroupName(qint16 intGroup, const QString &strGroup);

    /// The name of the application slot @p AppIndex of the group @p GroupIndex (number or
    /// name). Throws IndexOutOfRange for a slot outside the tables or a group name not found.
    QString ApplicationName(const QVariant &GroupIndex, qint16 AppIndex) const;
    /// Renames that application slot. Throws as ApplicationName() does, and InvalidArgument for
    /// a name the launch list cannot hold.
    void setApplicationName(const QVariant &GroupIndex, qint16 AppIndex, const QString &strAppName);

    /// The program's small icon, shared: its desktop entry's icon, else its MIME type's (see
    /// \ref behaviour); a null icon when the file does not exist or there is no QGuiApplication.
    /// Throws as ApplicationName() does.
    QIcon Icon(const QVariant &GroupIndex, qint16 AppIndex) const;
    /**
     * The program's icon as a URL that a QML Image (or anything reading URLs) shows: a
     * "data:image/png;base64," URL of its @p size pixels picture (QML cannot show the QIcon of
     * Icon()), empty when it has none, when there is no QGuiApplication, and for a size below
     * one pixel.
     * Throws ComponentError as Icon does.
     */
    QString iconUrl(const QVariant &GroupIndex, qint16 AppIndex, int size = 16) const;

    /// The program path of the application @p AppIndex (number or name) of the group
    /// @p GroupIndex (number or name). Throws IndexOutOfRange for a slot outside the tables or
    /// a name not found.
    QString AppPath(const QVariant &GroupIndex, const QVariant &AppIndex) const;
    /// Sets that program path. Throws as AppPath() does, and InvalidArgument for a path the
    /// launch list cannot hold.
    void setAppPath(const QVariant &GroupIndex, const QVariant &AppIndex, const QString &strAppPath);

    /// The stored flag: -1 when protected, 0 when not. Throws as AppPath() does.
    qint16 AppProtected(const QVariant &GroupIndex, const QVariant &AppIndex) const;
    /// Sets that flag. Throws as AppPath() does.
    void setAppProtected(const QVariant &GroupIndex, const QVariant &AppIndex, bool AppProtected);

    /// The command line handed to the program, placeholders not replaced. Throws as AppPath()
    /// does.
    QString CmdLine(const QVariant &GroupIndex, const QVariant &AppIndex) const;
    /// Sets that command line. Throws as AppPath() does, and InvalidArgument for a command
    /// line the launch list cannot hold.
    void setCmdLine(const QVariant &GroupIndex, const QVariant &AppIndex, const QString &strCmdLine);

    /// The number of placeholders (search strings, unique without regard to case).
    qint16 PlaceholderCount() const;
    /// The search string of placeholder @p Index. Throws IndexOutOfRange outside the table.
    QString SearchString(qint16 Index) const;
    /// The replacement of the placeholder @p Index: a number, or a search string matched
    /// without regard to case. Throws IndexOutOfRange outside the table or when not found.
    QString ReplaceString(const QVariant &Index) const;

    /// The language of the configuration windows.
    Lanyard::Language Language() const;
    /// Sets the language of the windows (library-wide, taken when a window loads); a value
    /// outside the enumeration is English. Never throws.
    void setLanguage(Lanyard::Language NewLanguage);

    /**
     * Adds an application, creating its group when none in use has that name, or updates the
     * path and command line of the one of that name. False, changing nothing, when a new group
     * or application finds its table full. Throws InvalidArgument for a text the launch list
     * cannot hold.
     */
    bool AddApp(const QString &strGroup, const QString &strAppName, const QString &strAppPath, const QString &strCmd,
                bool blProtected);
    /// Deletes the application (number or name) of the group (number or name), and the group
    /// with its last application; nothing for a name not found or a slot inside the table but
    /// not in use. Throws IndexOutOfRange for a number outside the tables.
    void DeleteApp(const QVariant &GroupIndex, const QVariant &AppIndex);
    /**
     * Changes the application @p strOldAppName of @p strOldGroup in place, or moves it to
     * another group. A move that a full target group refuses leaves the entry where it was,
     * silently (the lanyard tool and the program list window report it). varNewAppPath and varNewCmd
     * are left as they are when they hold no value (an invalid QVariant). Throws
     * IndexOutOfRange when the entry is not found, InvalidArgument for a text the launch list
     * cannot hold, TypeMismatch for a path or command that is no text.
     */
    void EditApp(const QString &strOldGroup, const QString &strOldAppName, const QString &strNewGroup,
                 const QString &strNewAppName, bool blProtected, const QVariant &varNewAppPath = QVariant(),
                 const QVariant &varNewCmd = QVariant());

    /// Registers the placeholder @p strSearch, or updates the spelling and replacement of the
    /// one that matches it without regard to case. Never throws.
    void AddPlaceHolder(const QString &strSearch, const QString &strReplace);

    /**
     * Starts the application with the placeholders replaced, without waiting for it; emits
     * AppFinished before returning true. When it does not start, emits launchFailed with the
     * reason and returns false. The program starts in its folder; the host's current folder
     * stays as it is. A program path without a folder that is not in the current folder is
     * looked up in PATH. Never throws.
     */
    bool ExecuteApp(const QString &strGroup, const QString &strApp);

    /**
     * Runs the application as ExecuteApp does (the placeholders replaced, no shell, in the
     * program's folder, a program without a folder looked up in PATH, a missing program
     * reported as ExecuteApp reports it, with launchFailed) but keeps the program: the run
     * returned writes @p input to its standard input and gives back its output, its error
     * output and its exit status; its cancel() ends it. With @p inputFrom HostStandardInput
     * the program reads the host's own standard input instead of @p input. Without input the
     * program reads an empty input (/dev/null), never the host's terminal. The program runs in
     * a session of its own.
     *
     * placeholdersWanted is emitted first, as before every launch. Never throws: a run that did
     * not start is in the state FailedToStart, and emits failedToStart from the event loop
     * (launchFailed is emitted before this returns, and the missing-program message shown as
     * showMissingProgram says, as for ExecuteApp; AppFinished is not emitted). Null only when a
     * placeholdersWanted handler deleted this object. The run is a child of this object; see
     * ToolRun and \ref output-modes.
     */
    Lanyard::ToolRun *startTool(const QString &group, const QString &app, const QByteArray &input = QByteArray(),
                                Lanyard::ToolRun::Input inputFrom = Lanyard::ToolRun::Input::Bytes);
    /// Runs the application as startTool() above does, with this launch's own placeholder
    /// values and folder (see LaunchOptions). By name: a map {"values": {label: value},
    /// "folder": text} as the fifth argument.
    Lanyard::ToolRun *startTool(const QString &group, const QString &app, const QByteArray &input,
                                Lanyard::ToolRun::Input inputFrom, const Lanyard::LaunchOptions &options);
    /// Starts the application as ExecuteApp does, with this launch's own placeholder values and
    /// folder (see LaunchOptions); ExecuteApp is this with none. By name: the options as a map
    /// {"values": {label: value}, "folder": text}.
    bool launchTool(const QString &group, const QString &app, const Lanyard::LaunchOptions &options);

    /// Whether ExecuteApp shows the message of a missing program itself: a message box, or a
    /// line on standard error without a QApplication. True at creation; a host that reports
    /// launchFailed in its own way turns it off.
    bool showMissingProgram() const;
    /// Sets showMissingProgram(). Never throws.
    void setShowMissingProgram(bool show);

    /// Shows the program list window (see \ref windows): Modal 1 waits until it is closed, 0
    /// returns at once. With an @p OwnerForm it is that window's transient child and opens
    /// centred over it; Escape or its close box closes it. Throws ComponentError
    /// InvalidArgument for another Modal, and when the program has no QApplication (a
    /// QGuiApplication or QCoreApplication cannot show widgets): an error (errorOccurred, by
    /// name), not an abort.
    void ShowForm(qint32 Modal = 0, QWidget *OwnerForm = nullptr);
    /// Closes the program list window, if it is open, whichever object it shows. Never throws.
    void HideForm();
    /**
     * Shows the tool behaviour window for this catalogue's tools, modally over @p OwnerForm
     * (none: the application), the tool @p group / @p app chosen in it when given: how each
     * tool behaves in a Tools menu (see toolBehaviour()). A shortcut that an action of
     * @p OwnerForm's window already has is refused. True when the user chose OK and the
     * behaviours were stored (saved with the list, see save()); false also without a
     * QApplication. Never throws.
     */
    bool ShowBehaviourForm(QWidget *OwnerForm = nullptr, const QString &group = QString(),
                           const QString &app = QString());

    /**
     * How the tool @p app of @p group behaves in a Tools menu (ToolsMenu): the default for a
     * tool that has none. Behaviours are kept in a file beside the launch list (see
     * \ref behaviour-file): read with it, saved with it by save() and the release, followed on
     * disk, and merged with what other programs saved. A behaviour follows its tool when the
     * tool is renamed or moved (by any window, the host or `lanyard`) and goes when it is
     * deleted; one of a tool the list does not hold stays until this object saves the list
     * without it. By name: a map of the fields ({"output": "Pane", "fileTypes": ["*.txt"]}).
     */
    ToolBehaviour toolBehaviour(const QString &group, const QString &app) const;
    /// Sets how the tool behaves (see toolBehaviour()); saved with the list. Never throws.
    void setToolBehaviour(const QString &group, const QString &app, const ToolBehaviour &behaviour);

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
     * it (see \ref launch-list); they come into this object's view by the live reload, not by
     * the save. A file that could not be read when it was assigned is not written until it has
     * been read whole (see EXTFile()). On failure the file is left as it was, saveFailed is
     * emitted and false returned, as QSaveFile::commit() answers, so that a host handles the
     * saves it asks for and the one at the release in one slot.
     */
    bool save();

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

Q_SIGNALS:
    /// Emitted by ExecuteApp right after the program was started.
    void AppFinished(const QString &strGroup, const QString &strApp);
    /// The same as AppFinished, under a name a QML handler (onAppFinished) can take.
    void appFinished(const QString &group, const QString &app);
    /// ExecuteApp or startTool did not start the application: @p reason says why ("Unable to
    /// find the file: /usr/bin/gedit", "Permission denied", "a quote in the command line is not
    /// closed", ...).
    void launchFailed(const QString &strGroup, const QString &strApp, const QString &reason);
    /// A save (save() or the release) did not write the launch list: @p reason says why.
    void saveFailed(const QString &reason);
    /// A member called by name through the meta-object system failed: the number and text of
    /// the ComponentError a direct call would have thrown.
    void errorOccurred(int number, const QString &message);

    /// MaxGroups or MaxApps was assigned.
    void limitsChanged();
    /// EXTFile changed (emitted also when its load failed: the path is stored all the same).
    void EXTFileChanged();
    /// The same as EXTFileChanged, for QML (onExtFileChanged).
    void extFileChanged();
    /// showMissingProgram changed.
    void showMissingProgramChanged();
    /// Any group or application was added, changed or deleted, also by another writer of the
    /// launch list (see EXTFile()).
    void catalogueChanged();
    /// A placeholder was added or changed.
    void placeholdersChanged();
    /// A tool behaviour was set, renamed with its tool, or read again from its file.
    void toolBehaviourChanged();
    /**
     * The placeholder values are about to be used: emitted right before every launch
     * (ExecuteApp, a ToolsMenu pick), every preview (launchCommand) and whenever the
     * placeholder picker opens. A host connects it (directly, on this object's thread) to a
     * handler that calls AddPlaceHolder with its current data, so values registered once at
     * start-up never go stale and nothing is registered by hand before ShowForm; a QML host
     * writes onPlaceholdersWanted.
     *
     * It is emitted before the entry is looked up, also for an entry that is not there, so a
     * handler that changes the catalogue cannot pull an entry from under the launch. It is
     * emitted once per use: a launch or preview the handler itself makes does not emit it
     * again, and values registered in it stay registered afterwards (PlaceholderCount counts
     * them). Each opening of the placeholder picker asks anew. The handler must not delete
     * this object.
     */
    void placeholdersWanted();
    /// Language was assigned.
    void languageChanged();
    /**
     * The program list window that showed this object closed (or went on to another object):
     * what the user confirmed there is in the catalogue, not yet on disk. A host that wants
     * every window and program to see it at once calls save() here (a ToolsMenu does that by
     * itself); the release saves it in any case.
     */
    void formClosed();

private:
    void SaveLaunchList();
    qint16 FindGroup(const QString &strGroup) const;
    qint16 FindApp(const QVariant &GroupIndex, const QString &strApp) const;
    qint16 FindPlaceholder(const QString &strSearch) const;

    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace Lanyard
