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
    // The file to save to, asked with `filters` ("GPX (*.gpx);;CSV (*.csv)"); empty when
    // the user cancels. `chosenFilter`, when given, gets the filter the user left chosen.
    virtual QString SaveFileName(QWidget* /*parent*/, const QString& /*caption*/, const QString& /*filters*/,
                                 QString* /*chosenFilter*/) {
        return {};
    }
};

class MessageBoxNotifier : public INotifier {
public:
    void Show(QWidget* parent, const QString& title, const QString& text) override;
    void Warn(QWidget* parent, const QString& title, const QString& text) override;
    void WarnWithoutWaiting(QWidget* parent, const QString& title, const QString& text) override;
    bool Ask(QWidget* parent, const QString& title, const QString& text) override;
    QString SaveFileName(QWidget* parent, const QString& caption, const QString& filters,
                         QString* chosenFilter) override;
};

class RecordingNotifier : public INotifier {
public:
    void Show(QWidget*, const QString&, const QString& text) override { messages << text; }
    void Warn(QWidget*, const QString&, const QString& text) override { messages << text, warnings << text; }
    bool Ask(QWidget*, const QString&, const QString& text) override { return questions << text, answer; }
    // Answers with `savePath` and `saveFilter`, as a user who chose them.
    QString SaveFileName(QWidget*, const QString& caption, const QString&, QString* chosenFilter) override {
        questions << caption;
        if (chosenFilter) *chosenFilter = saveFilter;
        return savePath;
    }
    QStringList messages;
    QStringList warnings;   // also in messages
    QStringList questions;
    bool answer = true;
    QString savePath, saveFilter;
};
