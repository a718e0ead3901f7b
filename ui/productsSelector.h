#pragma once

#include <QByteArray>
#include <QDialog>
#include <QList>
#include <QString>

class CTitleBar;
class QComboBox;
class QLabel;
class QPushButton;
class VoteSession;
struct ProductRecord;

// The gift selector: one column per shown team with the team's gift picture
// and a drop-down of the room's gifts with their prices, the resulting price
// of one vote, and how gifts of other prices convert into votes. It reads the
// vote session; the window applies a confirmed choice.
class productsSelector : public QDialog
{
    Q_OBJECT

public:
    // A team's gift as confirmed: the catalogue entry standing for it.
    struct Choice
    {
        int team = 0;
        QByteArray productId;
    };

    productsSelector(QWidget *parent, const VoteSession &session);

    // The gift per team (all four, shown or not) when confirmed; a box whose
    // text matches no gift (an empty catalogue) chooses nothing.
    const QList<Choice> &choices() const { return chosen; }

    // The text a catalogue entry has in the drop-downs: "name\r(price瓦币)".
    // Each item carries its product id as data; gifts are told apart by it.
    static QString displayText(const ProductRecord &entry);
    // Where the gift's cached picture is, with slashes, as style sheets want it.
    static QString imagePath(const QByteArray &imageDir, const QByteArray &productId);

    QComboBox *giftBox(int team) const { return boxes[team]; }
    QLabel *giftImage(int team) const { return images[team]; }
    QLabel *priceControl() const { return priceLabel; }
    QPushButton *confirmControl() const { return confirmButton; }
    CTitleBar *titleControl() const { return titleBar; }

    // A gift's picture reached the cache: the columns showing it show it now.
    void pictureArrived(const QByteArray &productId);

public slots:
    void on_cancel_clicked();
    void on_ok_clicked();
    void on_producket1_changed();
    void on_producket2_changed();
    void on_producket3_changed();
    void on_producket4_changed();

private:
    QWidget *buildColumn(int team);
    void fillBoxes();
    void updatePrice(qint64 p1, qint64 p2, qint64 p3, qint64 p4);
    void boxChanged(int team);
    // The product id of the box's current item; empty for an empty box.
    QByteArray chosenId(int team) const;
    void showImage(int team, const QByteArray &productId, const QByteArray &imageDir);

    const VoteSession &vote;
    CTitleBar *titleBar = nullptr;
    QPushButton *confirmButton = nullptr;
    QLabel *images[5] = {};
    QByteArray imageIds[5]; // the gift each image stands for
    QComboBox *boxes[5] = {};
    QLabel *priceLabel = nullptr;
    qint64 prices[5] = {};
    QList<Choice> chosen;
};
