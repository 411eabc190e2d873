// SPDX-License-Identifier: MIT
// Renders the three configuration windows to PNG files for the documentation: in English, the
// program list window in German, all three in German at 11 points and in English at 16 points,
// each at the size it opens with. Run on the offscreen platform; QT_SCALE_FACTOR=2 gives the
// high-DPI renderings.
#include "ui/Captions.h"
#include "ui/frmEditApps.h"
#include "ui/frmNewApp.h"
#include "ui/frmPlaceholders.h"

#include <Lanyard/ExternalApps.h>

#include <QApplication>
#include <QDir>
#include <QPainter>
#include <QPainterPath>
#include <QStyleFactory>
#include <QTreeWidget>

#include <functional>

using namespace Lanyard;
using namespace Qt::StringLiterals;

namespace {

// The window's client area under a plain title bar, since the offscreen platform draws no frame.
void save(QWidget *window, const QString &path)
{
    window->show();
    QApplication::processEvents();
    const QPixmap client = window->grab();
    const qreal ratio = client.devicePixelRatio();
    const int titleHeight = 30;
    const QSize size(window->width(), window->height() + titleHeight);

    QImage image(size * ratio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath frame;
    frame.addRoundedRect(QRectF(QPointF(0, 0), size).adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
    painter.setClipPath(frame);
    painter.fillRect(QRect(QPoint(0, 0), size), window->palette().window());
    painter.fillRect(QRect(0, 0, size.width(), titleHeight), QColor(0xeb, 0xeb, 0xeb));
    painter.setPen(QColor(0xd0, 0xd0, 0xd0));
    painter.drawLine(QPointF(0, titleHeight - 0.5), QPointF(size.width(), titleHeight - 0.5));
    QFont bold = window->font();
    bold.setBold(true);
    painter.setFont(bold);
    painter.setPen(QColor(0x2e, 0x34, 0x36));
    painter.drawText(QRect(0, 0, size.width(), titleHeight), Qt::AlignCenter, window->windowTitle());
    painter.drawPixmap(0, titleHeight, client);
    painter.setClipping(false);
    painter.setPen(QColor(0xb8, 0xb8, 0xb8));
    painter.drawPath(frame);
    painter.end();
    image.save(path);
    window->hide();
}

void fillCatalogue(ExternalApps &apps)
{
    apps.setMaxApps(10);
    apps.AddApp(u"Editors"_s, u"Text Editor"_s, u"/usr/bin/gedit"_s, u"%FILE%"_s, false);
    apps.AddApp(u"Editors"_s, u"Nano"_s, u"/bin/nano"_s, u"-w %FILE%"_s, false);
    apps.AddApp(u"Editors"_s, u"Hex View"_s, u"/usr/bin/xxd"_s, u"%FILE%"_s, true);
    apps.AddApp(u"Tools"_s, u"Terminal"_s, u"/usr/bin/xterm"_s, QString(), false);
    apps.AddApp(u"Tools"_s, u"Report"_s, u"/opt/acme/report"_s, u"--user=%USER%"_s, true);
    apps.AddApp(u"Tools"_s, u"Open with default application"_s, u"/usr/bin/xdg-open"_s, u"%FILE%"_s, false);
    apps.AddPlaceHolder(u"%FILE%"_s, u"/home/ann/orders.csv"_s);
    apps.AddPlaceHolder(u"%USER%"_s, u"ann"_s);
    apps.AddPlaceHolder(u"%DATE%"_s, u"2024-05-01"_s);
    apps.AddPlaceHolder(u"%ORDER%"_s, u"A-10442"_s);
    apps.AddPlaceHolder(u"%SELECTION%"_s, u"Deliver to the back door"_s);
}

// Saves the program list window, the application dialog over it (editing an entry) and the
// placeholder picker over that; @p name gives each window's file name from its object name.
void saveAll(ExternalApps &apps, const std::function<QString(const QString &)> &name)
{
    apps.ShowForm();
    save(frmEditApps::instance(), name(u"frmEditApps"_s));

    frmNewApp *dialog = frmNewApp::Load(frmEditApps::instance());
    dialog->setWindowTitle(Captions::text(TextId::EditCaption));
    dialog->setLaunchAppClass(frmEditApps::instance()->LaunchAppClass()); // the catalogue the window shows
    dialog->setFields({u"Editors"_s, u"Nano"_s, u"/bin/nano"_s, u"-w %FILE%"_s, false});
    save(dialog, name(u"frmNewApp"_s));

    frmPlaceholders *picker = frmPlaceholders::Load(dialog);
    picker->setLaunchAppClass(frmEditApps::instance()->LaunchAppClass());
    save(picker, name(u"frmPlaceholders"_s));
    apps.HideForm();
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create(u"Fusion"_s));
    const QStringList args = QApplication::arguments();
    const QDir out(args.value(1, u"docs"_s));
    const QString suffix = args.value(2);
    const auto target = [&](const QString &variant) {
        return [&, variant](const QString &window) { return out.filePath(window + variant + suffix + u".png"_s); };
    };

    ExternalApps apps;
    fillCatalogue(apps);
    saveAll(apps, target(QString()));

    apps.setLanguage(Language::lGerman);
    apps.ShowForm();
    save(frmEditApps::instance(), target(u"-de"_s)(u"frmEditApps"_s));
    apps.HideForm();

    QFont font = QApplication::font();
    font.setPointSize(11);
    QApplication::setFont(font);
    saveAll(apps, target(u"-de-11pt"_s));

    apps.setLanguage(Language::lEnglish);
    font.setPointSize(16);
    QApplication::setFont(font);
    saveAll(apps, target(u"-en-16pt"_s));
    return 0;
}
