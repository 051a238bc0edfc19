#include "platform/widgets/dialogs.h"

#include <QFileDialog>
#include <QFileInfo>
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

QString QtDialogs::saveFileName(QWidget *parent, const QString &title, const QString &suggestedPath,
                                const QString &filter)
{
    // Qt's own dialog rather than the desktop's: its texts can be set, so it speaks Chinese like
    // the rest of the program.
    QFileDialog dialog(parent, title);
    dialog.setObjectName(QStringLiteral("saveFileName"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(filter);
    const QFileInfo suggested(suggestedPath);
    dialog.setDirectory(suggested.absolutePath());
    dialog.selectFile(suggested.fileName());
    dialog.setLabelText(QFileDialog::LookIn, QStringLiteral(u"保存在："));
    dialog.setLabelText(QFileDialog::FileName, QStringLiteral(u"文件名："));
    dialog.setLabelText(QFileDialog::FileType, QStringLiteral(u"保存类型："));
    dialog.setLabelText(QFileDialog::Accept, QStringLiteral(u"保存"));
    dialog.setLabelText(QFileDialog::Reject, QStringLiteral(u"取消"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().constFirst();
}

} // namespace platform
