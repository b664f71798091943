#include "dock/nsof_node.h"

#include <array>
#include <bit>

#include "dock/nsof_text.h"

namespace skiff::nsof {
namespace {

constexpr std::array<std::string_view, 4> kRectSlots = {"top", "left", "bottom", "right"};

std::uint8_t rectSide(const SmallRect& rect, std::size_t i) {
  const std::array<std::uint8_t, 4> sides = {rect.top, rect.left, rect.bottom, rect.right};
  return sides[i];
}

}  // namespace

bool Node::isSymbol(std::string_view name) const {
  const Symbol* symbol = graph_->get<Symbol>(value_);
  return symbol != nullptr && equalsIgnoringCase(symbol->name, name);
}

bool Node::isText() const { return isBinary() && isTextClass(className()); }

std::optional<std::int32_t> Node::asInt() const {
  if (value_.kind() != Value::Kind::Integer) return std::nullopt;
  return value_.integerValue();
}

std::optional<char16_t> Node::asCharacter() const {
  if (value_.kind() != Value::Kind::Character) return std::nullopt;
  return value_.characterValue();
}

std::optional<std::u16string> Node::asUtf16() const {
  if (!isText()) return std::nullopt;
  return textUnits(graph_->get<Binary>(value_)->bytes);
}

std::optional<std::string> Node::asText() const {
  const auto units = asUtf16();
  if (!units) return std::nullopt;
  return utf8FromUtf16(*units);
}

std::optional<double> Node::asReal() const {
  const Binary* binary = graph_->get<Binary>(value_);
  if (binary == nullptr || binary->bytes.size() != 8 || !classOf().isSymbol("real")) return std::nullopt;
  std::uint64_t bits = 0;
  for (std::uint8_t byte : binary->bytes) bits = bits << 8 | byte;
  return std::bit_cast<double>(bits);
}

std::string_view Node::symbolName() const {
  const Symbol* symbol = graph_->get<Symbol>(value_);
  return symbol != nullptr ? std::string_view(symbol->name) : std::string_view();
}

std::span<const std::uint8_t> Node::bytes() const {
  if (const Binary* binary = graph_->get<Binary>(value_)) return binary->bytes;
  if (const LargeBinary* large = graph_->get<LargeBinary>(value_)) return large->data;
  return {};
}

std::optional<SmallRect> Node::smallRect() const {
  const SmallRect* rect = graph_->get<SmallRect>(value_);
  if (rect == nullptr) return std::nullopt;
  return *rect;
}

Node Node::classOf() const {
  if (const Binary* binary = graph_->get<Binary>(value_)) return Node(*graph_, binary->cls);
  if (const Array* array = graph_->get<Array>(value_)) return Node(*graph_, array->cls);
  if (const LargeBinary* large = graph_->get<LargeBinary>(value_)) return Node(*graph_, large->cls);
  if (isFrame()) return slot("class");
  return Node(*graph_, Value::nil());
}

std::optional<std::size_t> Node::slotIndex(std::string_view name) const {
  for (std::size_t i = 0; i < slotCount(); ++i)
    if (equalsIgnoringCase(slotName(i), name)) return i;
  return std::nullopt;
}

Node Node::slot(std::string_view name) const {
  const auto i = slotIndex(name);
  return i ? slotValue(*i) : Node(*graph_, Value::nil());
}

bool Node::hasSlot(std::string_view name) const { return slotIndex(name).has_value(); }

std::size_t Node::slotCount() const {
  if (const Frame* frame = graph_->get<Frame>(value_)) return frame->slots.size();
  return isSmallRect() ? kRectSlots.size() : 0;
}

std::string_view Node::slotName(std::size_t i) const {
  if (const Frame* frame = graph_->get<Frame>(value_))
    return i < frame->slots.size() ? Node(*graph_, Value::object(frame->slots[i].tag)).symbolName() : "";
  return isSmallRect() && i < kRectSlots.size() ? kRectSlots[i] : "";
}

Node Node::slotValue(std::size_t i) const {
  if (const Frame* frame = graph_->get<Frame>(value_))
    return Node(*graph_, i < frame->slots.size() ? frame->slots[i].value : Value::nil());
  const SmallRect* rect = graph_->get<SmallRect>(value_);
  return Node(*graph_, rect != nullptr && i < kRectSlots.size() ? Value::integer(rectSide(*rect, i)) : Value::nil());
}

std::size_t Node::size() const {
  const Array* array = graph_->get<Array>(value_);
  return array != nullptr ? array->elements.size() : 0;
}

Node Node::element(std::size_t i) const {
  const Array* array = graph_->get<Array>(value_);
  return Node(*graph_, array != nullptr && i < array->elements.size() ? array->elements[i] : Value::nil());
}

std::vector<Node> Node::elements() const {
  std::vector<Node> nodes;
  for (std::size_t i = 0; i < size(); ++i) nodes.push_back(element(i));
  return nodes;
}

}  // namespace skiff::nsof
