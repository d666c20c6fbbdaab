#include "FlashSettingsBox.h"

#include <QFontMetrics>
#include <QFormLayout>
#include <cstdio>

FlashSettingsBox::FlashSettingsBox(bool withPort, const QStringList& ports, QWidget* parent)
    : QGroupBox("Serial Port Setting", parent) {
    setObjectName("settingsBox");
    auto* form = new QFormLayout(this);
    if (withPort) {
        m_port = new QComboBox(this);
        m_port->setObjectName("portList");
        m_port->addItems(ports);
        form->addRow("COM:", m_port);
    }
    m_baud = AddList("BaudRate:", "baudList", kFlashBaudRates, "115200");
    m_dataBits = AddList("DataBits:", "dataBitsList", kFlashDataBits, "8");
    m_parity = AddList("Parity:", "parityList", kFlashParities, "NOPARITY");
    m_stopBits = AddList("StopBits:", "stopBitsList", kFlashStopBits, "ONESTOPBIT");
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
    for (QComboBox* list : {m_port, m_baud, m_dataBits, m_parity, m_stopBits})
        if (list) list->setEnabled(!locked);
}

QSize DialogUnits(const QWidget* widget, int x, int y) {
    const QFontMetrics m(widget->font());
    return {x * m.averageCharWidth() / 4, y * m.height() / 8};
}

QStringList PortsFromArguments(const QStringList& arguments) {
    QStringList ports;
    for (int i = 1; i + 1 < arguments.size(); ++i)
        if (arguments[i] == "--port") ports << arguments[++i];
    return ports;
}
