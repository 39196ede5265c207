#include "navigation/dialog.h"

#include "app/mainwindow.h"
#include "forms/dialogform.h"

Dialog::Dialog(QWidget *parent)
    : QDialog(parent), ui(new DialogForm), mainWindow(qobject_cast<MainWindow *>(parent))
{
    ui->setupUi(this);
}

Dialog::~Dialog()
{
    delete ui;
}

void Dialog::choosePage(int pageIndex)
{
    if (mainWindow)
        mainWindow->showDevicePage(pageIndex);
    close();
}

void Dialog::on_pushButton_p1_clicked() { choosePage(0); }
void Dialog::on_pushButton_p2_clicked() { choosePage(1); }
void Dialog::on_pushButton_p3_clicked() { choosePage(2); }
void Dialog::on_pushButton_p4_clicked() { choosePage(3); }
void Dialog::on_pushButton_p5_clicked() { choosePage(4); }
void Dialog::on_pushButton_p6_clicked() { choosePage(5); }
void Dialog::on_pushButton_p7_clicked() { choosePage(6); }
void Dialog::on_pushButton_p8_clicked() { choosePage(7); }
void Dialog::on_pushButton_p9_clicked() { choosePage(8); }
void Dialog::on_pushButton_p10_clicked() { choosePage(9); }
void Dialog::on_pushButton_p11_clicked() { choosePage(10); }
void Dialog::on_pushButton_p12_clicked() { choosePage(11); }
void Dialog::on_pushButton_p13_clicked() { choosePage(12); }
void Dialog::on_pushButton_p14_clicked() { choosePage(13); }
