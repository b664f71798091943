#include "dil/pipe_states.h"

#include "core/link_ops.h"

namespace skiff::dil {

namespace {

using S = PipeState;
using E = PipeEvent;
using A = PipeAction;

// Everything not listed leaves the state as it is.
constexpr Transition kTable[] = {
    {S::Idle, E::Listen, S::Listening, A::ResetLink},
    {S::Lost, E::Listen, S::Listening, A::ResetLink},
    {S::Listening, E::PeerCalls, S::Calling, A::RememberCall},
    {S::Listening, E::LinkLost, S::Lost, A::None},  // the line failed (hung up, device gone): nobody can call
    {S::Calling, E::PeerCalls, S::Calling, A::RememberCall},  // the Newton calls again: same call
    {S::Calling, E::Accept, S::Accepting, A::SendLinkRequest},
    {S::Accepting, E::PeerCalls, S::Accepting, A::SendLinkRequest},  // it did not hear our LR
    {S::Accepting, E::PeerConfirms, S::Connected, A::StartDataPhase},
    {S::Accepting, E::AcceptFailed, S::Lost, A::None},
    {S::Accepting, E::LinkLost, S::Lost, A::None},
    {S::Calling, E::LinkLost, S::Listening, A::ResetLink},  // an LD before we answered: listen again
    {S::Connected, E::LinkLost, S::Lost, A::None},
    {S::Listening, E::Disconnect, S::Idle, A::CloseLink},
    {S::Calling, E::Disconnect, S::Idle, A::CloseLink},
    {S::Accepting, E::Disconnect, S::Idle, A::CloseLink},
    {S::Connected, E::Disconnect, S::Idle, A::CloseLink},
    {S::Lost, E::Disconnect, S::Idle, A::CloseLink},
    {S::Idle, E::Disconnect, S::Idle, A::CloseLink},
};

}  // namespace

std::optional<Transition> transitionFor(PipeState state, PipeEvent event) {
  for (const auto& row : kTable)
    if (row.from == state && row.event == event) return row;
  return std::nullopt;
}

std::int32_t reportedState(PipeState state, bool outputPending) {
  switch (state) {
    case S::Idle: return skiff::state::kIdle;
    case S::Listening: return skiff::state::kListening;
    case S::Calling:
    case S::Accepting: return skiff::state::kCalling;
    case S::Connected: return outputPending ? skiff::state::kOutputBusy : skiff::state::kConnected;
    case S::Lost: return skiff::state::kLost;
  }
  return skiff::state::kIdle;
}

}  // namespace skiff::dil
