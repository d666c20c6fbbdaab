// Port paths and record paths are long (/dev/serial/by-id/usb-...-if00-port0) and differ
// at the end as often as at the start: shown cut in the middle, whole in the tooltip, so
// a narrow slot still tells its ports apart and never widens the window.
#pragma once

#include <QComboBox>
#include <QLabel>

// A port list whose current entry is drawn elided in the middle.
class PortComboBox : public QComboBox {
public:
    explicit PortComboBox(QWidget* parent);
    // Wide enough for `chars` average characters, whatever the entries.
    void SetShownChars(int chars);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void FollowCurrent();
};

// A one-line label that shows what fits of its text, elided in the middle; the tooltip
// (set with SetFullText) has it whole.
class ElidedLabel : public QLabel {
public:
    explicit ElidedLabel(QWidget* parent);
    void SetFullText(const QString& text, const QString& toolTip);
    const QString& FullText() const { return m_full; }
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void Elide();
    QString m_full;
};
