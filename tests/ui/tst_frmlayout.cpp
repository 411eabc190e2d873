// The three windows as a desktop user meets them: in every language, at 9 to 12 points (and,
// run again with QT_SCALE_FACTOR=2, at 200 %), every caption shows whole at the window's own
// font size, no control is smaller than in the classic layout, none overlaps another, and
// every input is named and described for screen readers.
#include "ui/Captions.h"
#include "ui/frmEditApps.h"
#include "ui/frmNewApp.h"
#include "ui/frmPlaceholders.h"

#include <Lanyard/ExternalApps.h>

#include <QAbstractButton>
#include <QAccessible>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QTreeWidget>

using namespace Lanyard;
using namespace Qt::StringLiterals;

namespace {

// The classic size of each window's client area and of each control, in twips.
const QHash<QString, QSize> kClassicTwips{
    {u"frmEditApps"_s, {4545, 2820}},   {u"tvGroup"_s, {2535, 2535}},      {u"cmdAddApp"_s, {1575, 375}},
    {u"cmdEdit"_s, {1575, 375}},        {u"cmdRemoveApp"_s, {1575, 375}},  {u"frmNewApp"_s, {5535, 4305}},
    {u"lblProgGroup"_s, {2415, 255}},   {u"cboGroup"_s, {2535, 315}},      {u"lblProgName"_s, {2175, 255}},
    {u"txtAppName"_s, {2535, 285}},     {u"cbProtected"_s, {2175, 255}},   {u"lblProgPath"_s, {4335, 255}},
    {u"txtApp"_s, {5055, 285}},         {u"cmdBrowse"_s, {1335, 255}},     {u"lblCmdLine"_s, {2415, 255}},
    {u"txtCmdLine"_s, {5055, 285}},     {u"cmdInsertKeyword"_s, {1335, 255}}, {u"cmdCancel"_s, {1455, 375}},
    {u"cmdOK"_s, {1455, 375}},          {u"frmPlaceholders"_s, {5400, 3000}}, {u"lvPlaceholders"_s, {5160, 2760}},
};

QSize inPixels(const QWidget *widget, QSize twips)
{
    return QSize(qRound(twips.width() * widget->logicalDpiX() / 1440.0),
                 qRound(twips.height() * widget->logicalDpiY() / 1440.0));
}

QString describe(const QWidget *widget)
{
    return u"%1 (%2)"_s.arg(widget->objectName(), widget->property("text").toString());
}

// A caption shows whole, at the window's font size, when its control has the room the style
// asks for it.
void checkCaptionShowsWhole(const QWidget *control, int points)
{
    if (!qobject_cast<const QAbstractButton *>(control) && !qobject_cast<const QLabel *>(control))
        return;
    QCOMPARE(control->font().pointSize(), points);
    const QSize needed = control->sizeHint();
    QVERIFY2(control->width() >= needed.width() && control->height() >= needed.height(),
             qPrintable(u"%1 is %2x%3, its text needs %4x%5"_s.arg(describe(control))
                            .arg(control->width()).arg(control->height()).arg(needed.width()).arg(needed.height())));
}

// A text box is as high as its text; every input is named and described for screen readers.
void checkInput(QWidget *control)
{
    const bool isTextBox = qobject_cast<QLineEdit *>(control) || qobject_cast<QComboBox *>(control);
    if ((!isTextBox && !qobject_cast<QTreeWidget *>(control)) || control->parentWidget()->inherits("QComboBox"))
        return;
    QVERIFY2(!isTextBox || control->height() >= control->sizeHint().height(), qPrintable(control->objectName()));
    QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(control);
    QVERIFY2(!accessible->text(QAccessible::Name).isEmpty(), qPrintable(control->objectName()));
    QCOMPARE(accessible->text(QAccessible::Description), control->toolTip());
}

// The named controls (and @p window itself, first) are no smaller than in the classic layout
// and do not overlap.
void checkClassicRoom(QWidget *window, const QList<QWidget *> &named)
{
    for (QWidget *widget : named) {
        const QSize least = inPixels(widget, kClassicTwips.value(widget->objectName()));
        QVERIFY2(widget->width() >= least.width() && widget->height() >= least.height(),
                 qPrintable(u"%1 is smaller than %2x%3"_s.arg(describe(widget)).arg(least.width()).arg(least.height())));
    }
    for (qsizetype i = 1; i < named.size(); ++i) {
        const QRect one(named[i]->mapTo(window, QPoint()), named[i]->size());
        for (qsizetype j = i + 1; j < named.size(); ++j) {
            const QRect other(named[j]->mapTo(window, QPoint()), named[j]->size());
            QVERIFY2(!one.intersects(other), qPrintable(describe(named[i]) + u" overlaps "_s + describe(named[j])));
        }
    }
}

} // namespace

class tst_frmLayout : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void windowsFitTheirTexts_data()
    {
        QTest::addColumn<Language>("language");
        QTest::addColumn<int>("points");
        for (auto [language, name] : {std::pair{Language::lEnglish, "en"}, {Language::lGerman, "de"},
                                      {Language::lFrench, "fr"}}) {
            for (int points = 9; points <= 12; ++points)
                QTest::addRow("%s-%dpt", name, points) << language << points;
        }
    }

    void windowsFitTheirTexts()
    {
        QFETCH(Language, language);
        QFETCH(int, points);
        QFont font = QApplication::font();
        font.setPointSize(points);
        QApplication::setFont(font);
        ExternalApps apps;
        apps.setLanguage(language);
        apps.AddPlaceHolder(u"%FILE%"_s, u"/home/ann/orders.csv"_s);
        apps.ShowForm();
        frmNewApp *dialog = frmNewApp::Load(frmEditApps::instance());
        dialog->setWindowTitle(Captions::text(TextId::EditCaption));
        dialog->setLaunchAppClass(&apps);
        frmPlaceholders *picker = frmPlaceholders::Load(dialog);
        picker->setLaunchAppClass(&apps);

        for (QWidget *window : {static_cast<QWidget *>(frmEditApps::instance()), static_cast<QWidget *>(dialog),
                                static_cast<QWidget *>(picker)}) {
            window->show();
            QVERIFY(QTest::qWaitForWindowExposed(window));
            QCOMPARE(window->devicePixelRatio(), qEnvironmentVariable("QT_SCALE_FACTOR", u"1"_s).toDouble());
            QList<QWidget *> named{window};
            for (QWidget *control : window->findChildren<QWidget *>()) {
                if (control->window() != window) // a dialog it owns
                    continue;
                if (kClassicTwips.contains(control->objectName()))
                    named.append(control);
                checkCaptionShowsWhole(control, points);
                checkInput(control);
            }
            checkClassicRoom(window, named);
        }
        apps.HideForm();
    }
};

QTEST_MAIN(tst_frmLayout)
#include "tst_frmlayout.moc"
