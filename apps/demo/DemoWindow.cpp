// SPDX-License-Identifier: MIT
#include "DemoWindow.h"

#include "DemoFiles.h"
#include "HostPlaceholders.h"
#include "OutputModesMenu.h"
#include "TextView.h"

#include <Lanyard/ExternalApps.h>
#include <Lanyard/ToolsMenu.h>

#include <QActionGroup>
#include <QApplication>
#include <QDateTime>
#include <QDockWidget>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QToolBar>

using namespace Qt::StringLiterals;
using Lanyard::ExternalApps;
using Lanyard::ToolsMenu;
using OutputMode = ToolsMenu::OutputMode;

namespace {

QString entryText(const QString &group, const QString &app) { return group + u" \u203a "_s + app; }

/// A theme icon; themes such as Adwaita keep many only in their symbolic form.
QIcon themeIcon(const QString &name) { return QIcon::fromTheme(name, QIcon::fromTheme(name + u"-symbolic"_s)); }

} // namespace

DemoWindow::DemoWindow(const QString &launchList, QWidget *parent)
    : QMainWindow(parent)
    , m_apps(std::make_unique<ExternalApps>())
    , m_view(new TextView(this))
{
    setObjectName(u"lanyardDemo"_s);
    setWindowIcon(themeIcon(u"accessories-text-editor"_s));
    setCentralWidget(m_view);
    QFont mono(u"DejaVu Sans Mono"_s, 10);
    mono.setStyleHint(QFont::Monospace);
    m_view->setFont(mono);
    createLogPane();
    createOutputPane();
    createMenus();
    createStatusBar();

    // Room for a real tool collection: entries beyond the limits would be left out on loading,
    // and so be missing when the list is written back.
    m_apps->setMaxGroups(64);
    m_apps->setMaxApps(128);
    // The file is read here, so a launch never changes the folder a relative path means.
    m_apps->setEXTFile(QFileInfo(launchList).absoluteFilePath());
    m_outputModes = new OutputModesMenu(m_tools, DemoFiles::outputModesFile(launchList), this);
    m_toolsMenu->insertMenu(m_configure, m_outputModes);
    m_outputModes->load();
    hookUpTools();

    connect(m_view, &TextView::cursorPositionChanged, this, &DemoWindow::updateCursorStatus);
    connect(m_view, &TextView::selectionChanged, this, &DemoWindow::updateCursorStatus);
    connect(m_apps.get(), &ExternalApps::AppFinished, this, [this](const QString &group, const QString &app) {
        logLine(u"media-playback-start"_s, tr("Started %1").arg(entryText(group, app)));
    });
    logLine(u"document-open"_s, tr("Loaded %n tool(s) from %1", nullptr,
                                   [this] {
                                       int count = 0;
                                       for (qint16 g = 0; g < m_apps->GroupCount(); ++g)
                                           count += m_apps->AppCount(g);
                                       return count;
                                   }())
                                    .arg(m_apps->EXTFile()));
    resize(960, 640);
    updateCursorStatus();
}

// Declared here: ExternalApps is complete, and its release writes the launch list.
DemoWindow::~DemoWindow() = default;

void DemoWindow::createMenus()
{
    QMenu *file = menuBar()->addMenu(tr("&File"));
    QAction *open = file->addAction(themeIcon(u"document-open"_s), tr("&Open..."), this, &DemoWindow::chooseFile);
    open->setShortcut(QKeySequence::Open);
    file->addSeparator();
    QAction *quit = file->addAction(themeIcon(u"application-exit"_s), tr("&Quit"), this, &QWidget::close);
    quit->setShortcut(QKeySequence::Quit);

    QMenu *view = menuBar()->addMenu(tr("&View"));
    QAction *showProtected = view->addAction(tr("Show &protected tools"));
    showProtected->setObjectName(u"actionShowProtected"_s);
    showProtected->setCheckable(true);
    view->addAction(findChild<QDockWidget *>(u"logDock"_s)->toggleViewAction());
    view->addAction(findChild<QDockWidget *>(u"outputDock"_s)->toggleViewAction());

    m_toolsMenu = menuBar()->addMenu(tr("&Tools"));
    m_toolsMenu->setObjectName(u"menuTools"_s);
    m_tools = new ToolsMenu(m_apps.get(), m_toolsMenu, this);
    connect(showProtected, &QAction::toggled, m_tools, &ToolsMenu::setShowProtected);
    // Asked right before every launch and when the placeholder picker opens.
    connect(m_apps.get(), &ExternalApps::placeholdersWanted, this, &DemoWindow::registerPlaceholders);
    m_toolsMenu->addSeparator();
    m_configure = m_toolsMenu->addAction(themeIcon(u"preferences-system"_s), tr("&Configure tools..."), this,
                                         &DemoWindow::configureTools);
    m_configure->setObjectName(u"actionConfigureTools"_s);

    QMenu *language = menuBar()->addMenu(tr("&Language"));
    auto *languages = new QActionGroup(this);
    const std::pair<QString, Lanyard::Language> choices[] = {
        {u"English"_s, Lanyard::Language::lEnglish},
        {u"Deutsch"_s, Lanyard::Language::lGerman},
        {u"Fran\u00e7ais"_s, Lanyard::Language::lFrench},
    };
    for (const auto &[name, value] : choices) {
        QAction *action = language->addAction(name);
        action->setCheckable(true);
        action->setData(int(value));
        action->setChecked(value == Lanyard::Language::lEnglish);
        languages->addAction(action);
    }
    connect(languages, &QActionGroup::triggered, this, &DemoWindow::setLanguage);

    QMenu *help = menuBar()->addMenu(tr("&Help"));
    help->addAction(tr("&About Lanyard Demo"), this, [this] {
        QMessageBox::about(this, tr("About Lanyard Demo"),
                           tr("<h3>Lanyard Demo</h3><p>A text viewer that starts external programs "
                              "from a configurable Tools menu, with its current file, cursor and "
                              "selection filled into their command lines.</p>"));
    });

    QToolBar *toolBar = addToolBar(tr("Main"));
    toolBar->setObjectName(u"mainToolBar"_s);
    toolBar->setMovable(false);
    toolBar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    toolBar->addAction(open);
    toolBar->addAction(m_configure);
}

void DemoWindow::createLogPane()
{
    auto *dock = new QDockWidget(tr("Log"), this);
    dock->setObjectName(u"logDock"_s);
    dock->setFeatures(QDockWidget::DockWidgetClosable);
    m_log = new QListWidget(dock);
    m_log->setObjectName(u"log"_s);
    m_log->setUniformItemSizes(true);
    m_log->setIconSize(QSize(16, 16));
    dock->setWidget(m_log);
    addDockWidget(Qt::BottomDockWidgetArea, dock);
    resizeDocks({dock}, {110}, Qt::Vertical);
}

void DemoWindow::createOutputPane()
{
    auto *dock = new QDockWidget(tr("Output"), this);
    dock->setObjectName(u"outputDock"_s);
    dock->setFeatures(QDockWidget::DockWidgetClosable);
    m_output = new QPlainTextEdit(dock);
    m_output->setObjectName(u"outputPane"_s);
    m_output->setReadOnly(true);
    m_output->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_output->setFont(m_view->font());
    m_output->setPlaceholderText(tr("What a tool writes, when its output goes to the pane."));
    dock->setWidget(m_output);
    splitDockWidget(findChild<QDockWidget *>(u"logDock"_s), dock, Qt::Horizontal);
}

void DemoWindow::hookUpTools()
{
    m_tools->setDocumentHooks(
        [this] {
            // No selection: the tool reads the whole text, and a replacement replaces it.
            const QTextCursor cursor = m_view->textCursor();
            return cursor.hasSelection() ? HostPlaceholders::selectionText(cursor) : m_view->toPlainText();
        },
        [this](OutputMode mode, const QString &text) { takeOutput(mode, text); });
    connect(m_tools, &ToolsMenu::launched, this, [this](const QString &group, const QString &app, bool ok) {
        if (!ok)
            logLine(u"dialog-error"_s, tr("Could not start %1").arg(entryText(group, app)));
    });
    connect(m_tools, &ToolsMenu::runFailed, this, [this](const QString &group, const QString &app, const QString &why) {
        logLine(u"dialog-error"_s, tr("%1 failed: %2").arg(entryText(group, app), why));
    });
    connect(m_tools, &ToolsMenu::runFinished, this, [this](const QString &group, const QString &app, int status) {
        logLine(u"emblem-ok"_s, tr("%1 ended with status %2").arg(entryText(group, app)).arg(status));
    });
}

void DemoWindow::takeOutput(OutputMode mode, const QString &text)
{
    QTextCursor cursor = m_view->textCursor();
    switch (mode) {
    case OutputMode::InsertAtCursor:
        cursor.setPosition(cursor.position());
        cursor.insertText(text);
        break;
    case OutputMode::ReplaceSelection:
        if (!cursor.hasSelection())
            cursor.select(QTextCursor::Document);
        cursor.insertText(text);
        break;
    case OutputMode::NewDocument: {
        auto *document = new QPlainTextEdit(this);
        document->setWindowFlag(Qt::Window);
        document->setAttribute(Qt::WA_DeleteOnClose);
        document->setObjectName(u"newDocument"_s);
        document->setWindowTitle(tr("Untitled \u2014 Lanyard Demo"));
        document->setFont(m_view->font());
        document->setPlainText(text);
        document->resize(640, 480);
        m_newDocuments << document;
        document->show();
        break;
    }
    case OutputMode::Pane:
        m_output->setPlainText(text);
        m_output->parentWidget()->show();
        break;
    case OutputMode::Ignore:
    case OutputMode::Clipboard:
        break; // ToolsMenu's own
    }
}

void DemoWindow::createStatusBar()
{
    m_fileStatus = new QLabel(this);
    statusBar()->addWidget(m_fileStatus, 1);
    m_cursorStatus = new QLabel(this);
    statusBar()->addPermanentWidget(m_cursorStatus);
}

bool DemoWindow::openFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        logLine(u"dialog-error"_s, tr("Could not open %1: %2").arg(path, file.errorString()));
        return false;
    }
    m_view->setPlainText(QString::fromUtf8(file.readAll()));
    m_file = QFileInfo(path).absoluteFilePath();
    setWindowTitle(tr("%1 \u2014 Lanyard Demo").arg(QFileInfo(m_file).fileName()));
    m_fileStatus->setText(m_file);
    return true;
}

QString DemoWindow::filePath() const { return m_file; }

Lanyard::ExternalApps *DemoWindow::externalApps() const { return m_apps.get(); }

Lanyard::ToolsMenu *DemoWindow::toolsMenu() const { return m_tools; }

QMenu *DemoWindow::toolsMenuWidget() const { return m_toolsMenu; }

TextView *DemoWindow::textView() const { return m_view; }

QListWidget *DemoWindow::log() const { return m_log; }

QPlainTextEdit *DemoWindow::outputPane() const { return m_output; }

OutputModesMenu *DemoWindow::outputModesMenu() const { return m_outputModes; }

QList<QPlainTextEdit *> DemoWindow::newDocuments() const
{
    QList<QPlainTextEdit *> open;
    for (QPlainTextEdit *document : m_newDocuments) {
        if (document)
            open << document;
    }
    return open;
}

void DemoWindow::registerPlaceholders()
{
    // AddPlaceHolder replaces the value of a search string registered before.
    for (const auto &[search, value] : HostPlaceholders::current(m_file, m_view->textCursor()))
        m_apps->AddPlaceHolder(search, value);
}

void DemoWindow::configureTools() { m_apps->ShowForm(1, this); }

void DemoWindow::chooseFile()
{
    const QString path = QFileDialog::getOpenFileName(this, tr("Open File"), QFileInfo(m_file).absolutePath());
    if (!path.isEmpty())
        openFile(path);
}

void DemoWindow::setLanguage(QAction *action) { m_apps->setLanguage(Lanyard::Language(action->data().toInt())); }

void DemoWindow::updateCursorStatus()
{
    const QTextCursor cursor = m_view->textCursor();
    QString text = tr("Ln %1, Col %2").arg(cursor.blockNumber() + 1).arg(cursor.positionInBlock() + 1);
    if (cursor.hasSelection())
        text += tr(" (%n selected)", nullptr, int(cursor.selectedText().size()));
    m_cursorStatus->setText(text);
}

void DemoWindow::logLine(const QString &iconName, const QString &text)
{
    auto *item = new QListWidgetItem(themeIcon(iconName),
                                     QTime::currentTime().toString(u"HH:mm:ss"_s) + u"   "_s + text, m_log);
    m_log->scrollToItem(item);
}
