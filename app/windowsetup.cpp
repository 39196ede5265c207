#include "app/windowsetup.h"

#include "app/applicationtitle.h"

#include <QApplication>
#include <QFont>
#include <QMainWindow>

void prepareStationWindow(QMainWindow &window)
{
    window.setFixedSize(1100, 680);
    window.setWindowTitle(applicationTitle());
}

void prepareStationPlatform()
{
    // The station draws nothing with OpenGL. Plain raster windows spare it loading and
    // probing the GL driver for its first window, which on X11 is a third of its start-up
    // and a quarter of its memory, and a broken driver on a monitoring PC cannot stop it.
    QCoreApplication::setAttribute(Qt::AA_ForceRasterWidgets);
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
