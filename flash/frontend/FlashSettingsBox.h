// The "Serial Port Setting" group both flashing dialogs share: baud rate, data bits,
// parity and stop bits with their defaults, and, in the single-port dialog, the port.
#pragma once

#include <QComboBox>
#include <QGroupBox>
#include <QStringList>

#include "FlashPort.h"

class FlashSettingsBox : public QGroupBox {
public:
    // `withPort`: a port list first in the group.
    FlashSettingsBox(bool withPort, const QStringList& ports, QWidget* parent = nullptr);

    FlashLineSettings Settings() const;  // without the port when there is no port list
    void SetLocked(bool locked);         // lists disabled while a port is open or a run goes
    QComboBox* PortList() const { return m_port; }

private:
    QComboBox* AddList(const char* label, const char* objectName, const std::vector<std::string>& entries,
                       const std::string& selected);

    QComboBox* m_port = nullptr;
    QComboBox* m_baud;
    QComboBox* m_dataBits;
    QComboBox* m_parity;
    QComboBox* m_stopBits;
};

// Dialog units of the dialog's font, as resource templates measure: a quarter of the
// average character width, an eighth of the character height.
QSize DialogUnits(const QWidget* widget, int x, int y);

// Port paths named on the command line with --port; the last one is preselected.
QStringList PortsFromArguments(const QStringList& arguments);
