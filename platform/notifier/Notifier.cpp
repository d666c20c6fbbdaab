#include "platform/notifier/Notifier.h"

#include <QFileDialog>
#include <QMessageBox>

void MessageBoxNotifier::Show(QWidget* parent, const QString& title, const QString& text) {
    QMessageBox::information(parent, title, text, QMessageBox::Ok);
}

void MessageBoxNotifier::Warn(QWidget* parent, const QString& title, const QString& text) {
    QMessageBox::warning(parent, title, text, QMessageBox::Ok);
}

void MessageBoxNotifier::WarnWithoutWaiting(QWidget* parent, const QString& title, const QString& text) {
    auto* box = new QMessageBox(QMessageBox::Warning, title, text, QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

bool MessageBoxNotifier::Ask(QWidget* parent, const QString& title, const QString& text) {
    return QMessageBox::question(parent, title, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No) ==
           QMessageBox::Yes;
}

QString MessageBoxNotifier::SaveFileName(QWidget* parent, const QString& caption, const QString& filters,
                                         QString* chosenFilter) {
    return QFileDialog::getSaveFileName(parent, caption, QString(), filters, chosenFilter);
}
