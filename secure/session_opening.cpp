#include "secure/session_opening.h"

#include <optional>

namespace skiff::secure {

namespace {
constexpr std::int32_t kWaitPassMs = 20;
}  // namespace

OpeningResult openSecureSession(dock::SessionDriver& driver) {
  dock::Session& session = driver.session();
  const WaitBounds oneRead{dock::kDockIoTimeoutMs, 0, true, 0};
  const std::int32_t opening = driver.waitFor([&] { return session.pastOpeningFrame(); }, oneRead, false);
  if (opening != 0 || session.ended()) return {Opening::Reconnect, 0};
  std::optional<dock::SessionEvent::Kind> how;
  const std::int32_t status = driver.waitFor(
      [&] {
        while (session.hasEvent() && !how) {
          const auto e = session.nextEvent();
          if (e.kind == dock::SessionEvent::Opened || e.kind == dock::SessionEvent::PasswordRejected ||
              e.kind == dock::SessionEvent::Failed || e.kind == dock::SessionEvent::NewtonHungUp)
            how = e.kind;
        }
        return how.has_value();
      },
      WaitBounds{2 * dock::kDockIoTimeoutMs, 0, true, kWaitPassMs}, false);
  if (status != 0) return {Opening::Failed, status};
  if (*how == dock::SessionEvent::PasswordRejected) return {Opening::PasswordRejected, 0};
  if (*how != dock::SessionEvent::Opened) return {Opening::Failed, code::kBadConnection};
  if (session.protocol() < 10) return {Opening::OldNewton, 0};
  return {Opening::Opened, 0};
}

}  // namespace skiff::secure
