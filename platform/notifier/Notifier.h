// Every message box of the programs goes through one notifier: the programs
// show real modal boxes, tests record the texts without a modal loop.
#pragma once

#include <QString>
#include <QStringList>

class QWidget;

class INotifier {
public:
    virtual ~INotifier() = default;
    virtual void Show(QWidget* parent, const QString& title, const QString& text) = 0;
};

class MessageBoxNotifier : public INotifier {
public:
    void Show(QWidget* parent, const QString& title, const QString& text) override;
};

class RecordingNotifier : public INotifier {
public:
    void Show(QWidget*, const QString&, const QString& text) override { messages << text; }
    QStringList messages;
};
