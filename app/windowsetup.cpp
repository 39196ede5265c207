#include "app/windowsetup.h"

#include "app/applicationtitle.h"

#include <QApplication>
#include <QFont>
#include <QGridLayout>
#include <QGuiApplication>
#include <QMainWindow>
#include <QScreen>
#include <QStatusBar>

namespace {

// The form is laid out in fixed pixels: full screen it keeps its size, centred on the
// backdrop's own darkest blue rather than stretched or left in a corner.
void centreForm(QMainWindow &window)
{
    QWidget *form = window.takeCentralWidget();
    form->setFixedSize(1100, 680 - window.statusBar()->sizeHint().height());
    auto *frame = new QWidget;
    frame->setObjectName(QStringLiteral("fullScreenFrame"));
    frame->setStyleSheet(QStringLiteral("#fullScreenFrame { background-color: #0d2237; }"));
    auto *layout = new QGridLayout(frame);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(form, 0, 0, Qt::AlignCenter);
    window.setCentralWidget(frame);
}

} // namespace

void prepareStationWindow(QMainWindow &window, bool fullScreen)
{
    if (fullScreen) {
        centreForm(window);
        window.setMinimumSize(1100, 680);
        // A station-only PC may run no window manager to honour the full-screen request.
        window.setGeometry(QGuiApplication::primaryScreen()->geometry());
    } else {
        window.setFixedSize(1100, 680);
    }
    window.setWindowTitle(applicationTitle());
}

void prepareStationPlatform()
{
    // The station draws nothing with OpenGL. Plain raster windows spare it loading and
    // probing the GL driver for its first window, which on X11 is a third of its start-up
    // and a quarter of its memory, and a broken driver on a monitoring PC cannot stop it.
    QCoreApplication::setAttribute(Qt::AA_ForceRasterWidgets);
    // Monitoring PCs run at 150 % or 200 %: the form keeps its logical pixel geometry and
    // the factor is used as it is, not rounded to 1 or 2, so text and panels keep their size.
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(
        Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
    // Images are then drawn from their own pixels at the screen's density, not from a copy
    // first reduced to the logical size.
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
}

void prepareStationApplication(QApplication &application)
{
    QFont font = application.font();
    // Fixed, not the platform's default, so every caption is laid out as checked.
    font.setPointSize(9);
#ifdef Q_OS_WIN
    font.setFamily(QStringLiteral("Microsoft YaHei"));
#else
    // Narrow enough for the clock and headings; Chinese falls back to the CJK face.
    font.setFamily(QStringLiteral("DejaVu Sans"));
    font.setStretch(QFont::SemiCondensed);
#endif
    application.setFont(font);
}
