#include "dock/nsof_graph.h"

#include <bit>

#include "dock/nsof_node.h"
#include "dock/nsof_text.h"

namespace skiff::nsof {
namespace {

constexpr std::uint32_t kNilRef = 0x02;
constexpr std::uint32_t kTrueRef = 0x1A;
constexpr std::uint32_t kCharacterTag = 0x06;  // low four bits of a character Ref

}  // namespace

std::optional<Value> Value::fromRef(std::uint32_t ref) {
  switch (ref & 3) {
    case 0:
      return integer(static_cast<std::int32_t>(ref) >> 2);
    case 1:
      return std::nullopt;
    case 3:
      return magicPointer(ref >> 2);
    default:
      break;
  }
  if (ref == kNilRef) return nil();
  if (ref == kTrueRef) return trueValue();
  if ((ref & 0xF) == kCharacterTag && ref >> 4 <= 0xFFFF) return character(static_cast<char16_t>(ref >> 4));
  return Value(Kind::Immediate, ref);
}

std::uint32_t Value::ref() const {
  switch (kind_) {
    case Kind::Nil: return kNilRef;
    case Kind::True: return kTrueRef;
    case Kind::Integer: return bits_ << 2;
    case Kind::Character: return bits_ << 4 | kCharacterTag;
    case Kind::MagicPointer: return bits_ << 2 | 3;
    case Kind::Immediate: return bits_;
    case Kind::Object: break;
  }
  return kNilRef;
}

Value Graph::add(Object object) {
  objects_.push_back(std::move(object));
  return Value::object(static_cast<ObjectId>(objects_.size() - 1));
}

Value Graph::symbol(std::string_view name) {
  if (const auto found = symbols_.find(name); found != symbols_.end()) return Value::object(found->second);
  const Value made = add(Symbol{std::string(name)});
  symbols_.emplace(std::string(name), made.objectId());
  return made;
}

Value Graph::string(std::string_view utf8) { return string(utf8, "string"); }

Value Graph::string(std::string_view utf8, std::string_view className) {
  return binary(symbol(className), stringBytes(utf16FromUtf8(utf8)));
}

Value Graph::real(double value) {
  const auto bits = std::bit_cast<std::uint64_t>(value);
  std::vector<std::uint8_t> bytes(8);
  for (int i = 0; i < 8; ++i) bytes[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(bits >> (56 - 8 * i));
  return binary(symbol("real"), std::move(bytes));
}

Value Graph::binary(Value cls, std::vector<std::uint8_t> bytes) { return add(Binary{cls, std::move(bytes)}); }

Value Graph::array(std::vector<Value> elements) { return array(symbol("array"), std::move(elements)); }

Value Graph::array(Value cls, std::vector<Value> elements) { return add(Array{cls, std::move(elements)}); }

Value Graph::frame(std::initializer_list<std::pair<std::string_view, Value>> slots) {
  const Value made = add(Frame{});
  for (const auto& [name, value] : slots) setSlot(made, name, value);
  return made;
}

bool Graph::setSlot(Value frame, std::string_view name, Value value) {
  if (get<Frame>(frame) == nullptr) return false;
  const ObjectId tag = symbol(name).objectId();  // before taking the frame: it may grow the arena
  Frame& target = *get<Frame>(frame);
  for (Slot& slot : target.slots) {
    const auto* tagSymbol = slot.tag < objects_.size() ? std::get_if<Symbol>(&objects_[slot.tag]) : nullptr;
    if (tagSymbol != nullptr && equalsIgnoringCase(tagSymbol->name, name)) {
      slot.value = value;
      return true;
    }
  }
  target.slots.push_back({tag, value});
  return true;
}

bool Graph::append(Value array, Value element) {
  Array* target = get<Array>(array);
  if (target == nullptr) return false;
  target->elements.push_back(element);
  return true;
}

}  // namespace skiff::nsof
