#include "flash/frontend/ElidedText.h"

#include <QAbstractItemView>
#include <QStyleOptionComboBox>
#include <QStylePainter>

PortComboBox::PortComboBox(QWidget* parent) : QComboBox(parent) {
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    SetShownChars(16);
    view()->setTextElideMode(Qt::ElideMiddle);
    connect(this, &QComboBox::currentTextChanged, this, [this] { FollowCurrent(); });
    connect(model(), &QAbstractItemModel::rowsInserted, this, [this] { FollowCurrent(); });
}

void PortComboBox::SetShownChars(int chars) { setMinimumContentsLength(chars); }

void PortComboBox::FollowCurrent() {
    setToolTip(currentText());
    for (int i = 0; i < count(); ++i) setItemData(i, itemText(i), Qt::ToolTipRole);
}

// As QComboBox paints itself, with the entry's text elided to the edit field's width.
void PortComboBox::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    painter.setPen(palette().color(QPalette::Text));
    QStyleOptionComboBox option;
    initStyleOption(&option);
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    const QRect field = style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
    option.currentText = fontMetrics().elidedText(option.currentText, Qt::ElideMiddle, field.width());
    painter.drawControl(QStyle::CE_ComboBoxLabel, option);
}

ElidedLabel::ElidedLabel(QWidget* parent) : QLabel(parent) {
    setProperty("elided", true);  // narrower than its text on purpose: the tooltip has it
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

void ElidedLabel::SetFullText(const QString& text, const QString& toolTip) {
    m_full = text;
    setToolTip(toolTip);
    Elide();
}

QSize ElidedLabel::minimumSizeHint() const { return {0, QLabel::minimumSizeHint().height()}; }

void ElidedLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    Elide();
}

void ElidedLabel::Elide() {
    const QString shown = fontMetrics().elidedText(m_full, Qt::ElideMiddle, contentsRect().width());
    if (shown != text()) setText(shown);
}
