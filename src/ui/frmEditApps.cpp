#include "frmEditApps.h"

#include "Captions.h"
#include "FitText.h"
#include "Twips.h"
#include "frmNewApp.h"
#include "frmPlaceholders.h"
#include "util/Raise.h"

#include <Lanyard/ComponentError.h>
#include <Lanyard/ExternalApps.h>

#include <QCloseEvent>
#include <QEventLoop>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTreeWidget>

using namespace Qt::StringLiterals;

namespace Lanyard {

namespace {

const QString groupTag = u"ROOT"_s;

bool isGroupNode(const QTreeWidgetItem *node) { return node->data(0, frmEditApps::TagRole).toString() == groupTag; }

bool isEditKey(int key) { return key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space; }

} // namespace

struct frmEditApps::Private
{
    QPointer<ExternalApps> apps;
    ImageList imgExeIcons;
    // Handlers that run a nested event loop; while one runs, unloading defers the deletion.
    int busy = 0;

    QTreeWidget *tvGroup = nullptr;
    QPushButton *cmdAddApp = nullptr;
    QPushButton *cmdEdit = nullptr;
    QPushButton *cmdRemoveApp = nullptr;

    struct BusyScope
    {
        explicit BusyScope(Private &d) : d(d) { ++d.busy; }
        ~BusyScope() { --d.busy; }
        Private &d;
    };

    QPushButton *addButton(QWidget *window, const QString &name)
    {
        auto *button = new QPushButton(window);
        button->setObjectName(name);
        button->setAutoDefault(false);
        return button;
    }

    /// The documented layout at the window's first size; a larger window gives the room to
    /// the tree, and the buttons keep their distance from the right edge.
    void placeControls(QWidget *window)
    {
        const int extraWidth = std::max(0, Twips::toTwipsX(window, window->width()) - clientWidth);
        const int extraHeight = std::max(0, Twips::toTwipsY(window, window->height()) - clientHeight);
        Twips::place(tvGroup, 120, 120, 2535 + extraWidth, 2535 + extraHeight);
        Twips::place(cmdAddApp, 2760 + extraWidth, 240, 1575, 375);
        Twips::place(cmdEdit, 2760 + extraWidth, 720, 1575, 375);
        Twips::place(cmdRemoveApp, 2760 + extraWidth, 1200, 1575, 375);
    }

    static constexpr int clientWidth = 4545;
    static constexpr int clientHeight = 2820;

    void createControls(QWidget *window)
    {
        tvGroup = new QTreeWidget(window);
        tvGroup->setObjectName(u"tvGroup"_s);
        tvGroup->setHeaderHidden(true);
        tvGroup->setColumnCount(1);
        tvGroup->setUniformRowHeights(true);
        tvGroup->setEditTriggers(QAbstractItemView::NoEditTriggers);
        tvGroup->setSelectionMode(QAbstractItemView::SingleSelection);
        tvGroup->setIconSize(imgExeIcons.imageSize());

        cmdAddApp = addButton(window, u"cmdAddApp"_s);
        cmdEdit = addButton(window, u"cmdEdit"_s);
        cmdRemoveApp = addButton(window, u"cmdRemoveApp"_s);
        placeControls(window);

        QWidget::setTabOrder(tvGroup, cmdAddApp);
        QWidget::setTabOrder(cmdAddApp, cmdEdit);
        QWidget::setTabOrder(cmdEdit, cmdRemoveApp);
    }
};

frmEditApps::frmEditApps(QWidget *owner)
    : QWidget(owner, Qt::Window)
    , d(std::make_unique<Private>())
{
    setObjectName(u"frmEditApps"_s);
    Twips::setInitialClientSize(this, Private::clientWidth, Private::clientHeight);
    d->createControls(this);
    applyTexts();

    connect(d->cmdAddApp, &QPushButton::clicked, this, &frmEditApps::AddProgram);
    connect(d->cmdEdit, &QPushButton::clicked, this, &frmEditApps::EditProgram);
    connect(d->cmdRemoveApp, &QPushButton::clicked, this, &frmEditApps::RemoveProgram);
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

void frmEditApps::applyTexts()
{
    setWindowTitle(Captions::text(TextId::EditAppsCaption));
    d->cmdAddApp->setText(Captions::text(TextId::AddProgram));
    d->cmdAddApp->setToolTip(Captions::text(TextId::AddProgramTip));
    d->cmdEdit->setText(Captions::text(TextId::EditProgram));
    d->cmdEdit->setToolTip(Captions::text(TextId::EditProgramTip));
    d->cmdRemoveApp->setText(Captions::text(TextId::DeleteProgram));
    d->cmdRemoveApp->setToolTip(Captions::text(TextId::DeleteProgramTip));
    d->tvGroup->setToolTip(Captions::text(TextId::TreeTip));
    for (QPushButton *button : {d->cmdAddApp, d->cmdEdit, d->cmdRemoveApp})
        FitText::shrinkToFit(button);
}

void frmEditApps::ShowFor(ExternalApps *apps, qint32 modal, QWidget *owner)
{
    if (modal != 0 && modal != 1)
        raiseError(ErrorCode::InvalidArgument);
    frmEditApps *window = loadWith([&] { return new frmEditApps(owner); });
    window->setLaunchAppClass(apps);
    window->showModal(modal == 1, owner);
}

void frmEditApps::Unload()
{
    frmEditApps *window = instance();
    if (!window)
        return;
    window->detach();
    if (window->d->busy > 0)
        window->deleteLater();
    else
        delete window;
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
    d->apps = nullptr;
    hide();
    Q_EMIT unloaded();
}

void frmEditApps::showModal(bool modal, QWidget *owner)
{
    if (parentWidget() != owner)
        setParent(owner, windowFlags());
    const Qt::WindowModality modality = modal ? Qt::ApplicationModal : Qt::NonModal;
    if (windowModality() != modality) {
        hide();
        setWindowModality(modality);
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

ExternalApps *frmEditApps::LaunchAppClass() const { return d->apps; }

void frmEditApps::setLaunchAppClass(ExternalApps *apps)
{
    d->apps = apps;
    FillTree();
}

const ImageList &frmEditApps::imgExeIcons() const { return d->imgExeIcons; }

void frmEditApps::FillTree()
{
    QTreeWidget *tree = d->tvGroup;
    ImageList &images = d->imgExeIcons;
    const QSignalBlocker blocker(tree);
    tree->setUpdatesEnabled(false);
    tree->clear();
    images.clear();
    images.setImageSize(QSize(16, 16));
    const QIcon groupImage = images.icon(images.add(ImageList::resourceIcon(u"GROUP"_s), u"GROUP"_s));
    tree->setIconSize(images.imageSize());

    // Nodes are built detached and added in one go: the view then lays them out only once.
    QList<QTreeWidgetItem *> groupNodes;
    if (ExternalApps *apps = d->apps) {
        const QIcon appImage = ImageList::resourceIcon(u"APP"_s);
        const qint16 groupCount = apps->GroupCount();
        for (qint16 i = 0; i < groupCount; ++i) {
            const QVariant group = QVariant::fromValue(i);
            const qint16 appCount = apps->AppCount(group);
            if (appCount <= 0)
                continue;
            auto *groupNode = new QTreeWidgetItem(QStringList{apps->GroupName(i)});
            groupNode->setIcon(0, groupImage);
            groupNode->setData(0, TagRole, groupTag);
            for (qint16 j = 0; j < appCount; ++j) {
                const QIcon icon = apps->Icon(group, j);
                const int image = images.add(icon.isNull() ? appImage : icon);
                auto *appNode = new QTreeWidgetItem(groupNode, QStringList{apps->ApplicationName(group, j)});
                appNode->setIcon(0, images.icon(image));
            }
            groupNodes.append(groupNode);
        }
    }
    tree->addTopLevelItems(groupNodes);
    tree->expandAll();

    if (!groupNodes.isEmpty() && groupNodes.constFirst()->childCount() > 0)
        tree->setCurrentItem(groupNodes.constFirst()->child(0));
    if (groupNodes.isEmpty()) {
        d->cmdEdit->setEnabled(false);
        d->cmdRemoveApp->setEnabled(false);
    }
    tree->setUpdatesEnabled(true);
}

QTreeWidgetItem *frmEditApps::selectedAppNode() const
{
    QTreeWidgetItem *node = d->tvGroup->currentItem();
    if (!node || isGroupNode(node) || !node->parent())
        return nullptr;
    return node;
}

template<typename Action>
void frmEditApps::guarded(Action &&action)
{
    try {
        action();
    } catch (const ComponentError &error) {
        if (isLoaded())
            showComponentError(error);
    }
}

void frmEditApps::showComponentError(const ComponentError &error)
{
    const Private::BusyScope busy(*d);
    QMessageBox box(QMessageBox::Critical, u"Lanyard"_s,
                    u"%1 (error %2)"_s.arg(error.description()).arg(error.number()), QMessageBox::Ok, this);
    box.setObjectName(u"msgComponentError"_s);
    box.exec();
}

std::optional<frmEditApps::Entry> frmEditApps::selectedEntry() const
{
    const QTreeWidgetItem *node = selectedAppNode();
    if (!isLoaded() || !node || !d->apps)
        return std::nullopt;
    return Entry{node->parent()->text(0), node->text(0)};
}

void frmEditApps::unloadDialogAndFill()
{
    if (!isLoaded())
        return;
    frmNewApp::Unload();
    FillTree();
}

std::optional<frmNewApp::Fields> frmEditApps::askForFields(TextId caption,
                                                          const std::optional<frmNewApp::Fields> &prefill)
{
    const QPointer<frmNewApp> dialog = frmNewApp::Load(this);
    dialog->setWindowTitle(Captions::text(caption));
    dialog->setLaunchAppClass(d->apps);
    // After the component: filling the group list empties the group text.
    if (prefill)
        dialog->setFields(*prefill);
    dialog->exec();
    if (!isLoaded() || !dialog || dialog->Cancel() || !d->apps)
        return std::nullopt;
    return dialog->fields();
}

void frmEditApps::AddProgram()
{
    if (!isLoaded())
        return;
    const Private::BusyScope busy(*d);
    if (const std::optional<frmNewApp::Fields> fields = askForFields(TextId::AddCaption, std::nullopt))
        guarded([&] { d->apps->AddApp(fields->group, fields->name, fields->path, fields->cmdLine, fields->isProtected); });
    unloadDialogAndFill();
}

template<typename Change>
void frmEditApps::changeSelected(Change change)
{
    const std::optional<Entry> entry = selectedEntry();
    if (!entry)
        return;
    const Private::BusyScope busy(*d);
    guarded([&] { change(*d->apps, *entry); });
    unloadDialogAndFill();
}

void frmEditApps::EditProgram()
{
    changeSelected([this](ExternalApps &apps, const Entry &entry) {
        const auto &[group, app] = entry;
        const frmNewApp::Fields current{group, app, apps.AppPath(group, app), apps.CmdLine(group, app),
                                        apps.AppProtected(group, app) != 0};
        if (const std::optional<frmNewApp::Fields> edited = askForFields(TextId::EditCaption, current))
            d->apps->EditApp(group, app, edited->group, edited->name, edited->isProtected, edited->path, edited->cmdLine);
    });
}

void frmEditApps::RemoveProgram()
{
    changeSelected([](ExternalApps &apps, const Entry &entry) { apps.DeleteApp(entry.group, entry.app); });
}

void frmEditApps::updateButtonsForSelection()
{
    const QTreeWidgetItem *node = d->tvGroup->currentItem();
    if (d->tvGroup->topLevelItemCount() == 0 || !node)
        return;
    const bool isApp = !isGroupNode(node);
    d->cmdEdit->setEnabled(isApp);
    d->cmdRemoveApp->setEnabled(isApp);
}

bool frmEditApps::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == d->tvGroup->viewport()) {
        if (event->type() == QEvent::MouseButtonRelease) {
            updateButtonsForSelection();
        } else if (event->type() == QEvent::MouseButtonDblClick && selectedAppNode()) {
            EditProgram();
            return true;
        }
        return QWidget::eventFilter(watched, event);
    }
    if (event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, event);
    const int key = static_cast<QKeyEvent *>(event)->key();
    if (key == Qt::Key_Escape) {
        close();
        return true;
    }
    if (watched == d->tvGroup && isEditKey(key)) {
        EditProgram();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void frmEditApps::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void frmEditApps::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    d->placeControls(this);
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
