// The encoder writes objects in the graph's order and gives each the next precedent ID when its tag is written,
// as the decoder counts them, so a second reference to any object (a cycle's way back included) is a precedent.
// Symbols are shared by name: a Newton finds them by identity, and its symbols are one object per name.
#include <map>

#include "dock/nsof.h"
#include "dock/nsof_tags.h"

namespace skiff::nsof {
namespace {

constexpr std::int32_t kNotWritten = -1;

class Encoder {
 public:
  explicit Encoder(const Graph& graph) : graph_(graph), ids_(graph.size(), kNotWritten) {}

  Encoded run(Value root) {
    out_.push_back(kStreamVersion);
    value(root, 0);
    Encoded result;
    if (error_.empty()) result.bytes = std::move(out_);
    result.error = error_;
    return result;
  }

 private:
  void fail(std::string reason) {
    if (error_.empty()) error_ = std::move(reason);
  }

  void byte(std::uint8_t b) { out_.push_back(b); }
  void u32(std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) byte(static_cast<std::uint8_t>(v >> shift));
  }
  void xlong(std::int32_t v) {
    if (v >= 0 && v < kLongXlong) return byte(static_cast<std::uint8_t>(v));
    byte(kLongXlong);
    u32(static_cast<std::uint32_t>(v));
  }
  void size(std::size_t n) {
    if (n > static_cast<std::size_t>(INT32_MAX)) return fail("an object of " + std::to_string(n) + " bytes or elements");
    xlong(static_cast<std::int32_t>(n));
  }
  void bytes(const std::vector<std::uint8_t>& data) { out_.insert(out_.end(), data.begin(), data.end()); }
  void immediate(std::uint32_t ref) {
    byte(kTagImmediate);
    xlong(static_cast<std::int32_t>(ref));
  }

  void value(Value v, std::size_t depth) {
    if (!error_.empty()) return;
    switch (v.kind()) {
      case Value::Kind::Nil: return byte(kTagNil);
      case Value::Kind::Integer:
        if (v.integerValue() < kMinInteger || v.integerValue() > kMaxInteger)
          return fail("integer " + std::to_string(v.integerValue()) + " does not fit in 30 bits");
        return immediate(v.ref());
      case Value::Kind::Character:
        if (v.characterValue() < 0x100) {
          byte(kTagCharacter);
          return byte(static_cast<std::uint8_t>(v.characterValue()));
        }
        byte(kTagUnicodeCharacter);
        byte(static_cast<std::uint8_t>(v.characterValue() >> 8));
        return byte(static_cast<std::uint8_t>(v.characterValue()));
      case Value::Kind::True:
      case Value::Kind::MagicPointer:
      case Value::Kind::Immediate: return immediate(v.ref());
      case Value::Kind::Object: return object(v.objectId(), depth);
    }
  }

  bool isClass(Value cls, std::string_view name) const { return graph_.node(cls).isSymbol(name); }

  void object(ObjectId id, std::size_t depth) {
    if (id >= graph_.size())
      return fail("a value refers to object " + std::to_string(id) + " of " + std::to_string(graph_.size()));
    if (depth > kMaxDepth) return fail("objects nested deeper than " + std::to_string(kMaxDepth));
    const Object& object = graph_.at(id);
    if (const auto* symbol = std::get_if<Symbol>(&object)) return this->symbol(symbol->name);
    if (ids_[id] != kNotWritten) {
      byte(kTagPrecedent);
      return xlong(ids_[id]);
    }
    ids_[id] = next_++;
    if (const auto* binary = std::get_if<Binary>(&object)) {
      const bool string = isClass(binary->cls, "string");
      byte(string ? kTagString : kTagBinary);
      size(binary->bytes.size());
      if (!string) value(binary->cls, depth + 1);
      bytes(binary->bytes);
    } else if (const auto* array = std::get_if<Array>(&object)) {
      const bool plain = isClass(array->cls, "array");
      byte(plain ? kTagPlainArray : kTagArray);
      size(array->elements.size());
      if (!plain) value(array->cls, depth + 1);
      for (Value element : array->elements) value(element, depth + 1);
    } else if (const auto* frame = std::get_if<Frame>(&object)) {
      byte(kTagFrame);
      size(frame->slots.size());
      for (const Slot& slot : frame->slots) {
        const Symbol* tag = graph_.get<Symbol>(Value::object(slot.tag));
        if (tag == nullptr) return fail("a slot tag of object " + std::to_string(id) + " is not a symbol");
        symbol(tag->name);
      }
      for (const Slot& slot : frame->slots) value(slot.value, depth + 1);
    } else if (const auto* rect = std::get_if<SmallRect>(&object)) {
      for (std::uint8_t b : {std::uint8_t{kTagSmallRect}, rect->top, rect->left, rect->bottom, rect->right}) byte(b);
    } else if (const auto* large = std::get_if<LargeBinary>(&object)) {
      largeBinary(*large, depth);
    }
  }

  void symbol(const std::string& name) {
    if (name.size() > kMaxSymbolLength) return fail("a symbol of " + std::to_string(name.size()) + " bytes");
    if (const auto found = symbolIds_.find(name); found != symbolIds_.end()) {
      byte(kTagPrecedent);
      return xlong(found->second);
    }
    symbolIds_.emplace(name, next_++);
    byte(kTagSymbol);
    xlong(static_cast<std::int32_t>(name.size()));
    out_.insert(out_.end(), name.begin(), name.end());
  }

  void largeBinary(const LargeBinary& large, std::size_t depth) {
    byte(kTagLargeBinary);
    value(large.cls, depth + 1);
    byte(large.compressed ? 1 : 0);
    const std::uint64_t total = std::uint64_t{large.data.size()} + large.compander.size() + large.companderParams.size();
    if (total > UINT32_MAX) return fail("a large binary of " + std::to_string(total) + " bytes");
    u32(static_cast<std::uint32_t>(large.data.size()));
    u32(static_cast<std::uint32_t>(large.compander.size()));
    u32(static_cast<std::uint32_t>(large.companderParams.size()));
    u32(0);  // reserved
    out_.insert(out_.end(), large.compander.begin(), large.compander.end());
    bytes(large.companderParams);
    bytes(large.data);
  }

  const Graph& graph_;
  std::vector<std::int32_t> ids_;  // object -> its precedent ID once written
  std::map<std::string, std::int32_t, std::less<>> symbolIds_;
  std::int32_t next_ = 0;
  std::vector<std::uint8_t> out_;
  std::string error_;
};

}  // namespace

Encoded encode(const Graph& graph, Value root) { return Encoder(graph).run(root); }

}  // namespace skiff::nsof
