#pragma once

#include <QDialog>

class DialogForm;
class MainWindow;

// Jumps straight to one of the fourteen device pages.
class Dialog : public QDialog
{
    Q_OBJECT

public:
    explicit Dialog(QWidget *parent = nullptr);
    ~Dialog() override;

    DialogForm *form() const { return ui; }

private slots:
    void on_pushButton_p1_clicked();
    void on_pushButton_p2_clicked();
    void on_pushButton_p3_clicked();
    void on_pushButton_p4_clicked();
    void on_pushButton_p5_clicked();
    void on_pushButton_p6_clicked();
    void on_pushButton_p7_clicked();
    void on_pushButton_p8_clicked();
    void on_pushButton_p9_clicked();
    void on_pushButton_p10_clicked();
    void on_pushButton_p11_clicked();
    void on_pushButton_p12_clicked();
    void on_pushButton_p13_clicked();
    void on_pushButton_p14_clicked();

private:
    void choosePage(int pageIndex);

    DialogForm *ui;
    MainWindow *mainWindow;
};
