// The link operations: everything Skiff asks of the link library, with the same arguments and results.
// The engines see only this interface; the real library (dil/) and the test peers implement it.
#pragma once

#include <cstdint>

namespace skiff {

// Opaque pipe object owned by the link library; null means "no pipe".
struct PipeObject;
using PipeHandle = PipeObject*;

// Completion routine of an asynchronous write. It runs from a later pipeIdle once the written bytes have been
// acknowledged by the Newton (or, once the link is gone, with the disconnection code). The package loader's
// routine finds the flag it clears through the reference value and does not look at the status.
using PipeCompletion = void (*)(std::int32_t status, std::intptr_t refCon);

// Result codes. 0 is success; every failure is one of the codes the error table knows.
namespace code {
inline constexpr std::int32_t kOk = 0;
inline constexpr std::int32_t kPortUnavailable = -97;      // port missing or in use
inline constexpr std::int32_t kAborted = -28003;           // operation aborted
inline constexpr std::int32_t kBadConnection = -28009;     // peer broke the protocol
inline constexpr std::int32_t kOutOfMemory = -28017;
inline constexpr std::int32_t kNoResponse = -28029;
inline constexpr std::int32_t kDisconnected = -28030;      // link lost (LD received or dead line)
inline constexpr std::int32_t kDisconnectWhileReading = -28100;
inline constexpr std::int32_t kReadError = -28101;
inline constexpr std::int32_t kToolNotFound = -28102;
inline constexpr std::int32_t kBadToolVersion = -28103;
inline constexpr std::int32_t kAllocation = -28701;
inline constexpr std::int32_t kBadState = -28702;
inline constexpr std::int32_t kException = -28703;
inline constexpr std::int32_t kQueueFull = -28704;
inline constexpr std::int32_t kNotInitialized = -28705;    // pipe never configured
inline constexpr std::int32_t kBadParameter = -28706;
inline constexpr std::int32_t kNotReady = -28707;          // pipe not connected / wrong state
inline constexpr std::int32_t kTimeout = -28708;
}  // namespace code

// Pipe states reported by pipeState.
namespace state {
inline constexpr std::int32_t kIdle = 0;          // configured or never configured, not listening
inline constexpr std::int32_t kListening = 3;     // waiting for a Newton to call
inline constexpr std::int32_t kCalling = 4;       // a Newton's link request arrived; waits for pipeAccept
inline constexpr std::int32_t kConnected = 5;
inline constexpr std::int32_t kOutputBusy = 6;    // connected, an output operation is still in progress
inline constexpr std::int32_t kLost = 7;          // the link was lost (LD received, dead line)
}  // namespace state

// Sides of pipeBytesAvailable and pipeFlush.
namespace side {
inline constexpr int kInput = 1;   // received and not yet read; flush discards it
inline constexpr int kOutput = 2;  // written and not yet acknowledged; flush pushes it out
}  // namespace side

class LinkOps {
 public:
  virtual ~LinkOps() = default;

  virtual void linkStartup() = 0;
  virtual PipeHandle pipeCreate() = 0;
  virtual void linkRegisterApp(PipeHandle pipe, void* instance) = 0;
  // medium "MNP"; extra ""; config "COM1:19200,n,8,1" (or "/dev/ttyUSB0:38400,n,8,1"); port "COM1" or a device path.
  virtual std::int32_t CDPipeInit(PipeHandle pipe, const char* medium, const char* extra, const char* config,
                                  const char* portName, std::int32_t inSize, std::int32_t outSize) = 0;
  virtual std::int16_t pipeListen(PipeHandle pipe, std::int32_t a, std::int32_t b, std::int32_t c) = 0;
  virtual std::int32_t pipeState(PipeHandle pipe) = 0;
  virtual void pipeAccept(PipeHandle pipe) = 0;
  virtual void pipeIdle(PipeHandle pipe) = 0;
  virtual std::int32_t pipeBytesAvailable(PipeHandle pipe, int whichSide, std::int32_t* count) = 0;
  // Blocks until *length bytes have arrived or timeoutMs ran out (-28708, nothing delivered, *length 0).
  virtual std::int16_t pipeRead(PipeHandle pipe, void* buffer, std::int32_t* length, std::uint8_t* endOfMessage,
                                std::int32_t a, std::int32_t b, std::int32_t timeoutMs, PipeCompletion completion,
                                std::intptr_t refCon) = 0;
  // Synchronous without a completion routine; queued (returns at once) with one.
  virtual std::int16_t pipeWrite(PipeHandle pipe, const void* buffer, std::int32_t* length,
                                 std::uint8_t endOfMessage, std::int32_t a, std::int32_t b, std::int32_t timeoutMs,
                                 PipeCompletion completion, std::intptr_t refCon) = 0;
  virtual std::int16_t pipeFlush(PipeHandle pipe, int whichSide) = 0;
  virtual void pipeDisconnect(PipeHandle pipe) = 0;
  virtual void pipeDispose(PipeHandle pipe) = 0;
  virtual void linkShutdown() = 0;
};

}  // namespace skiff
