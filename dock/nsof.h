// NSOF, the Newton Streamed Object Format (version 2, "Newton Formats"): the form every object travels in over
// the dock protocol. Decoding turns bytes into a Graph and its root; encoding turns a Graph back into bytes. Both
// are pure. The decoder is bounded for any input: nesting deeper than kMaxDepth is an error, no length word is
// believed beyond the bytes that remain, and work and memory grow linearly with the input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "dock/nsof_graph.h"
#include "dock/nsof_node.h"
#include "dock/nsof_text.h"

namespace skiff::nsof {

inline constexpr std::uint8_t kStreamVersion = 2;
// Far deeper than any soup entry; also bounds the encoder, the dump and the comparison, which recurse.
inline constexpr std::size_t kMaxDepth = 256;

struct DecodeError {
  std::size_t offset = 0;  // the byte of the stream where it went wrong
  std::string reason;      // "unknown tag 13", "precedent 9 not yet defined", "bad stream version 1"
  std::string message() const { return reason + " at byte " + std::to_string(offset); }
};

struct Decoded {
  Graph graph;
  Value root;
  std::size_t size = 0;  // bytes the stream took
  std::optional<DecodeError> error;
  bool ok() const { return !error; }
  Node node() const { return graph.node(root); }
};

// One stream that fills `bytes` exactly: bytes left over after its object are an error.
Decoded decode(std::span<const std::uint8_t> bytes);

struct Stream {
  Value root;
  std::size_t offset = 0;  // where it starts in the bytes
  std::size_t size = 0;    // bytes it took
};

struct DecodedStreams {
  Graph graph;  // the objects of every stream
  std::vector<Stream> streams;
  std::optional<DecodeError> error;
  bool ok() const { return !error; }
  Node node(std::size_t i) const { return graph.node(i < streams.size() ? streams[i].root : Value::nil()); }
};

// Streams back to back to the end of `bytes`, each with its own precedents (a "soup" reply holds two).
DecodedStreams decodeAll(std::span<const std::uint8_t> bytes);

struct Encoded {
  std::vector<std::uint8_t> bytes;
  std::string error;  // empty when encoded: else what the graph holds that no stream can carry
  bool ok() const { return error.empty(); }
};

// The stream of `root`: slots and elements in the order the graph holds them, every object written once and
// referred to by precedent after (symbols by name), strings as tag 8 and plain arrays as tag 5. Only tags 0-12
// are written, so a Newton reads every stream it makes.
Encoded encode(const Graph& graph, Value root);

// One line for logs and tests, e.g. {name: "Walter Smith", cats: ['Nothing], uchar: $\u2022}. An object reached
// more than once is shown the first time as #1=... and later as #1, so cycles end.
std::string dump(const Graph& graph, Value root);
inline std::string dump(const Node& node) { return dump(node.graph(), node.value()); }

// Whether two graphs hold the same values: the same shape of shared objects and cycles, slots in the same order,
// symbols equal without regard to case.
bool sameGraph(const Graph& a, Value rootA, const Graph& b, Value rootB);

}  // namespace skiff::nsof
