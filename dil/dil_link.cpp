// Placeholder until the MNP link lands: a pipe that is never connected.
#include "dil/dil.h"

namespace skiff {

namespace {

class UnconnectedLink final : public LinkOps {
 public:
  void linkStartup() override {}
  PipeHandle pipeCreate() override { return reinterpret_cast<PipeHandle>(&object_); }
  void linkRegisterApp(PipeHandle, void*) override {}
  std::int32_t CDPipeInit(PipeHandle, const char*, const char*, const char*, const char*, std::int32_t,
                          std::int32_t) override {
    return code::kNotInitialized;
  }
  std::int16_t pipeListen(PipeHandle, std::int32_t, std::int32_t, std::int32_t) override {
    return static_cast<std::int16_t>(code::kNotInitialized);
  }
  std::int32_t pipeState(PipeHandle) override { return state::kIdle; }
  void pipeAccept(PipeHandle) override {}
  void pipeIdle(PipeHandle) override {}
  std::int32_t pipeBytesAvailable(PipeHandle, int, std::int32_t* count) override {
    *count = 0;
    return code::kNotInitialized;
  }
  std::int16_t pipeRead(PipeHandle, void*, std::int32_t* length, std::uint8_t*, std::int32_t, std::int32_t,
                        std::int32_t, PipeCompletion, std::intptr_t) override {
    *length = 0;
    return static_cast<std::int16_t>(code::kNotInitialized);
  }
  std::int16_t pipeWrite(PipeHandle, const void*, std::int32_t*, std::uint8_t, std::int32_t, std::int32_t,
                         std::int32_t, PipeCompletion, std::intptr_t) override {
    return static_cast<std::int16_t>(code::kNotInitialized);
  }
  std::int16_t pipeFlush(PipeHandle, int) override { return static_cast<std::int16_t>(code::kNotInitialized); }
  void pipeDisconnect(PipeHandle) override {}
  void pipeDispose(PipeHandle) override {}
  void linkShutdown() override {}

 private:
  int object_ = 0;
};

}  // namespace

std::unique_ptr<LinkOps> makeDilLink() { return std::make_unique<UnconnectedLink>(); }

}  // namespace skiff
