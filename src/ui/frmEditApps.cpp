// SPDX-License-Identifier: MIT
#include "frmEditApps.h"

#include "Captions.h"
#include "ColumnFit.h"
#include "ElidedItemToolTip.h"
#include "KeyRules.h"
#include "LaunchEntries.h"
#include "Notice.h"
#include "ScreenFit.h"
#include "TreeAnnouncer.h"
#include "Twips.h"
#include "frmNewApp.h"
#include "frmPlaceholders.h"
#include "util/Raise.h"

#include <QApplication>
#include <QBoxLayout>
#include <QCloseEvent>
#include <QEventLoop>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QTreeWidget>
#include <QWindow>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace Lanyard {

namespace {

const QString groupTag = u"ROOT"_s;

/// A row of the tree that gives its picture when it is drawn: storing a picture in each of
/// thousands of rows costs more than making the rows.
class EntryNode : public QTreeWidgetItem
{
public:
    /// A program's row gives screen readers its program path as description, so that it
    /// sounds unlike a group's (which says whether it is open).
    EntryNode(const QString &name, const QIcon &icon, const QString &program = QString())
        : QTreeWidgetItem(QStringList{name})
        , m_icon(icon)
        , m_program(program)
    {
    }
    QVariant data(int column, int role) const override
    {
        if (column == 0 && role == Qt::DecorationRole)
            return m_icon;
        if (column == 0 && role == Qt::AccessibleDescriptionRole && !m_program.isEmpty())
            return m_program;
        return QTreeWidgetItem::data(column, role);
    }

private:
    QIcon m_icon;
    QString m_program;
};

bool isGroupNode(const QTreeWidgetItem *node) { return node->data(0, frmEditApps::TagRole).toString() == groupTag; }

bool isEditKey(int key) { return KeyRules::isEnter(key) || key == Qt::Key_Space; }

bool hasGroup(const LaunchEntries &apps, const QString &group)
{
    const QList<LaunchEntries::Group> groups = apps.groups();
    return std::any_of(groups.cbegin(), groups.cend(), [&](const LaunchEntries::Group &g) { return g.name == group; });
}

} // namespace

struct frmEditApps::Private
{
    // Null while the window serves none; its owner unloads the window before releasing it.
    LaunchEntries *apps = nullptr;
    ImageList imgExeIcons;
    // Loaded once: every fill shows them.
    const QIcon groupImage = ImageList::resourceIcon(u"GROUP"_s);
    const QIcon appImage = ImageList::resourceIcon(u"APP"_s);
    // A message about a change made while the dialog was open, shown once it has closed.
    std::optional<Report> later;
    // Handlers that run a nested event loop; while one runs, unloading defers the deletion.
    int busy = 0;

    QTreeWidget *tvGroup = nullptr;
    TreeAnnouncer *announcer = nullptr;
    QPushButton *cmdAddApp = nullptr;
    QPushButton *cmdEdit = nullptr;
    QPushButton *cmdRemoveApp = nullptr;

    struct BusyScope
    {
        explicit BusyScope(Private &d)
            : d(d)
        {
            ++d.busy;
        }
        ~BusyScope() { --d.busy; }
        Private &d;
    };

    QPushButton *addButton(QWidget *window, const QString &name, TextId caption, TextId tip)
    {
        auto *button = new QPushButton(Captions::text(caption), window);
        button->setObjectName(name);
        button->setToolTip(Captions::text(tip));
        button->setAutoDefault(false);
        Twips::setMinimumSize(button, 1575, 375);
        return button;
    }

    // Texts in the language of the moment: the window takes them when it is loaded.
    void createControls(QWidget *window)
    {
        tvGroup = new QTreeWidget(window);
        tvGroup->setObjectName(u"tvGroup"_s);
        tvGroup->setHeaderHidden(true);
        tvGroup->setColumnCount(1);
        // Hidden, the header still names the column for screen readers.
        tvGroup->setHeaderLabels({window->windowTitle()});
        tvGroup->setUniformRowHeights(true);
        tvGroup->setEditTriggers(QAbstractItemView::NoEditTriggers);
        tvGroup->setSelectionMode(QAbstractItemView::SingleSelection);
        tvGroup->setIconSize(imgExeIcons.imageSize());
        tvGroup->setItemDelegate(new ElidedItemToolTip(tvGroup));
        tvGroup->setToolTip(Captions::text(TextId::TreeTip));
        // No label names the tree: for screen readers the window's caption does, and a view
        // does not offer its tooltip as description by itself.
        tvGroup->setAccessibleName(window->windowTitle());
        tvGroup->setAccessibleDescription(tvGroup->toolTip());
        Twips::setMinimumSize(tvGroup, 2535, 2535);
        announcer = new TreeAnnouncer(tvGroup);

        cmdAddApp = addButton(window, u"cmdAddApp"_s, TextId::AddProgram, TextId::AddProgramTip);
        cmdEdit = addButton(window, u"cmdEdit"_s, TextId::EditProgram, TextId::EditProgramTip);
        cmdRemoveApp = addButton(window, u"cmdRemoveApp"_s, TextId::DeleteProgram, TextId::DeleteProgramTip);
        layOut(window);

        QWidget::setTabOrder(tvGroup, cmdAddApp);
        QWidget::setTabOrder(cmdAddApp, cmdEdit);
        QWidget::setTabOrder(cmdEdit, cmdRemoveApp);
    }

    // The designed arrangement, its twips as the least room: the tree, and the buttons in a
    // column at its right, as wide as the widest caption needs. A larger window gives the
    // room to the tree.
    void layOut(QWidget *window)
    {
        auto *buttons = new QVBoxLayout;
        buttons->setContentsMargins(0, Twips::toPixelsY(window, 120), 0, 0);
        buttons->setSpacing(Twips::toPixelsY(window, 105));
        for (QPushButton *button : {cmdAddApp, cmdEdit, cmdRemoveApp})
            buttons->addWidget(button);
        buttons->addStretch();

        auto *layout = new QHBoxLayout(window);
        layout->setContentsMargins(Twips::margins(window, 120, 120, 210, 165));
        layout->setSpacing(Twips::toPixelsX(window, 105));
        layout->addWidget(tvGroup, 1);
        layout->addLayout(buttons);
    }
};

// A dialog-type window: only for those does Qt's X11 backend publish the owner as the transient
// parent (WM_TRANSIENT_FOR), which keeps a window manager from putting it behind the owner.
frmEditApps::frmEditApps(QWidget *owner)
    : QWidget(owner, Qt::Dialog)
    , d(std::make_unique<Private>())
{
    setObjectName(u"frmEditApps"_s);
    setWindowTitle(Captions::text(TextId::EditAppsCaption));
    d->createControls(this);
    resize(minimumSizeHint());

    connect(d->cmdAddApp, &QPushButton::clicked, this, &frmEditApps::AddProgram);
    connect(d->cmdEdit, &QPushButton::clicked, this, &frmEditApps::EditProgram);
    connect(d->cmdRemoveApp, &QPushButton::clicked, this, &frmEditApps::RemoveProgram);
    connect(d->tvGroup, &QTreeWidget::currentItemChanged, this, &frmEditApps::updateButtonsForSelection);
    connect(d->tvGroup, &QTreeWidget::itemSelectionChanged, this, &frmEditApps::updateButtonsForSelection);
    connect(d->tvGroup, &QTreeWidget::itemCollapsed, this, &frmEditApps::keepCurrentInSight);
    connect(d->tvGroup, &QTreeWidget::itemExpanded, this, &frmEditApps::updateButtonsForSelection);
    for (QObject *control : {static_cast<QObject *>(d->tvGroup), static_cast<QObject *>(d->tvGroup->viewport()),
                             static_cast<QObject *>(d->cmdAddApp), static_cast<QObject *>(d->cmdEdit),
                             static_cast<QObject *>(d->cmdRemoveApp)})
        control->installEventFilter(this);
}

frmEditApps::~frmEditApps()
{
    // Deleted with its owner window, the window unloads like any other closing.
    if (isLoaded())
        detach();
}

void frmEditApps::ShowFor(LaunchEntries *apps, qint32 modal, QWidget *owner)
{
    if (modal != 0 && modal != 1)
        raiseError(ErrorCode::InvalidArgument);
    // Widgets abort the program without a QApplication: a QML host has a QGuiApplication.
    if (!qobject_cast<QApplication *>(QCoreApplication::instance()))
        raiseError(ErrorCode::InvalidArgument, u"the program list window needs a QApplication"_s);
    frmEditApps *window = loadWith([&] {
        // The application object may go before whoever showed the window: the window then goes
        // while the application still exists, as the last thing it does.
        qRemovePostRoutine(&frmEditApps::Unload);
        qAddPostRoutine(&frmEditApps::Unload);
        return new frmEditApps(owner);
    });
    window->setLaunchAppClass(apps);
    window->showModal(modal == 1, owner);
}

void frmEditApps::Unload()
{
    frmEditApps *window = instance();
    if (!window)
        return;
    window->detach();
    if (window->d->busy > 0 && QCoreApplication::instance())
        window->deleteLater();
    else
        delete window;
}

void frmEditApps::UnloadFor(const LaunchEntries *apps)
{
    if (const frmEditApps *window = instance(); window && window->d->apps == apps)
        Unload();
}

bool frmEditApps::isLoaded() const { return SingleWindow::isLoaded(this); }

void frmEditApps::detach()
{
    forgetLoaded();
    frmNewApp::Unload();
    frmPlaceholders::Unload();
    // A message box still open belongs to the window that is going away.
    for (QMessageBox *box : findChildren<QMessageBox *>(Qt::FindDirectChildrenOnly))
        box->reject();
    if (LaunchEntries *served = std::exchange(d->apps, nullptr))
        served->windowClosed();
    hide();
    Q_EMIT unloaded();
}

void frmEditApps::belongTo(QWidget *owner)
{
    if (parentWidget() != owner)
        setParent(owner, windowFlags());
    // Qt makes the owner's window the transient parent only when that existed as this window
    // was created; set here, it holds for a window reused by another owner too.
    create();
    QWidget *ownerWindow = owner ? owner->window() : nullptr;
    windowHandle()->setTransientParent(ownerWindow ? ownerWindow->windowHandle() : nullptr);
}

void frmEditApps::showModal(bool modal, QWidget *owner)
{
    belongTo(owner);
    const Qt::WindowModality modality = modal ? Qt::ApplicationModal : Qt::NonModal;
    if (windowModality() != modality) {
        hide();
        setWindowModality(modality);
    }
    // A window already open stays where the user put it.
    if (!isVisible()) {
        fitToContents();
        if (owner)
            ScreenFit::centreOver(this, owner);
    }
    show();
    raise();
    activateWindow();
    if (!modal)
        return;
    QEventLoop loop;
    connect(this, &frmEditApps::unloaded, &loop, &QEventLoop::quit);
    connect(this, &QObject::destroyed, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::DialogExec);
}

LaunchEntries *frmEditApps::LaunchAppClass() const { return d->apps; }

void frmEditApps::setLaunchAppClass(LaunchEntries *apps)
{
    if (LaunchEntries *served = std::exchange(d->apps, apps); served && served != apps)
        served->windowClosed();
    FillTree();
}

void frmEditApps::FillTree()
{
    QTreeWidget *tree = d->tvGroup;
    ImageList &images = d->imgExeIcons;
    const QSignalBlocker blocker(tree);
    tree->setUpdatesEnabled(false);
    tree->clear();
    images.clear();
    images.setImageSize(QSize(16, 16));
    const QIcon groupImage = images.icon(images.add(d->groupImage, u"GROUP"_s));
    tree->setIconSize(images.imageSize());

    // Nodes are built detached and added in one go: the view then lays them out only once.
    QList<QTreeWidgetItem *> groupNodes;
    if (const LaunchEntries *apps = d->apps) {
        for (const LaunchEntries::Group &group : apps->groups()) {
            if (group.apps.isEmpty())
                continue;
            auto *groupNode = new EntryNode(group.name, groupImage);
            groupNode->setData(0, TagRole, groupTag);
            QList<QTreeWidgetItem *> appNodes;
            appNodes.reserve(group.apps.size());
            for (const LaunchEntries::App &app : group.apps) {
                const int image = images.add(app.icon.isNull() ? d->appImage : app.icon);
                appNodes.append(new EntryNode(app.name, images.icon(image), app.path));
            }
            groupNode->addChildren(appNodes);
            groupNodes.append(groupNode);
        }
    }
    tree->addTopLevelItems(groupNodes);
    // Only the groups open: expandAll() would mark the programs' rows open too, which screen
    // readers then say ("expanded") and which makes the first Left on such a row do nothing.
    for (QTreeWidgetItem *groupNode : std::as_const(groupNodes))
        groupNode->setExpanded(true);

    if (!groupNodes.isEmpty()) // a group is shown only with an entry
        d->announcer->setCurrent(groupNodes.constFirst()->child(0));
    updateButtonsForSelection();
    tree->setUpdatesEnabled(true);
}

void frmEditApps::fitToContents()
{
    // Every name whole and every row shown, up to the screen's width and two thirds of its
    // height; the layout puts the buttons' column and the margins around that, so the tree
    // gives back what they take beyond the screen.
    QTreeWidget *tree = d->tvGroup;
    const int room = ScreenFit::availableSize(this).width();
    QSize most = ScreenFit::share(this, 2, 3);
    most.setWidth(room);
    const QSize least = tree->minimumSize();
    QSize whole = ColumnFit::wholeSize(tree, most).expandedTo(least);
    tree->setMinimumSize(whole);
    if (const int beyond = minimumSizeHint().width() - room; beyond > 0) {
        most.setWidth(std::max(least.width(), whole.width() - beyond));
        tree->setMinimumSize(ColumnFit::wholeSize(tree, most).expandedTo(least));
    }
    const QSize window = minimumSizeHint();
    tree->setMinimumSize(least);
    ScreenFit::resizeWithin(this, window);
}

void frmEditApps::makeCurrent(const QString &group, const QString &app)
{
    QTreeWidget *tree = d->tvGroup;
    const QList<QTreeWidgetItem *> groups = tree->findItems(group, Qt::MatchExactly);
    // A group gone with its last application: another group, never an application.
    QTreeWidgetItem *node = groups.isEmpty() ? tree->topLevelItem(0) : groups.constFirst();
    if (!node)
        return;
    for (int j = 0; j < node->childCount() && !groups.isEmpty() && !app.isEmpty(); ++j) {
        if (node->child(j)->text(0) == app) {
            node = node->child(j);
            break;
        }
    }
    d->announcer->setCurrent(node);
    tree->scrollToItem(node);
}

void frmEditApps::keepCurrentInSight(QTreeWidgetItem *groupNode)
{
    // The current application is hidden in the group closed over it: the group takes its
    // place, so that Edit and Delete never act on a node the user cannot see.
    QTreeWidgetItem *current = d->tvGroup->currentItem();
    if (current && current->parent() == groupNode)
        d->announcer->setCurrent(groupNode);
    updateButtonsForSelection();
}

QTreeWidgetItem *frmEditApps::selectedAppNode() const
{
    // What the user sees selected: a node of an open group, highlighted.
    QTreeWidgetItem *node = d->tvGroup->currentItem();
    if (!node || isGroupNode(node) || !node->parent() || !node->parent()->isExpanded() || !node->isSelected())
        return nullptr;
    return node;
}

Result<void> frmEditApps::stored(EntryMessages::Change change, const Selected &entry, const Result<bool> &placed,
                                 const QString &group)
{
    if (!placed) {
        // A text the list cannot hold: the dialog stays open with what the user typed.
        if (placed.error().code() == ErrorCode::InvalidArgument)
            return placed.error();
        d->later = Report{u"msgComponentError"_s,
                          EntryMessages::failed(change, entry.group, entry.app, placed.error())};
    } else if (!*placed) {
        reportLimit(change, group, entry.app);
    }
    return Result<void>();
}

void frmEditApps::report(const QString &objectName, const QString &text)
{
    if (!isLoaded())
        return;
    const Private::BusyScope busy(*d);
    Notice::show(this, objectName, text);
}

void frmEditApps::reportLimit(EntryMessages::Change change, const QString &group, const QString &app)
{
    if (!d->apps)
        return;
    const LaunchEntries &apps = *d->apps;
    const bool groupIsNew = !hasGroup(apps, group);
    d->later = Report{
        u"msgLimitReached"_s,
        EntryMessages::limitReached(change, group, app, groupIsNew, groupIsNew ? apps.maxGroups() : apps.maxApps())};
}

std::optional<frmEditApps::Selected> frmEditApps::selectedEntry() const
{
    const QTreeWidgetItem *node = selectedAppNode();
    if (!isLoaded() || !node || !d->apps)
        return std::nullopt;
    return Selected{node->parent()->text(0), node->text(0)};
}

void frmEditApps::unloadDialogAndFill(const std::optional<Selected> &current)
{
    if (!isLoaded())
        return;
    frmNewApp::Unload();
    FillTree();
    if (current)
        makeCurrent(current->group, current->app);
    if (const std::optional<Report> later = std::exchange(d->later, std::nullopt))
        report(later->objectName, later->text);
}

void frmEditApps::askForFields(TextId caption, const std::optional<frmNewApp::Fields> &prefill,
                               const frmNewApp::Store &store)
{
    const QPointer<frmNewApp> dialog = frmNewApp::Load(this);
    dialog->setWindowTitle(Captions::text(caption));
    dialog->setLaunchAppClass(d->apps);
    // After the component: filling the group list empties the group text.
    if (prefill)
        dialog->setFields(*prefill);
    dialog->setStore([this, store](const frmNewApp::Fields &fields) -> Result<void> {
        // Unloading the window meanwhile lets go of its list.
        if (!d->apps)
            return Result<void>();
        return store(fields);
    });
    dialog->exec();
}

void frmEditApps::AddProgram()
{
    if (!isLoaded())
        return;
    const Private::BusyScope busy(*d);
    std::optional<Selected> current = selectedEntry();
    askForFields(TextId::AddCaption, std::nullopt, [&](const frmNewApp::Fields &fields) {
        const Selected added{fields.group, fields.name};
        current = added;
        return stored(EntryMessages::Change::Add, added, d->apps->add(fields), fields.group);
    });
    unloadDialogAndFill(current);
}

void frmEditApps::EditProgram()
{
    const std::optional<Selected> selected = selectedEntry();
    if (!selected)
        return;
    const Private::BusyScope busy(*d);
    const Result<Entry> now = d->apps->entry(selected->group, selected->app);
    std::optional<Selected> current = selected;
    if (!now) {
        report(u"msgComponentError"_s,
               EntryMessages::failed(EntryMessages::Change::Edit, selected->group, selected->app, now.error()));
    } else {
        askForFields(TextId::EditCaption, *now, [&](const frmNewApp::Fields &edited) {
            const Result<bool> placed = d->apps->edit(selected->group, selected->app, edited);
            // A full group refuses the move and leaves the entry where it was.
            if (placed && *placed)
                current = Selected{edited.group, edited.name};
            return stored(EntryMessages::Change::Edit, *selected, placed, edited.group);
        });
    }
    unloadDialogAndFill(current);
}

void frmEditApps::RemoveProgram()
{
    const std::optional<Selected> selected = selectedEntry();
    if (!selected)
        return;
    const Private::BusyScope busy(*d);
    if (const Result<void> removed = d->apps->remove(selected->group, selected->app); !removed)
        report(u"msgComponentError"_s,
               EntryMessages::failed(EntryMessages::Change::Delete, selected->group, selected->app, removed.error()));
    // The group stays current: a second press of the key, a bounce, deletes nothing more.
    unloadDialogAndFill(Selected{selected->group, QString()});
    if (isLoaded())
        d->tvGroup->setFocus(Qt::OtherFocusReason);
}

void frmEditApps::updateButtonsForSelection()
{
    const bool isApp = selectedAppNode() != nullptr;
    d->cmdEdit->setEnabled(isApp);
    d->cmdRemoveApp->setEnabled(isApp);
}

bool frmEditApps::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == d->tvGroup->viewport()) {
        if (event->type() != QEvent::MouseButtonDblClick)
            return QWidget::eventFilter(watched, event);
        // Only on the application's own row; below the rows a double click does nothing.
        const QPoint at = static_cast<QMouseEvent *>(event)->position().toPoint();
        QTreeWidgetItem *hit = d->tvGroup->itemAt(at);
        if (hit && hit == selectedAppNode()) {
            EditProgram();
            return true;
        }
        return !hit || QWidget::eventFilter(watched, event);
    }
    if (event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, event);
    const auto *key = static_cast<QKeyEvent *>(event);
    if (key->key() == Qt::Key_Escape) {
        close();
        return true;
    }
    if (watched == d->tvGroup && isEditKey(key->key())) {
        EditProgram();
        return true;
    }
    if (KeyRules::clickButtonOnEnter(watched, key))
        return true;
    return QWidget::eventFilter(watched, event);
}

void frmEditApps::keyPressEvent(QKeyEvent *event)
{
    // The window itself has the focus (the controls' keys reach eventFilter first).
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void frmEditApps::closeEvent(QCloseEvent *event)
{
    event->accept();
    if (!isLoaded())
        return;
    // Closed from inside its own event handling: the deletion waits for the event loop.
    detach();
    deleteLater();
}

} // namespace Lanyard
