#include "app/mainwindow.h"
#include "app/windowsetup.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    prepareStationApplication(app);
    int exitCode = 0;
    {
        MainWindow window;
        prepareStationWindow(window);
        window.show();
        exitCode = app.exec();
    }
    return exitCode;
}
