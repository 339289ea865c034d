#include "platform/QtMessageBoxes.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace {
QMessageBox::Icon toQtIcon(MsgIcon icon) {
    switch (icon) {
    case MsgIcon::Information:
        return QMessageBox::Information;
    case MsgIcon::Warning:
        return QMessageBox::Warning;
    case MsgIcon::Critical:
        return QMessageBox::Critical;
    case MsgIcon::Question:
        return QMessageBox::Question;
    case MsgIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}
} // namespace

MsgAnswer QtMessageBoxes::show(const QString& text, const QString& title, MsgButtons buttons,
                               MsgIcon icon) {
    QMessageBox box(toQtIcon(icon), title, text, QMessageBox::NoButton,
                    QApplication::activeWindow());
    box.setWindowModality(Qt::ApplicationModal);
    box.setTextFormat(Qt::PlainText);
    if (buttons == MsgButtons::Ok) {
        QPushButton* ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
        box.setDefaultButton(ok);
        box.setEscapeButton(ok);
        box.exec();
        return MsgAnswer::Ok;
    }
    QPushButton* yes = box.addButton(QStringLiteral("Ja"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(QStringLiteral("Nein"), QMessageBox::NoRole);
    box.setDefaultButton(yes);
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes ? MsgAnswer::Yes : MsgAnswer::No;
}
