#include "app/windowsetup.h"

#include "app/applicationtitle.h"

#include <QApplication>
#include <QDebug>
#include <QDir>
#include <QFont>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QMainWindow>
#include <QScreen>
#include <QStatusBar>
#include <QTranslator>
#include <QVector>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace {

struct HeldMessage
{
    QtMsgType type;
    QByteArray category;
    QString text;
};

std::mutex heldLock;
bool holding = false;
QVector<HeldMessage> held;
QtMessageHandler handlerBefore = nullptr;

// One line from what the platform said before Qt gave up: the display it could not reach,
// else its own reason (the plugin loader's only when there is no other), else Qt's first line.
QString platformFailure(const QString &fatal)
{
    QString said;
    for (const HeldMessage &message : qAsConst(held)) {
        if (!message.category.startsWith("qt.qpa"))
            continue;
        if (message.category != "qt.qpa.plugin") {
            said = message.text;
            break;
        }
        if (said.isEmpty())
            said = message.text;
    }
    said = (said.isEmpty() ? fatal.section(QLatin1Char('\n'), 0, 0) : said).trimmed();
    // The X11 platform's words, ending in the display it tried: none when none is set.
    const QString unreachable = QStringLiteral("could not connect to display");
    if (said == unreachable)
        return QStringLiteral("kestro: cannot connect to a display: none is set");
    if (said.startsWith(unreachable + QLatin1Char(' ')))
        return QStringLiteral("kestro: cannot connect to display ") +
               said.mid(unreachable.size() + 1);
    return QStringLiteral("kestro: cannot connect to a display: ") + said;
}

void holdMessage(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    std::unique_lock<std::mutex> lock(heldLock);
    if (!holding) {
        lock.unlock();
        handlerBefore(type, context, text);
        return;
    }
    // Qt aborts once this returns: the one fatal while the application object is made is
    // a platform that cannot start. Nothing is open or written yet that an exit could spoil.
    if (type == QtFatalMsg) {
        std::fprintf(stderr, "%s\n", platformFailure(text).toLocal8Bit().constData());
        std::fflush(stderr);
        std::_Exit(2);
    }
    held.append({type, QByteArray(context.category), text});
}

void releaseMessages()
{
    QVector<HeldMessage> released;
    {
        const std::lock_guard<std::mutex> lock(heldLock);
        if (!holding)
            return;
        holding = false;
        released.swap(held);
    }
    qInstallMessageHandler(handlerBefore);
    for (const HeldMessage &message : qAsConst(released))
        handlerBefore(message.type,
                      QMessageLogContext(nullptr, 0, nullptr, message.category.constData()),
                      message.text);
}

// "qt" is every installed module's catalogue, "qtbase" the one the dialogs need. The default
// locale is the system's: nothing in the station sets another. Qt's own folder on a Debian
// system; beside the program where windeployqt puts them on Windows.
void loadQtTranslations(QApplication &application)
{
    const QLocale locale;
    const QStringList folders = {QLibraryInfo::location(QLibraryInfo::TranslationsPath),
                                 QCoreApplication::applicationDirPath()
                                     + QStringLiteral("/translations")};
    auto *translator = new QTranslator(&application);
    for (const QString &folder : folders) {
        for (const QString &catalogue : {QStringLiteral("qt"), QStringLiteral("qtbase")}) {
            if (translator->load(locale, catalogue, QStringLiteral("_"), folder)) {
                application.installTranslator(translator);
                return;
            }
        }
    }
    delete translator;
    if (locale.language() != QLocale::C && locale.language() != QLocale::English)
        qWarning().noquote() << "no Qt translations for" << locale.name() << "in"
                             << QDir::toNativeSeparators(folders.first());
}

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
    {
        const std::lock_guard<std::mutex> lock(heldLock);
        if (!holding)
            handlerBefore = qInstallMessageHandler(holdMessage);
        holding = true;
    }
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
    releaseMessages();
    loadQtTranslations(application);
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
