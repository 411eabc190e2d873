// SPDX-License-Identifier: MIT
// The program list window as a screen reader hears it: Qt's accessibility bridge on a private AT-SPI bus, and a
// listener (atspi-listener.py, libatspi through pyatspi as Orca uses it) in another process that records the
// events the bus carries and asks the window's objects what a screen reader asks. Keys go to the focus widget.
// Runs under xvfb-run and dbus-run-session; without X, a session bus, at-spi2-core or python3-pyatspi every
// case skips and says why.
#include "MemoryEntries.h"
#include "ModalDriver.h"
#include "ui/Captions.h"
#include "ui/frmEditApps.h"
#include "ui/frmNewApp.h"

#include <QAccessible>
#include <QProcess>
#include <QRegularExpression>

using namespace Lanyard;
using namespace UiTest;

namespace {

QTreeWidget *tree() { return frmEditApps::instance()->findChild<QTreeWidget *>("tvGroup"); }

/// Presses @p key and waits until @p done: the bridge hands each key to the accessibility registry first
/// (where a screen reader may take it) and lets the window have it on its answer.
void pressUntil(Qt::Key key, const std::function<bool()> &done)
{
    press(key);
    QVERIFY2(QTest::qWaitFor(done, 5000), qPrintable(QKeySequence(key).toString() + " did not act"));
}

} // namespace

class tst_accessibility : public QObject
{
    Q_OBJECT

    QProcess m_listener;
    QStringList m_heard; // the listener's lines since the last forget
    QString m_missing;
    std::unique_ptr<MemoryEntries> m_apps;

    /// Waits up to @p ms for a line that @p wanted accepts; the window's event loop runs meanwhile, as the
    /// listener's questions need it.
    bool waitFor(const std::function<bool(const QString &)> &wanted, int ms = 10000)
    {
        return QTest::qWaitFor(
                   [&] {
                       while (m_listener.canReadLine())
                           m_heard << QString::fromUtf8(m_listener.readLine()).chopped(1);
                       return std::any_of(m_heard.cbegin(), m_heard.cend(), wanted)
                              || m_listener.state() == QProcess::NotRunning;
                   },
                   ms)
               && std::any_of(m_heard.cbegin(), m_heard.cend(), wanted);
    }
    /// Whether the listener hears "event TYPE DETAIL ROLE NAME"; the lines heard are logged when it does not.
    bool hears(const QString &type, int detail, const QString &role, const QString &name)
    {
        const QString line = QStringList{"event", type, QString::number(detail), role, name}.join('\t');
        if (waitFor([&](const QString &heard) { return heard == line; }))
            return true;
        qWarning().noquote() << "heard:\n" + m_heard.join('\n');
        return false;
    }
    /// The name of the first column's header of the tree, as the listener reads it.
    QString header()
    {
        m_listener.write("header " + tree()->accessibleName().toUtf8() + '\n');
        waitFor([](const QString &line) { return line.startsWith(u"header\t"); });
        return m_heard.filter(QRegularExpression("^header\t")).value(0).section('\t', 1, 1);
    }
    void forget()
    {
        m_listener.readAll();
        m_heard.clear();
    }

    /// Return on Add Program opens the dialog, Escape leaves it, and the focus is back on the button. A loaded X
    /// server may take the activation away after a dialog closes, as a window manager may: the window is then
    /// activated again, as a click would.
    void dialog()
    {
        bool shown = false;
        whenModalShown("frmNewApp", [&](QWidget *) { shown = true, press(Qt::Key_Escape); });
        press(Qt::Key_Return);
        QVERIFY(QTest::qWaitFor([&] { return shown && !frmNewApp::instance(); }, 10000));
        QVERIFY(QTest::qWaitFor(
            [] {
                frmEditApps::instance()->isActiveWindow() ? void() : frmEditApps::instance()->activateWindow();
                return QApplication::focusWidget() && QApplication::focusWidget()->objectName() == u"cmdAddApp";
            },
            10000));
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (QGuiApplication::platformName() != u"xcb")
            return void(m_missing = "Qt's accessibility bridge needs X11: run under xvfb-run");
        if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
            return void(m_missing = "no D-Bus session: run under dbus-run-session");
        // Debian's pyatspi belongs to the system's Python, which a Python of the user's may hide. Asking for the
        // accessibility bus starts at-spi-bus-launcher and the bus; Qt's bridge only waits for it to appear.
        m_listener.start("/usr/bin/python3", {LANYARD_SOURCE_DIR "/tests/ui/atspi-listener.py"});
        if (!waitFor([](const QString &line) { return line == u"ready"; }, 20000))
            return void(m_missing = "the AT-SPI listener did not start (install at-spi2-core and python3-pyatspi): "
                                    + QString::fromLocal8Bit(m_listener.readAllStandardError()));
        QVERIFY2(QTest::qWaitFor([] { return QAccessible::isActive(); }, 10000), "the bridge did not reach the bus");
    }
    void init()
    {
        if (!m_missing.isEmpty())
            QSKIP(qPrintable(m_missing));
    }
    void cleanup()
    {
        frmEditApps::Unload();
        Captions::setLanguage(Language::lEnglish);
        QVERIFY(disarmAll().isEmpty());
    }
    void cleanupTestCase()
    {
        m_listener.closeWriteChannel();
        if (!m_listener.waitForFinished(5000))
            m_listener.kill();
        m_listener.waitForFinished(5000);
    }

    // What a user at the keyboard hears, step by step (steps separated by ";"). "Tab>NAME", "Down>ROW", "Up>ROW",
    // "Left" and "Right" press the key until it acted; "hear:ROLE:NAME" waits for the focus event of that role,
    // "expanded:0|1:ROW" for a group closed or opened; "forget" drops what was heard; "no row" checks that no
    // focus event named the row Text Editor; "dialog" opens the add dialog with Return and leaves it with Escape;
    // "fill" fills the tree again, "focus" gives it the focus; "pass" lets the focus pass through the tree to
    // Edit Program before the window's turn; "header" asks the tree's column header.
    void heard_data()
    {
        QTest::addColumn<Language>("language");
        QTest::addColumn<QString>("steps");
        // The dialog closed, the focus is back on Add Program: no focus event names a row.
        QTest::newRow("button-after-the-dialog")
            << Language::lEnglish
            << "Tab>cmdAddApp;hear:push button:Add Program;forget;dialog;Tab>cmdEdit;"
               "hear:push button:Edit Program;no row";
        // Tab pressed again before the window had its turn: the tree held the focus only in passing.
        QTest::newRow("focus-passing-through-the-tree")
            << Language::lEnglish
            << "Tab>cmdAddApp;forget;pass;Tab>cmdRemoveApp;hear:push button:Delete Program;no row";
        // The row the arrows reach is heard, as the window opens and after a fill with the focus on a button.
        QTest::newRow("rows-as-the-arrows-reach-them")
            << Language::lEnglish
            << "forget;Down>Hex Editor;hear:table cell:Hex Editor;Tab>cmdAddApp;fill;focus;forget;Down>Hex "
               "Editor;hear:table cell:Hex Editor";
        QTest::newRow("groups-closed-and-opened")
            << Language::lEnglish << "Up>Editors;forget;Left;expanded:0:Editors;forget;Right;expanded:1:Editors";
        // The tree's column is named as the window is, in its language, not by its number.
        for (const Language language : {Language::lEnglish, Language::lGerman, Language::lFrench})
            QTest::addRow("column-header-%d", int(language)) << language << "header";
        // An empty list: the tree takes the focus with no row to name, and no row is asked for (Qt would warn).
        QTest::newRow("empty-list") << Language::lEnglish << "focus";
    }
    void heard()
    {
        QFETCH(Language, language);
        QFETCH(QString, steps);
        Captions::setLanguage(language);
        m_apps = std::make_unique<MemoryEntries>();
        if (QTest::currentDataTag() == QByteArray("empty-list"))
            QTest::failOnWarning(QRegularExpression(".*"));
        else
            m_apps->fill(
                {"Editors|Text Editor|/usr/bin/nano", "Editors|Hex Editor|/usr/bin/xxd", "Shells|Shell|/bin/sh"});
        forget();
        frmEditApps::ShowFor(m_apps.get(), 0, nullptr);
        QVERIFY(QTest::qWaitForWindowActive(frmEditApps::instance()));
        QCOMPARE(focusName(), "tvGroup");
        // The tree announces its current row as it takes the focus: the bridge then sends what was asked for.
        if (!m_apps->dump().isEmpty())
            QVERIFY(hears("object:state-changed:focused", 1, "table cell", "Text Editor"));
        for (const QString &step : steps.split(';')) {
            const QString verb = step.section(QRegularExpression("[:>]"), 0, 0), argument = step.section('>', 1);
            if (verb == "Tab")
                pressUntil(Qt::Key_Tab, [&] { return focusName() == argument; });
            else if (verb == "Down" || verb == "Up")
                pressUntil(verb == "Up" ? Qt::Key_Up : Qt::Key_Down,
                           [&] { return tree()->currentItem()->text(0) == argument; });
            else if (verb == "Left" || verb == "Right")
                pressUntil(verb == "Left" ? Qt::Key_Left : Qt::Key_Right,
                           [&] { return tree()->currentItem()->isExpanded() == (verb == "Right"); });
            else if (verb == "hear" || verb == "expanded")
                QVERIFY(verb == "hear"
                            ? hears("object:state-changed:focused", 1, step.section(':', 1, 1), step.section(':', 2))
                            : hears("object:state-changed:expanded", step.section(':', 1, 1).toInt(), "table cell",
                                    step.section(':', 2)));
            else if (verb == "forget")
                forget();
            else if (verb == "no row") // heard in order: all that came before the last event waited for is heard
                QVERIFY2(
                    m_heard
                        .filter(QRegularExpression(
                            "^event\t(focus:|object:state-changed:focused)\t1\t(?!push button)[^\t]*\tText Editor$"))
                        .isEmpty(),
                    qPrintable(m_heard.join('\n')));
            else if (verb == "dialog")
                dialog();
            else if (verb == "fill")
                frmEditApps::instance()->FillTree();
            else if (verb == "focus")
                focusOn(tree());
            else if (verb == "pass")
                tree()->setFocus(Qt::BacktabFocusReason),
                    frmEditApps::instance()->findChild<QWidget *>("cmdEdit")->setFocus(Qt::TabFocusReason);
            else if (verb == "header")
                QCOMPARE(header(), Captions::text(TextId::EditAppsCaption));
            if (QTest::currentTestFailed())
                return;
        }
        QCoreApplication::sendPostedEvents(); // an announcement queued as the focus arrived
    }
};

int main(int argc, char **argv)
{
    // The bridge runs whether or not the desktop says a screen reader is on; it belongs to the X11 platform,
    // so without a display the cases skip on the offscreen one.
    qputenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
    qputenv("QT_QPA_PLATFORM", qEnvironmentVariableIsEmpty("DISPLAY") ? "offscreen" : "xcb");
    QApplication app(argc, argv);
    tst_accessibility test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_accessibility.moc"
