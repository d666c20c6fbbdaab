#include "flash/frontend/FlashSettingsBox.h"

#include <QFontMetrics>
#include <QEvent>
#include <QFormLayout>
#include <QSettings>
#include <cstdio>

FlashSettingsBox::FlashSettingsBox(const QString& program, bool withPort, const QStringList& ports, QWidget* parent)
    : QGroupBox("Serial Port Setting", parent), m_program(program) {
    setObjectName("settingsBox");
    auto* form = new QFormLayout(this);
    if (withPort) {
        m_port = new PortComboBox(this);
        m_port->setObjectName("portList");
        m_port->addItems(ports);
        form->addRow("COM:", m_port);
    }
    m_baud = AddList("BaudRate:", "baudList", kFlashBaudRates, "115200");
    m_dataBits = AddList("DataBits:", "dataBitsList", kFlashDataBits, "8");
    m_parity = AddList("Parity:", "parityList", kFlashParities, "NOPARITY");
    m_stopBits = AddList("StopBits:", "stopBitsList", kFlashStopBits, "ONESTOPBIT");
    m_operator = AddRemembered("Operator:", "operatorEdit", "operator");
    m_lot = AddRemembered("Lot:", "lotEdit", "lot");
}

QLineEdit* FlashSettingsBox::AddRemembered(const char* label, const char* objectName, const char* key) {
    auto* edit = new QLineEdit(QSettings(m_program, m_program).value(key).toString(), this);
    edit->setObjectName(objectName);
    connect(edit, &QLineEdit::textEdited, this,
            [this, key](const QString& text) { QSettings(m_program, m_program).setValue(key, text); });
    static_cast<QFormLayout*>(layout())->addRow(label, edit);
    return edit;
}

QComboBox* FlashSettingsBox::AddList(const char* label, const char* objectName,
                                     const std::vector<std::string>& entries, const std::string& selected) {
    auto* list = new QComboBox(this);
    list->setObjectName(objectName);
    for (const auto& e : entries) list->addItem(QString::fromStdString(e));
    list->setCurrentText(QString::fromStdString(selected));
    static_cast<QFormLayout*>(layout())->addRow(label, list);
    return list;
}

FlashLineSettings FlashSettingsBox::Settings() const {
    FlashLineSettings s;
    if (m_port) s.port = m_port->currentText().toStdString();
    s.baudRate = m_baud->currentText().toStdString();
    s.dataBits = m_dataBits->currentText().toStdString();
    s.parity = m_parity->currentText().toStdString();
    s.stopBits = m_stopBits->currentText().toStdString();
    return s;
}

void FlashSettingsBox::SetLocked(bool locked) {
    for (QComboBox* list : {static_cast<QComboBox*>(m_port), m_baud, m_dataBits, m_parity, m_stopBits})
        if (list) list->setEnabled(!locked);
    m_operator->setReadOnly(locked);  // a batch's runs carry the names it started with
    m_lot->setReadOnly(locked);
}

QSize DialogUnits(const QWidget* widget, int x, int y) {
    const QFontMetrics m(widget->font());
    return {x * m.averageCharWidth() / 4, y * m.height() / 8};
}

namespace {

class MinimumSizeKeeper : public QObject {
public:
    MinimumSizeKeeper(QWidget* window, QSize size) : QObject(window), m_window(window), m_size(size) { Apply(); }

    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::LayoutRequest) Apply();
        return false;
    }

private:
    void Apply() {
        const QSize needed = m_window->layout() ? m_window->layout()->minimumSize() : QSize();
        m_window->setMinimumSize(m_size.expandedTo(needed));
    }

    QWidget* m_window;
    QSize m_size;
};

}  // namespace

void KeepMinimumSize(QWidget* window, QSize size) {
    window->installEventFilter(new MinimumSizeKeeper(window, size));
}

QStringList PortsFromArguments(const QStringList& arguments) {
    QStringList ports;
    for (int i = 1; i + 1 < arguments.size(); ++i)
        if (arguments[i] == "--port") ports << arguments[++i];
    return ports;
}
