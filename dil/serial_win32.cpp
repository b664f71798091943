// Win32 serial port: \\.\COMn, SetCommState raw 8N1 without flow control, overlapped reads and writes.
// One read is always outstanding; its event lets a wait return for a byte or a window message alike.
#include <windows.h>

#include <algorithm>
#include <deque>

#include "dil/serial.h"
#include "link/link_ops.h"

namespace skiff::dil {

namespace {

constexpr DWORD kReadChunk = 4096;
constexpr DWORD kWriteWaitMs = 3000;  // a write the line does not take in this time has failed

class Win32Port final : public SerialPort {
 public:
  explicit Win32Port(HANDLE port) : port_(port) {
    readOv_.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    writeOv_.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  }
  ~Win32Port() override {
    // Let the last frame (an LD) leave, but never hang on a line that does not drain.
    for (int waited = 0; waited < 500 && !failed_ && outputQueued() > 0; waited += 5) Sleep(5);
    CancelIo(port_);
    if (readPending_) {
      DWORD ignored = 0;
      GetOverlappedResult(port_, &readOv_, &ignored, TRUE);
    }
    CloseHandle(port_);
    CloseHandle(readOv_.hEvent);
    CloseHandle(writeOv_.hEvent);
  }

  long readSome(std::span<std::uint8_t> out) override {
    for (int round = 0; round < 4 && ready_.size() < out.size() && !failed_; ++round) {
      if (!collectRead()) break;
    }
    if (ready_.empty()) return failed_ ? -1 : 0;
    std::size_t n = std::min(out.size(), ready_.size());
    std::copy_n(ready_.begin(), n, out.begin());
    ready_.erase(ready_.begin(), ready_.begin() + static_cast<long>(n));
    return static_cast<long>(n);
  }

  bool writeAll(std::span<const std::uint8_t> bytes) override {
    if (failed_) return false;
    ResetEvent(writeOv_.hEvent);
    DWORD written = 0;
    if (!WriteFile(port_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, &writeOv_)) {
      if (GetLastError() != ERROR_IO_PENDING) return fail();
      if (WaitForSingleObject(writeOv_.hEvent, kWriteWaitMs) != WAIT_OBJECT_0) {
        CancelIo(port_);
        return fail();
      }
      if (!GetOverlappedResult(port_, &writeOv_, &written, FALSE)) return fail();
    }
    return written == bytes.size() || fail();
  }

  void waitReadable(std::int64_t us) override {
    if (us <= 0 || failed_ || !ready_.empty()) return;
    if (!readPending_ && !startRead()) return;
    if (!readPending_) return;  // completed at once: bytes are there
    DWORD ms = static_cast<DWORD>(std::max<std::int64_t>((us + 999) / 1000, 1));
    MsgWaitForMultipleObjects(1, &readOv_.hEvent, FALSE, ms, QS_ALLINPUT);
  }

  std::size_t outputQueued() override {
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(port_, &errors, &status)) return 0;
    return status.cbOutQue;
  }

 private:
  bool fail() {
    failed_ = true;
    return false;
  }

  // Starts the outstanding read; false when the port failed. A read that completes at once is collected.
  bool startRead() {
    ResetEvent(readOv_.hEvent);
    DWORD got = 0;
    if (ReadFile(port_, buffer_, kReadChunk, &got, &readOv_)) {
      ready_.insert(ready_.end(), buffer_, buffer_ + got);
      readPending_ = false;
      return true;
    }
    if (GetLastError() != ERROR_IO_PENDING) return fail();
    readPending_ = true;
    return true;
  }

  // Takes the bytes of a finished read and starts the next; false when nothing more came now.
  bool collectRead() {
    if (!readPending_) {
      std::size_t before = ready_.size();
      if (!startRead()) return false;
      return ready_.size() > before;
    }
    DWORD got = 0;
    if (!GetOverlappedResult(port_, &readOv_, &got, FALSE)) {
      if (GetLastError() == ERROR_IO_INCOMPLETE) return false;
      return fail();
    }
    readPending_ = false;
    ready_.insert(ready_.end(), buffer_, buffer_ + got);
    return got > 0;
  }

  HANDLE port_;
  OVERLAPPED readOv_{};
  OVERLAPPED writeOv_{};
  std::uint8_t buffer_[kReadChunk];
  bool readPending_ = false;
  bool failed_ = false;
  std::deque<std::uint8_t> ready_;
};

}  // namespace

void idleWait(int ms) {
  if (ms > 0) MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(ms), QS_ALLINPUT);
}

std::string systemPortName(std::string_view portName) {
  if (portName.size() >= 4 && portName.substr(0, 3) == "COM") return "\\\\.\\" + std::string(portName);
  return std::string(portName);
}

std::unique_ptr<SerialPort> openSerialPort(std::string_view portName, int baud, std::int32_t* error) {
  std::string path = systemPortName(portName);
  HANDLE port = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_FLAG_OVERLAPPED, nullptr);
  if (port == INVALID_HANDLE_VALUE) {
    *error = code::kPortUnavailable;  // missing, or another program has it
    return nullptr;
  }
  SetupComm(port, 8192, 8192);
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!GetCommState(port, &dcb)) {
    CloseHandle(port);
    *error = code::kPortUnavailable;
    return nullptr;
  }
  dcb.BaudRate = static_cast<DWORD>(baud);
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  dcb.fBinary = TRUE;
  dcb.fParity = FALSE;
  dcb.fOutxCtsFlow = FALSE;
  dcb.fOutxDsrFlow = FALSE;
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  dcb.fRtsControl = RTS_CONTROL_ENABLE;
  dcb.fDsrSensitivity = FALSE;
  dcb.fOutX = FALSE;
  dcb.fInX = FALSE;
  dcb.fErrorChar = FALSE;
  dcb.fNull = FALSE;
  dcb.fAbortOnError = FALSE;
  if (!SetCommState(port, &dcb)) {
    CloseHandle(port);
    *error = code::kBadParameter;  // a speed this port does not have
    return nullptr;
  }
  // A read returns as soon as a byte is there, or empty after a while; writes give up eventually.
  COMMTIMEOUTS timeouts{};
  timeouts.ReadIntervalTimeout = MAXDWORD;
  timeouts.ReadTotalTimeoutMultiplier = MAXDWORD;
  timeouts.ReadTotalTimeoutConstant = 200;
  timeouts.WriteTotalTimeoutMultiplier = 0;
  timeouts.WriteTotalTimeoutConstant = 2000;
  SetCommTimeouts(port, &timeouts);
  PurgeComm(port, PURGE_RXCLEAR | PURGE_TXCLEAR | PURGE_RXABORT | PURGE_TXABORT);
  return std::make_unique<Win32Port>(port);
}

}  // namespace skiff::dil
