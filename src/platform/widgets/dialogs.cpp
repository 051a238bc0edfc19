#include "platform/widgets/dialogs.h"

#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>

namespace platform {

QString QtDialogs::textPrompt(QWidget *parent, const QString &title, const QString &prompt)
{
    QInputDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("textPrompt"));
    dialog.setWindowTitle(title);
    dialog.setLabelText(prompt);
    dialog.setTextValue(QString());
    dialog.setOkButtonText(QStringLiteral(u"确定"));
    dialog.setCancelButtonText(QStringLiteral(u"取消"));
    dialog.setInputMethodHints(Qt::ImhNone);
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    return dialog.textValue();
}

void QtDialogs::criticalMessage(QWidget *parent, const QString &title, const QString &text)
{
    QMessageBox box(QMessageBox::Critical, title, text, QMessageBox::Ok, parent);
    box.setObjectName(QStringLiteral("criticalMessage"));
    box.button(QMessageBox::Ok)->setText(QStringLiteral(u"确定"));
    box.exec();
}

} // namespace platform
