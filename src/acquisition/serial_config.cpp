#include "acquisition/serial_config.h"

#include <limits>

SSerialConfig MapCommSetting(const SCommSetting& setting) {
    SSerialConfig cfg;
    // Any rate the driver accepts is passed on, standard or not (e.g. 250000 or 3200000);
    // 0 and rates beyond the port layer's signed range mean "leave it".
    if (setting.m_nBaudRate > 0 &&
        setting.m_nBaudRate <= static_cast<uint32_t>(std::numeric_limits<qint32>::max()))
        cfg.m_nBaudRate = static_cast<qint32>(setting.m_nBaudRate);

    switch (setting.m_nByteSize) {
    case 5:
        cfg.m_DataBits = QSerialPort::Data5;
        break;
    case 6:
        cfg.m_DataBits = QSerialPort::Data6;
        break;
    case 7:
        cfg.m_DataBits = QSerialPort::Data7;
        break;
    case 8:
        cfg.m_DataBits = QSerialPort::Data8;
        break;
    default:
        break;
    }

    switch (setting.m_nParity) {
    case 0:
        cfg.m_Parity = QSerialPort::NoParity;
        break;
    case 1:
        cfg.m_Parity = QSerialPort::OddParity;
        break;
    case 2:
        cfg.m_Parity = QSerialPort::EvenParity;
        break;
    case 3:
        cfg.m_Parity = QSerialPort::MarkParity;
        break;
    case 4:
        cfg.m_Parity = QSerialPort::SpaceParity;
        break;
    default:
        break;
    }
    // Checking follows the code, not whether the code was understood: a port left with its own
    // parity still checks it when the user asked for parity.
    cfg.m_bParityCheck = setting.m_nParity != 0;

    switch (setting.m_nStopBits) {
    case 0:
        cfg.m_StopBits = QSerialPort::OneStop;
        break;
    case 1:
        cfg.m_StopBits = QSerialPort::OneAndHalfStop;
        break;
    case 2:
        cfg.m_StopBits = QSerialPort::TwoStop;
        break;
    default:
        break;
    }
    return cfg;
}
