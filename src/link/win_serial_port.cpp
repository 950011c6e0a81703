// The serial port on Windows, on the system's communications calls: \\.\COMn opened with
// CreateFileW (so COM10 and above open too), 57600 8N1 through GetCommState/SetCommState, the
// read and write time-outs through SetCommTimeouts, PurgeComm, ReadFile, WriteFile, CloseHandle.
// Qt SerialPort for Windows cannot be had here, and these few calls are all the link needs.

#include "link/serial_port.h"

#include <QString>

#include <windows.h>

#include <algorithm>
#include <array>
#include <optional>
#include <vector>

namespace veltra::link {

namespace {

QString systemMessage(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    QString message = n > 0 ? QString::fromWCharArray(text, static_cast<qsizetype>(n)).trimmed()
                            : QStringLiteral("error %1").arg(error);
    LocalFree(text);
    return message;
}

class WinSerialPort final : public SerialPort {
public:
    WinSerialPort() = default;
    ~WinSerialPort() override { close(); }

    bool open(const QString& deviceName) override {
        close();
        m_error.clear();
        if (deviceName.isEmpty()) {
            return false;
        }
        // The device namespace: "COM10" alone would be taken as a file name.
        const QString path = deviceName.startsWith(QLatin1String("\\\\.\\"))
                                 ? deviceName
                                 : QStringLiteral("\\\\.\\") + deviceName;
        m_handle = CreateFileW(reinterpret_cast<const wchar_t*>(path.utf16()),
                               GENERIC_READ | GENERIC_WRITE, 0 /* not shared */, nullptr,
                               OPEN_EXISTING, 0 /* no overlapped I/O */, nullptr);
        if (m_handle == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            m_error = error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION
                          ? QStringLiteral("in use by another program")
                          : systemMessage(error);
            return false;
        }
        return true;
    }

    void close() override {
        if (m_handle != INVALID_HANDLE_VALUE) {
            CloseHandle(m_handle);
            m_handle = INVALID_HANDLE_VALUE;
        }
        m_timeouts.reset();
    }

    [[nodiscard]] bool isOpen() const override { return m_handle != INVALID_HANDLE_VALUE; }
    [[nodiscard]] QString openErrorText() const override { return m_error; }

    bool readLineSettings() override {
        m_dcb = {};
        m_dcb.DCBlength = sizeof m_dcb;
        if (!isOpen() || !GetCommState(m_handle, &m_dcb)) {
            m_error = isOpen() ? systemMessage(GetLastError()) : QString();
            return false;
        }
        return true;
    }

    bool applyLineSettings(const LineSettings& s) override {
        if (!isOpen()) {
            return false;
        }
        // Everything else (flow control, DTR and RTS, XON/XOFF) stays as the driver reported.
        m_dcb.BaudRate = static_cast<DWORD>(s.baud);
        m_dcb.ByteSize = static_cast<BYTE>(s.dataBits);
        m_dcb.Parity = s.parity ? EVENPARITY : NOPARITY;
        m_dcb.StopBits = s.stopBits == 2 ? TWOSTOPBITS : ONESTOPBIT;
        if (!SetCommState(m_handle, &m_dcb)) {
            m_error = systemMessage(GetLastError());
            return false;
        }
        // Receive-character events; the time-outs of the instrument's line (results ignored,
        // as they always were): no interval time-out, 2 ms a byte plus 1000 ms for a read, 500
        // ms for a write.
        SetCommMask(m_handle, EV_RXCHAR);
        COMMTIMEOUTS t{};
        GetCommTimeouts(m_handle, &t);
        t.ReadIntervalTimeout = 0;
        t.ReadTotalTimeoutMultiplier = 2;
        t.ReadTotalTimeoutConstant = 1000;
        t.WriteTotalTimeoutConstant = 500;
        SetCommTimeouts(m_handle, &t);
        m_timeouts = t;
        GetCommState(m_handle, &m_dcb);
        return true;
    }

    std::size_t purge() override {
        if (!isOpen()) {
            return 0;
        }
        // What has arrived is read and counted rather than purged: a byte that came between a
        // look at the queue and PurgeComm would be thrown away unseen, and an answer nobody
        // asked for is the only sign that the line is out of step. Reads that return at once
        // with what is there (an interval time-out of MAXDWORD and no totals); what arrives
        // after the last one stays for the next read. Only the transmit side is purged.
        std::size_t waiting = 0;
        if (m_timeouts) {
            COMMTIMEOUTS now = *m_timeouts;
            now.ReadIntervalTimeout = MAXDWORD;
            now.ReadTotalTimeoutMultiplier = 0;
            now.ReadTotalTimeoutConstant = 0;
            if (SetCommTimeouts(m_handle, &now)) {
                std::array<std::uint8_t, 256> scratch{};
                constexpr int rounds = 64; // a line that never stops babbling
                for (int round = 0; round < rounds; ++round) {
                    DWORD got = 0;
                    if (!ReadFile(m_handle, scratch.data(), static_cast<DWORD>(scratch.size()),
                                  &got, nullptr) ||
                        got == 0) {
                        break;
                    }
                    waiting += got;
                }
                SetCommTimeouts(m_handle, &*m_timeouts);
            }
        }
        PurgeComm(m_handle, PURGE_TXABORT | PURGE_TXCLEAR);
        return waiting;
    }

    std::size_t write(std::span<const std::uint8_t> bytes, int timeout_ms) override {
        if (!isOpen() || bytes.empty() || !useTimeouts(std::nullopt, timeout_ms)) {
            return 0;
        }
        DWORD written = 0;
        if (!WriteFile(m_handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                       nullptr)) {
            ioFailed();
        }
        return written;
    }

    std::size_t read(std::span<std::uint8_t> dest, int timeout_ms) override {
        if (!isOpen() || dest.empty() || !useTimeouts(dest.size(), timeout_ms)) {
            return 0;
        }
        DWORD got = 0;
        // A time-out is a read that returns fewer bytes than asked; an I/O error (the adapter
        // pulled out) leaves the port closed, so the next open tells what became of it.
        if (!ReadFile(m_handle, dest.data(), static_cast<DWORD>(dest.size()), &got, nullptr)) {
            ioFailed();
        }
        return got;
    }

private:
    // The read's time-out as the line's rule (2 ms a byte plus a constant) when it is that rule,
    // else as a constant; the write's as a constant. Set only when they change.
    bool useTimeouts(std::optional<std::size_t> readBytes, int timeout_ms) {
        if (!m_timeouts) {
            return false;
        }
        COMMTIMEOUTS t = *m_timeouts;
        if (readBytes) {
            const auto perByte = static_cast<int>(2 * *readBytes);
            const bool lineRule = timeout_ms >= perByte;
            t.ReadTotalTimeoutMultiplier = lineRule ? 2 : 0;
            t.ReadTotalTimeoutConstant =
                static_cast<DWORD>(lineRule ? timeout_ms - perByte : std::max(timeout_ms, 1));
        } else {
            t.WriteTotalTimeoutConstant = static_cast<DWORD>(std::max(timeout_ms, 1));
        }
        if (t.ReadTotalTimeoutMultiplier != m_timeouts->ReadTotalTimeoutMultiplier ||
            t.ReadTotalTimeoutConstant != m_timeouts->ReadTotalTimeoutConstant ||
            t.WriteTotalTimeoutConstant != m_timeouts->WriteTotalTimeoutConstant) {
            if (!SetCommTimeouts(m_handle, &t)) {
                ioFailed();
                return false;
            }
            m_timeouts = t;
        }
        return true;
    }

    void ioFailed() {
        m_error = systemMessage(GetLastError());
        close();
    }

    HANDLE m_handle = INVALID_HANDLE_VALUE;
    DCB m_dcb{};
    std::optional<COMMTIMEOUTS> m_timeouts;
    QString m_error;
};

// HKLM\HARDWARE\DEVICEMAP\SERIALCOMM: one value per serial port the system has, its name the
// driver's device ("\Device\Serial0", "\Device\VCP0") and its data the port ("COM3").
std::vector<std::pair<QString, QString>> registeredPorts() {
    std::vector<std::pair<QString, QString>> ports;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
        ERROR_SUCCESS) {
        return ports;
    }
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        wchar_t data[256];
        DWORD nameLength = 256;
        DWORD dataBytes = sizeof data;
        DWORD type = 0;
        const LONG status = RegEnumValueW(key, i, name, &nameLength, nullptr, &type,
                                          reinterpret_cast<BYTE*>(data), &dataBytes);
        if (status == ERROR_NO_MORE_ITEMS) {
            break;
        }
        if (status != ERROR_SUCCESS || type != REG_SZ) {
            continue;
        }
        ports.emplace_back(
            QString::fromWCharArray(data, static_cast<qsizetype>(dataBytes / sizeof(wchar_t)))
                .remove(QChar(u'\0'))
                .trimmed(),
            QString::fromWCharArray(name, static_cast<qsizetype>(nameLength)));
    }
    RegCloseKey(key);
    return ports;
}

} // namespace

std::unique_ptr<SerialPort> makeSystemSerialPort() {
    return std::make_unique<WinSerialPort>();
}

QStringList systemSerialDevices() {
    QStringList names;
    for (const auto& [port, device] : registeredPorts()) {
        names << port;
    }
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

std::optional<SerialDeviceInfo> describeSerialDevice(const QString& path) {
    for (const auto& [port, device] : registeredPorts()) {
        if (port.compare(path, Qt::CaseInsensitive) == 0) {
            return SerialDeviceInfo{port, device, {}, {}};
        }
    }
    return std::nullopt;
}

} // namespace veltra::link
