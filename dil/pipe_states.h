// The pipe's states and what moves it between them, as one table.
#pragma once

#include <cstdint>
#include <optional>

namespace skiff::dil {

enum class PipeState { Idle, Listening, Calling, Accepting, Connected, Lost };

enum class PipeEvent {
  Listen,        // pipeListen
  PeerCalls,     // the Newton's LR arrived
  Accept,        // pipeAccept
  PeerConfirms,  // the Newton's LA N(R)=0 (or its first LT) after our LR
  AcceptFailed,  // no confirmation in time
  LinkLost,      // LD received, retry limit, line failure
  Disconnect,    // pipeDisconnect or pipeDispose
};

enum class PipeAction {
  None,
  ResetLink,        // fresh MNP endpoint on the open port (opening it again when closed)
  RememberCall,     // keep the Newton's link parameters
  SendLinkRequest,  // our LR, again when the Newton repeats its own
  StartDataPhase,
  CloseLink,        // LD when connected, then the port is closed
};

struct Transition {
  PipeState from;
  PipeEvent event;
  PipeState to;
  PipeAction action;
};

// The row for (state, event); nothing when the event changes nothing in that state.
std::optional<Transition> transitionFor(PipeState state, PipeEvent event);

// The number pipeState answers: 0 idle, 3 listening, 4 a Newton calls, 5 connected, 6 connected with written
// bytes not yet acknowledged, 7 lost.
std::int32_t reportedState(PipeState state, bool outputPending);

}  // namespace skiff::dil
