#include "ui/WidgetFactory.h"

#include <QComboBox>
#include <QEvent>
#include <QGraphicsOpacityEffect>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace WidgetFactory {

namespace {

void applyNumberEditSettings(QLineEdit *edit)
{
    edit->setContextMenuPolicy(Qt::NoContextMenu);
    edit->setValidator(new QIntValidator(1, 9999, edit));
    edit->setToolTip(QStringLiteral("请输入1~9999之间的数值"));
}

// Follows the widget's enabled state with an opacity effect.
class Dimmer : public QObject
{
public:
    explicit Dimmer(QWidget *widget)
        : QObject(widget)
    {
        widget->installEventFilter(this);
        follow(widget);
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::EnabledChange)
            follow(static_cast<QWidget *>(watched));
        return false;
    }

private:
    static void follow(QWidget *widget)
    {
        if (widget->isEnabled()) {
            widget->setGraphicsEffect(nullptr);
            return;
        }
        auto *dim = new QGraphicsOpacityEffect(widget);
        dim->setOpacity(kDimmedOpacity);
        widget->setGraphicsEffect(dim);
    }
};

} // namespace

void dimWhenDisabled(QWidget *widget)
{
    new Dimmer(widget);
}

QRadioButton *radioButton(const QString &style, const QString &text)
{
    auto *button = new QRadioButton;
    button->setText(text);
    button->setFixedSize(80, 16);
    button->setStyleSheet(style);
    return button;
}

QPushButton *sizedButton(const QString &style, const QString &text, int width, int height)
{
    auto *button = new QPushButton;
    button->setFixedSize(width, height);
    button->setText(text);
    button->setStyleSheet(style);
    return button;
}

QString teamBoxText(int index)
{
    static const QString names[] = {QStringLiteral("第一队"), QStringLiteral("第二队"),
                                    QStringLiteral("第三队"), QStringLiteral("第四队")};
    return index >= 1 && index <= 4 ? names[index - 1] : QString();
}

QComboBox *teamBox(const QString &style)
{
    auto *box = new QComboBox;
    box->setFixedSize(80, 20);
    box->setStyleSheet(style);
    box->addItem(teamBoxText(1));
    box->addItem(teamBoxText(2));
    return box;
}

QLineEdit *numberEdit(const QString &style, const QString &placeholder, int width, int height)
{
    auto *edit = new QLineEdit;
    edit->setFixedSize(width, height);
    edit->setStyleSheet(style);
    edit->setPlaceholderText(placeholder);
    applyNumberEditSettings(edit);
    return edit;
}

QLineEdit *valuedNumberEdit(const QString &style, const QString &text, int width, int height)
{
    auto *edit = new QLineEdit;
    edit->setFixedSize(width, height);
    edit->setStyleSheet(style);
    edit->setText(text);
    applyNumberEditSettings(edit);
    return edit;
}

QLabel *smallLabel(const QString &style, const QString &text)
{
    auto *label = new QLabel;
    label->setFixedSize(80, 20);
    label->setText(text);
    label->setStyleSheet(style);
    return label;
}

QLabel *sizedLabel(const QString &style, const QString &text, int width, int height)
{
    auto *label = new QLabel;
    label->setFixedSize(width, height);
    label->setText(text);
    label->setStyleSheet(style);
    return label;
}

QPushButton *iconButton(const QString &style)
{
    auto *button = new QPushButton;
    button->setFixedSize(20, 20);
    button->setStyleSheet(style);
    return button;
}

} // namespace WidgetFactory
