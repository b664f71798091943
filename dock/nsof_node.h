// A value seen through its graph, for callers that read entries: entry.slot("title").asText(),
// entry.slot("data").element(0).slot("viewBounds").slot("top").asInt(). A missing slot, an element past the
// end, or a question put to the wrong kind of value gives nil or nothing, never a fault, so chains need no checks
// on the way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "dock/nsof_graph.h"

namespace skiff::nsof {

class Node {
 public:
  Node(const Graph& graph, Value value) : graph_(&graph), value_(graph.holds(value) ? value : Value::nil()) {}

  Value value() const { return value_; }
  const Graph& graph() const { return *graph_; }
  const Object* object() const { return value_.isObject() ? &graph_->at(value_.objectId()) : nullptr; }
  bool is(Node other) const { return graph_ == other.graph_ && value_ == other.value_; }  // the same object

  bool isNil() const { return value_.isNil(); }
  bool isTrue() const { return value_.kind() == Value::Kind::True; }
  bool isSymbol() const { return graph_->get<Symbol>(value_) != nullptr; }
  bool isSymbol(std::string_view name) const;  // this symbol, compared without case
  bool isFrame() const { return graph_->get<Frame>(value_) != nullptr; }
  bool isArray() const { return graph_->get<Array>(value_) != nullptr; }
  bool isBinary() const { return graph_->get<Binary>(value_) != nullptr; }
  bool isSmallRect() const { return graph_->get<SmallRect>(value_) != nullptr; }
  bool isLargeBinary() const { return graph_->get<LargeBinary>(value_) != nullptr; }
  bool isText() const;  // a binary of a text class (isTextClass)

  std::optional<std::int32_t> asInt() const;
  std::optional<char16_t> asCharacter() const;
  std::optional<std::string> asText() const;     // a text binary in UTF-8, up to its first 0000
  std::optional<std::u16string> asUtf16() const;  // the same as UTF-16 units
  std::optional<double> asReal() const;           // a binary of class 'real
  std::string_view symbolName() const;            // empty unless a symbol
  std::span<const std::uint8_t> bytes() const;    // of a binary, or a large binary's data
  const LargeBinary* largeBinary() const { return graph_->get<LargeBinary>(value_); }
  std::optional<SmallRect> smallRect() const;

  // The class: of a binary, array or large binary; a frame's `class` slot; else nil.
  Node classOf() const;
  std::string_view className() const { return classOf().symbolName(); }

  // Frames, and small rects as the frames they stand for. Slot names are found without regard to case.
  Node slot(std::string_view name) const;
  bool hasSlot(std::string_view name) const;
  std::size_t slotCount() const;
  std::string_view slotName(std::size_t i) const;  // empty past the end
  Node slotValue(std::size_t i) const;

  // Arrays.
  std::size_t size() const;                 // elements of an array
  Node element(std::size_t i) const;        // nil past the end
  std::vector<Node> elements() const;

 private:
  std::optional<std::size_t> slotIndex(std::string_view name) const;
  const Graph* graph_;
  Value value_;
};

inline Node Graph::node(Value value) const { return Node(*this, value); }

}  // namespace skiff::nsof
