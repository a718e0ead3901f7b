#pragma once

#include <QDialog>

class QFrame;
class QPushButton;

// The guide picture shown at every start, in the rectangle where the vote
// window then opens, with one button that dismisses it.
class kivaPlugMeng : public QDialog
{
    Q_OBJECT

public:
    explicit kivaPlugMeng(QWidget *parent);

    QPushButton *knowControl() const { return knowButton; }
    QFrame *pictureControl() const { return picture; }

public slots:
    void on_meng_clicked();

private:
    QPushButton *knowButton = nullptr;
    QFrame *picture = nullptr;
};
