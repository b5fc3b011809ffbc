#include "platform/win32/Win32SerialDevice.h"

#include <atomic>

#include "platform/win32/SystemText.h"

namespace korvid {

namespace {

void SetReason(std::string* reason, const char* what, DWORD error) {
    if (!reason) return;
    const std::string text = win32::ReasonOf(error);
    *reason = what ? std::string(what) + ": " + text : text;
}

// The port this process holds, for the console handler (one a process, as
// on the other systems).
std::atomic<HANDLE> g_heldPort{INVALID_HANDLE_VALUE};

BOOL WINAPI ReleaseOnEvent(DWORD) {
    const HANDLE port = g_heldPort.exchange(INVALID_HANDLE_VALUE);
    if (port != INVALID_HANDLE_VALUE) {
        // A read or write under way in the main thread ends with the handle.
        (void)::CancelIoEx(port, nullptr);
        (void)::CloseHandle(port);
    }
    return FALSE;  // then the event ends the process as it would have
}

// The claim on a port: a mutex named after its device, which exists while
// a program holds the port (the system drops it with the holder, however
// it ends). Null with the reason when another program holds it.
HANDLE ClaimPort(const std::string& path, DWORD& error) {
    std::wstring device = win32::Widen(path);
    for (wchar_t& c : device)
        if (c == L'\\') c = L'/';
    if (!device.empty()) (void)::CharUpperBuffW(device.data(), DWORD(device.size()));
    const std::wstring name = L"Local\\korvid-serial-port-" + device;
    ::SetLastError(ERROR_SUCCESS);
    const HANDLE claim = ::CreateMutexW(nullptr, FALSE, name.c_str());
    error = ::GetLastError();
    if (claim && error == ERROR_ALREADY_EXISTS) {
        ::CloseHandle(claim);
        error = ERROR_SHARING_VIOLATION;
        return nullptr;
    }
    return claim;
}

}  // namespace

Win32SerialDevice::~Win32SerialDevice() { Close(); }

bool Win32SerialDevice::Open(const std::string& path, std::string* reason) {
    Close();
    DWORD claimError = 0;
    claim_ = ClaimPort(path, claimError);
    if (!claim_) {
        SetReason(reason, nullptr, claimError);
        return false;
    }
    port_ = ::CreateFileW(win32::Widen(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0 /* not shared */, nullptr,
                          OPEN_EXISTING, 0, nullptr);
    if (port_ == INVALID_HANDLE_VALUE) {
        DWORD error = ::GetLastError();
        // A port that another program holds is refused as "access denied":
        // it is busy, not a matter of permissions.
        if (error == ERROR_ACCESS_DENIED) error = ERROR_SHARING_VIOLATION;
        SetReason(reason, nullptr, error);
        Close();
        return false;
    }
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(port_, &dcb)) {
        // A file or a pipe, not a port.
        SetReason(reason, nullptr, ERROR_INVALID_FUNCTION);
        Close();
        return false;
    }
    g_heldPort.store(port_);
    mode_ = ReadMode::None;
    // Input left over from an earlier connection is no answer to this one.
    DiscardInput();
    return true;
}

bool Win32SerialDevice::SetLine(std::uint32_t baud, std::string* reason) {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(port_, &dcb)) {
        SetReason(reason, "GetCommState", ::GetLastError());
        return false;
    }
    dcb.BaudRate = baud;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fAbortOnError = FALSE;
    if (!::SetCommState(port_, &dcb)) {
        SetReason(reason, "SetCommState", ::GetLastError());
        return false;
    }
    // Writes give up after a while rather than hang on a stuck port, as
    // the other side's writes do (20 waits of 100 ms).
    COMMTIMEOUTS t{};
    if (!::GetCommTimeouts(port_, &t)) t = {};
    t.WriteTotalTimeoutMultiplier = 0;
    t.WriteTotalTimeoutConstant = 2000;
    if (!::SetCommTimeouts(port_, &t)) {
        SetReason(reason, "SetCommTimeouts", ::GetLastError());
        return false;
    }
    mode_ = ReadMode::None;
    return SetReadMode(ReadMode::AtOnce, 0) || (SetReason(reason, "SetCommTimeouts", ::GetLastError()), false);
}

// AtOnce: a read returns what has arrived, nothing included. Waiting: a
// read returns what has arrived, or waits up to `timeoutMs` for the first
// byte (the one setting of the read time-outs that does both).
bool Win32SerialDevice::SetReadMode(ReadMode mode, std::uint32_t timeoutMs) {
    if (mode == mode_ && (mode != ReadMode::Waiting || timeoutMs == waitMs_)) return true;
    COMMTIMEOUTS t{};
    if (!::GetCommTimeouts(port_, &t)) return false;
    t.ReadIntervalTimeout = MAXDWORD;
    t.ReadTotalTimeoutMultiplier = mode == ReadMode::Waiting ? MAXDWORD : 0;
    t.ReadTotalTimeoutConstant = mode == ReadMode::Waiting ? timeoutMs : 0;
    if (!::SetCommTimeouts(port_, &t)) return false;
    mode_ = mode;
    waitMs_ = timeoutMs;
    return true;
}

long Win32SerialDevice::Write(const std::uint8_t* data, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        DWORD n = 0;
        const DWORD chunk = size - done > 0x10000 ? 0x10000 : DWORD(size - done);
        if (!::WriteFile(port_, data + done, chunk, &n, nullptr)) return done ? long(done) : -1;
        if (n == 0) break;  // the write time-out: a port that takes nothing
        done += n;
    }
    return long(done);
}

long Win32SerialDevice::Read(std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    std::size_t got = 0;
    if (held_) {
        data[got++] = heldByte_;
        held_ = false;
    }
    if (got == size) return long(got);
    if (!SetReadMode(ReadMode::AtOnce, 0)) return got ? long(got) : -1;
    DWORD n = 0;
    const DWORD want = size - got > 0x10000 ? 0x10000 : DWORD(size - got);
    if (!::ReadFile(port_, data + got, want, &n, nullptr)) return got ? long(got) : -1;
    return long(got + n);
}

void Win32SerialDevice::DiscardInput() {
    held_ = false;
    if (port_ != INVALID_HANDLE_VALUE) (void)::PurgeComm(port_, PURGE_RXCLEAR);
}

void Win32SerialDevice::WaitReadable(std::uint32_t timeoutMs) {
    if (held_ || port_ == INVALID_HANDLE_VALUE) return;
    if (timeoutMs == 0 || timeoutMs == MAXDWORD) timeoutMs = timeoutMs ? MAXDWORD - 1 : 1;
    if (!SetReadMode(ReadMode::Waiting, timeoutMs)) {
        ::Sleep(timeoutMs < 10 ? timeoutMs : 10);
        return;
    }
    DWORD n = 0;
    if (!::ReadFile(port_, &heldByte_, 1, &n, nullptr)) {
        // A failing port: the read that follows reports it; no spin meanwhile.
        ::Sleep(timeoutMs < 10 ? timeoutMs : 10);
        return;
    }
    held_ = n == 1;
}

void Win32SerialDevice::Close() {
    held_ = false;
    mode_ = ReadMode::None;
    if (claim_) ::CloseHandle(claim_);
    claim_ = nullptr;
    if (port_ == INVALID_HANDLE_VALUE) return;
    HANDLE mine = port_;
    // The console handler may have closed it already, at Ctrl-C.
    if (g_heldPort.compare_exchange_strong(mine, INVALID_HANDLE_VALUE)) ::CloseHandle(port_);
    port_ = INVALID_HANDLE_VALUE;
}

void Win32SerialDevice::ReleaseOnConsoleEvents() { (void)::SetConsoleCtrlHandler(ReleaseOnEvent, TRUE); }

}  // namespace korvid
