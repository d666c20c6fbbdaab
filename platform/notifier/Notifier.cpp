#include "Notifier.h"

#include <QMessageBox>

void MessageBoxNotifier::Show(QWidget* parent, const QString& title, const QString& text) {
    QMessageBox::information(parent, title, text, QMessageBox::Ok);
}
