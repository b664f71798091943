// Win32 serial port: \\.\COMn, SetCommState raw 8N1 without flow control, overlapped I/O. Reads take what
// has arrived without waiting; waits are on an overlapped WaitCommEvent(EV_RXCHAR) together with the window
// messages (MsgWaitForMultipleObjects), so a wait ends for a byte or a message alike.
#include <windows.h>

#include <algorithm>

#include "core/link_ops.h"
#include "dil/serial.h"

namespace skiff::dil {

namespace {

constexpr DWORD kWriteWaitMs = 3000;  // a write the line does not take in this time has failed
constexpr DWORD kReadWaitMs = 1000;   // an immediate read that does not finish in this time has failed

class Win32Port final : public SerialPort {
 public:
  explicit Win32Port(HANDLE port) : port_(port) {
    readOv_.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    writeOv_.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    eventOv_.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    eventsWork_ = SetCommMask(port_, EV_RXCHAR) != 0;
  }
  ~Win32Port() override {
    // Let the last frame (an LD) leave, but never hang on a line that does not drain.
    for (int waited = 0; waited < 500 && !failed_ && outputQueued() > 0; waited += 5) Sleep(5);
    SetCommMask(port_, 0);  // ends a pending WaitCommEvent
    CancelIo(port_);
    if (eventPending_) {
      DWORD ignored = 0;
      GetOverlappedResult(port_, &eventOv_, &ignored, TRUE);
    }
    CloseHandle(port_);
    CloseHandle(readOv_.hEvent);
    CloseHandle(writeOv_.hEvent);
    CloseHandle(eventOv_.hEvent);
  }

  long readSome(std::span<std::uint8_t> out) override {
    if (failed_) return -1;
    // Only what is known to be there is asked for, so the read completes at once on every implementation
    // (some do wait for a first byte despite the immediate time-outs).
    DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(out.size(), inputQueued()));
    if (wanted == 0) return 0;
    ResetEvent(readOv_.hEvent);
    DWORD got = 0;
    if (!ReadFile(port_, out.data(), wanted, &got, &readOv_)) {
      if (GetLastError() != ERROR_IO_PENDING) return fail();
      if (WaitForSingleObject(readOv_.hEvent, kReadWaitMs) != WAIT_OBJECT_0) {
        CancelIo(port_);
        return fail();
      }
      if (!GetOverlappedResult(port_, &readOv_, &got, FALSE)) return fail();
    }
    return static_cast<long>(got);
  }

  bool writeAll(std::span<const std::uint8_t> bytes) override {
    if (failed_) return false;
    ResetEvent(writeOv_.hEvent);
    DWORD written = 0;
    bool done = WriteFile(port_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, &writeOv_) != 0;
    if (!done && GetLastError() == ERROR_IO_PENDING) {
      if (WaitForSingleObject(writeOv_.hEvent, kWriteWaitMs) == WAIT_OBJECT_0) {
        done = GetOverlappedResult(port_, &writeOv_, &written, FALSE) != 0;
      } else {
        CancelIo(port_);
      }
    }
    if (!done || written != bytes.size()) failed_ = true;
    return !failed_;
  }

  void waitReadable(std::int64_t us) override {
    if (us <= 0 || failed_) return;
    DWORD ms = static_cast<DWORD>(std::max<std::int64_t>((us + 999) / 1000, 1));
    if (eventsWork_ && !eventPending_) {
      ResetEvent(eventOv_.hEvent);
      if (WaitCommEvent(port_, &eventMask_, &eventOv_)) return;  // a byte came already
      if (GetLastError() == ERROR_IO_PENDING) {
        eventPending_ = true;
      } else {
        eventsWork_ = false;  // then a plain timed wait: the port is looked at again after it
      }
    }
    if (inputQueued() > 0) return;  // arrived before the wait began
    if (!eventPending_) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, std::min<DWORD>(ms, 2), QS_ALLINPUT);
      return;
    }
    if (MsgWaitForMultipleObjects(1, &eventOv_.hEvent, FALSE, ms, QS_ALLINPUT) == WAIT_OBJECT_0) {
      DWORD ignored = 0;
      GetOverlappedResult(port_, &eventOv_, &ignored, FALSE);
      eventPending_ = false;
    }
  }

  std::size_t outputQueued() override {
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(port_, &errors, &status)) return 0;
    return status.cbOutQue;
  }

 private:
  std::size_t inputQueued() {
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(port_, &errors, &status)) return 0;
    return status.cbInQue;
  }
  long fail() {
    failed_ = true;
    return -1;
  }

  HANDLE port_;
  OVERLAPPED readOv_{};
  OVERLAPPED writeOv_{};
  OVERLAPPED eventOv_{};
  DWORD eventMask_ = 0;
  bool eventsWork_ = false;
  bool eventPending_ = false;
  bool failed_ = false;
};

}  // namespace

// Windows takes any speed in the port settings; the driver says whether the port has it when it is opened.
bool baudSupported(int baud) { return baud > 0; }

void idleWait(int ms) {
  if (ms > 0) MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(ms), QS_ALLINPUT);
}

std::string systemPortName(std::string_view portName) {
  if (portName.size() >= 4 && portName.substr(0, 3) == "COM") return "\\\\.\\" + std::string(portName);
  return std::string(portName);
}

std::unique_ptr<SerialPort> openSerialPort(std::string_view portName, int baud, PortFailure* failure,
                                           const SerialOptions& options) {
  std::string path = systemPortName(portName);
  HANDLE port = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_FLAG_OVERLAPPED, nullptr);
  if (port == INVALID_HANDLE_VALUE) {
    // Missing (ERROR_FILE_NOT_FOUND), or another program has it (ERROR_ACCESS_DENIED).
    *failure = {code::kPortUnavailable, static_cast<int>(GetLastError())};
    return nullptr;
  }
  SetupComm(port, 8192, 8192);
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!GetCommState(port, &dcb)) {
    const int systemError = static_cast<int>(GetLastError());
    CloseHandle(port);
    *failure = {code::kPortUnavailable, systemError};  // no serial port
    return nullptr;
  }
  dcb.BaudRate = static_cast<DWORD>(baud);
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  dcb.fBinary = TRUE;
  dcb.fParity = FALSE;
  dcb.fOutxCtsFlow = options.hardwareFlowControl ? TRUE : FALSE;
  dcb.fOutxDsrFlow = FALSE;
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  dcb.fRtsControl = options.hardwareFlowControl ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_ENABLE;
  dcb.fDsrSensitivity = FALSE;
  dcb.fOutX = FALSE;
  dcb.fInX = FALSE;
  dcb.fErrorChar = FALSE;
  dcb.fNull = FALSE;
  dcb.fAbortOnError = FALSE;
  if (!SetCommState(port, &dcb)) {
    CloseHandle(port);
    *failure = {code::kBadParameter, 0};  // a speed this port does not have
    return nullptr;
  }
  // A read returns at once with what has arrived; writes give up eventually.
  COMMTIMEOUTS timeouts{};
  timeouts.ReadIntervalTimeout = MAXDWORD;
  timeouts.ReadTotalTimeoutMultiplier = 0;
  timeouts.ReadTotalTimeoutConstant = 0;
  timeouts.WriteTotalTimeoutMultiplier = 0;
  timeouts.WriteTotalTimeoutConstant = 2000;
  SetCommTimeouts(port, &timeouts);
  PurgeComm(port, PURGE_RXCLEAR | PURGE_TXCLEAR | PURGE_RXABORT | PURGE_TXABORT);
  return std::make_unique<Win32Port>(port);
}

}  // namespace skiff::dil
