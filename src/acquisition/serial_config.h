#pragma once

#include "acquisition/comm_setting.h"

#include <QSerialPort>

#include <optional>

/// Line parameters of one SCommSetting in the port layer's terms; a value the port layer cannot
/// express is left empty so that the port keeps the configuration it has.
struct SSerialConfig {
    std::optional<qint32> m_nBaudRate;
    std::optional<QSerialPort::DataBits> m_DataBits;
    std::optional<QSerialPort::Parity> m_Parity;
    std::optional<QSerialPort::StopBits> m_StopBits;
    bool m_bParityCheck = false; ///< check the parity of received characters
};

/// Translates the stored setting codes (byte size, parity 0 none 1 odd 2 even 3 mark 4 space,
/// stop bits 0 one 1 one and a half 2 two) into port-layer values.
SSerialConfig MapCommSetting(const SCommSetting& setting);
