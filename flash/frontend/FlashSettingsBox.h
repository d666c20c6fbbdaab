// The "Serial Port Setting" group both flashing dialogs share: baud rate, data bits,
// parity and stop bits with their defaults, and, in the single-port dialog, the port;
// below them who flashes ("Operator:") and which lot, set once a shift and remembered.
#pragma once

#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QStringList>

#include "flash/core/FlashPort.h"
#include "flash/frontend/ElidedText.h"

class FlashSettingsBox : public QGroupBox {
public:
    // `withPort`: a port list first in the group. The operator and lot are kept in
    // `program`'s settings as they are typed.
    FlashSettingsBox(const QString& program, bool withPort, const QStringList& ports, QWidget* parent = nullptr);

    FlashLineSettings Settings() const;  // without the port when there is no port list
    void SetLocked(bool locked);         // lists disabled while a port is open or a run goes
    QComboBox* PortList() const { return m_port; }
    QString OperatorName() const { return m_operator->text().trimmed(); }
    QString Lot() const { return m_lot->text().trimmed(); }

private:
    QComboBox* AddList(const char* label, const char* objectName, const std::vector<std::string>& entries,
                       const std::string& selected);
    QLineEdit* AddRemembered(const char* label, const char* objectName, const char* key);

    QString m_program;
    PortComboBox* m_port = nullptr;
    QComboBox* m_baud;
    QComboBox* m_dataBits;
    QComboBox* m_parity;
    QComboBox* m_stopBits;
    QLineEdit* m_operator;
    QLineEdit* m_lot;
};

// Dialog units of the dialog's font, as resource templates measure: a quarter of the
// average character width, an eighth of the character height.
QSize DialogUnits(const QWidget* widget, int x, int y);

// Keeps `window` at least `size` and never smaller than its layout needs as that grows
// (a result word, a figure): a window smaller than its layout lays widgets over one
// another.
void KeepMinimumSize(QWidget* window, QSize size);

// Port paths named on the command line with --port; the last one is preselected.
QStringList PortsFromArguments(const QStringList& arguments);
