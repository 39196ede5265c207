// The yardstick for the station's start-up: the least a Qt window of the same size that
// shows Chinese text costs on this machine.

#include <QApplication>
#include <QLabel>
#include <QMainWindow>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.setFixedSize(1100, 680);
    auto *label = new QLabel(QStringLiteral("无线测温监测系统"), &window);
    window.setCentralWidget(label);
    window.show();
    return app.exec();
}
