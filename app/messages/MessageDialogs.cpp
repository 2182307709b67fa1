#include "MessageDialogs.h"

#include "ApplyLanguage.h"
#include "ErrorTexts.h"
#include "Texts.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>

namespace px {

void ShowErrorDialog(QWidget* owner, const std::string& text, const Texts& texts)
{
    QDialog dialog(owner);
    dialog.setObjectName("frmErrorMsg");
    dialog.setAccessibleDescription("frmErrorMsg");
    dialog.setWindowTitle("Error Message");
    dialog.setProperty("tag", "3204");
    auto* layout = new QVBoxLayout(&dialog);
    auto* label = new QLabel(QString::fromStdString(text), &dialog);
    label->setObjectName("labErrorMsg");
    label->setAccessibleDescription("labErrorMsg");
    label->setWordWrap(true);
    auto* ok = new QPushButton("&Ok", &dialog);
    ok->setObjectName("CmdErr");
    ok->setAccessibleDescription("CmdErr");
    ok->setProperty("tag", "3084");
    ok->setDefault(true);
    QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
    layout->addWidget(label);
    layout->addWidget(ok, 0, Qt::AlignHCenter);
    ApplyLanguage(&dialog, texts);
    dialog.exec();
}

FrmMsg::FrmMsg(const Texts& texts) : texts_(texts)
{
    setModal(false);
    setObjectName("frmMsg");
    setAccessibleDescription("frmMsg");
    iconLabel_ = new QLabel(this);
    label_ = new QLabel(this);
    label_->setObjectName("labMsg");
    label_->setAccessibleDescription("labMsg");
    label_->setWordWrap(false);
    button_ = new QPushButton("OK", this);
    button_->setObjectName("cmdButton");
    button_->setAccessibleDescription("cmdButton");
    button_->setProperty("tag", "3215");
    connect(button_, &QPushButton::clicked, this, &QDialog::close);
    resize(320, 120);
}

int FrmMsg::IconIndex(int buttons)
{
    switch (buttons & 112) {
    case 16:
        return 0;
    case 32:
        return 1;
    case 64:
        return 3;
    default:
        return 2;
    }
}

QString FrmMsg::LabelText() const
{
    return label_->text();
}

void FrmMsg::ShowMsg(const std::string& prompt, int buttons, const std::string& title)
{
    ApplyLanguage(this, texts_);
    QWidget* owner = QApplication::activeWindow();
    if (owner && owner != this) setFont(owner->font());
    if (isVisible() && remembered_)
        resize(designSize_);
    else {
        designSize_ = size();
        remembered_ = true;
    }
    const QRect screen = QApplication::primaryScreen() ? QApplication::primaryScreen()->geometry()
                                                       : QRect(0, 0, 1024, 768);
    const int maxWidth = screen.width() * 2 / 3;
    const int margin = 12;
    const int iconSize = 32;

    std::string text;
    for (std::size_t i = 0; i < prompt.size(); ++i) {
        if (prompt[i] == '\\' && i + 1 < prompt.size() && (prompt[i + 1] | 0x20) == 'n') {
            text += '\r';
            ++i;
        } else {
            text += prompt[i];
        }
    }
    const QFontMetrics metrics(label_->font());
    const int labelLeft = margin * 2 + iconSize;
    const std::string wrapped =
        AdjustWidth(text, maxWidth - labelLeft - 30, [&](const std::string& s) {
            return metrics.horizontalAdvance(QString::fromStdString(s.substr(s.rfind('\r') + 1)));
        });
    QString shown = QString::fromStdString(wrapped);
    shown.replace('\r', '\n');
    label_->setText(shown);
    label_->adjustSize();

    icon_ = IconIndex(buttons);
    static const QStyle::StandardPixmap kIcons[] = {
        QStyle::SP_MessageBoxCritical, QStyle::SP_MessageBoxQuestion, QStyle::SP_MessageBoxWarning,
        QStyle::SP_MessageBoxInformation};
    iconLabel_->setPixmap(style()->standardIcon(kIcons[icon_]).pixmap(iconSize, iconSize));
    iconLabel_->setGeometry(margin, margin, iconSize, iconSize);

    setWindowTitle(QString::fromStdString(title));
    int width = std::min(label_->width() + labelLeft + margin, maxWidth);
    const int captionWidth = metrics.horizontalAdvance(windowTitle()) + 60;
    if (captionWidth > width && captionWidth < maxWidth) width = captionWidth;
    width = std::max(width, button_->sizeHint().width() + 2 * margin);

    const int textHeight = label_->height();
    int labelTop = margin;
    if (iconSize > textHeight) labelTop = margin + (iconSize - textHeight) / 2;
    label_->move(labelLeft, labelTop);
    const int buttonTop = std::max(labelTop + textHeight, margin + iconSize) + margin;
    button_->adjustSize();
    button_->move((width - button_->width()) / 2, buttonTop);
    resize(width, buttonTop + button_->height() + margin);

    const QRect around = owner && owner != this ? owner->frameGeometry() : screen;
    move(around.center() - QPoint(this->width() / 2, height() / 2));
    show();
    raise();
}

} // namespace px
