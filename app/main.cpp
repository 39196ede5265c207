#include "app/applicationtitle.h"
#include "app/mainwindow.h"
#include "app/windowsetup.h"

#include <QApplication>
#include <QMessageBox>

int main(int argc, char *argv[])
{
    prepareStationPlatform();
    QApplication app(argc, argv);
    prepareStationApplication(app);
    int exitCode = 0;
    {
        MainWindow window;
        if (!window.isSoleInstance()) {
            QMessageBox::warning(nullptr, applicationTitle(),
                                 QCoreApplication::translate("MainWindow", "程序已在运行"));
            return 1;
        }
        prepareStationWindow(window);
        window.show();
        exitCode = app.exec();
    }
    return exitCode;
}
