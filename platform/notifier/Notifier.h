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
    // A failure: the warning icon.
    virtual void Warn(QWidget* parent, const QString& title, const QString& text) { Show(parent, title, text); }
    // A failure told while work goes on (other ports of a batch): the box stays open
    // without holding up the caller.
    virtual void WarnWithoutWaiting(QWidget* parent, const QString& title, const QString& text) {
        Warn(parent, title, text);
    }
    // A yes/no question; true for yes.
    virtual bool Ask(QWidget* parent, const QString& title, const QString& text) = 0;
};

class MessageBoxNotifier : public INotifier {
public:
    void Show(QWidget* parent, const QString& title, const QString& text) override;
    void Warn(QWidget* parent, const QString& title, const QString& text) override;
    void WarnWithoutWaiting(QWidget* parent, const QString& title, const QString& text) override;
    bool Ask(QWidget* parent, const QString& title, const QString& text) override;
};

class RecordingNotifier : public INotifier {
public:
    void Show(QWidget*, const QString&, const QString& text) override { messages << text; }
    void Warn(QWidget*, const QString&, const QString& text) override { messages << text, warnings << text; }
    bool Ask(QWidget*, const QString&, const QString& text) override { return questions << text, answer; }
    QStringList messages;
    QStringList warnings;   // also in messages
    QStringList questions;
    bool answer = true;
};
