// The decoder: recursive descent over the tags, with the nesting bounded by kMaxDepth. An object's precedent ID
// is taken when its tag is read, before its class, slot tags or elements, so that anything inside may refer back
// to it; cycles are then indices like any other. The first error sticks and every later read gives nothing.
#include <string>

#include "dock/frame.h"
#include "dock/nsof.h"
#include "dock/nsof_tags.h"

namespace skiff::nsof {
namespace {

std::string hex(std::uint32_t value) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  do {
    out.insert(out.begin(), kDigits[value & 0xF]);
    value >>= 4;
  } while (value != 0);
  return "0x" + out;
}

class Decoder {
 public:
  Decoder(std::span<const std::uint8_t> bytes, Graph& graph) : bytes_(bytes), cursor_(bytes), graph_(graph) {}

  // One stream from here: its version byte and one object.
  Value stream() {
    precedents_.clear();
    const std::size_t at = position();
    const std::uint8_t version = u8("a stream");
    if (failed()) return Value::nil();
    if (version != kStreamVersion) return fail(at, "bad stream version " + std::to_string(version));
    return value(0);
  }

  std::size_t position() const { return cursor_.position(); }
  bool failed() const { return error_.has_value(); }
  const std::optional<DecodeError>& error() const { return error_; }

  Value fail(std::size_t at, std::string reason) {
    if (!error_) error_ = DecodeError{at, std::move(reason)};
    return Value::nil();
  }

 private:
  // --- fields; a read past the end fails naming what it was inside ---
  std::uint8_t u8(const char* inside) {
    const std::size_t at = position();
    const std::uint8_t byte = cursor_.u8();
    if (!cursor_.ok()) fail(at, std::string("the stream ends inside ") + inside);
    return byte;
  }
  std::uint32_t u32(const char* inside) {
    const std::size_t at = position();
    const std::uint32_t word = cursor_.u32();
    if (!cursor_.ok()) fail(at, std::string("the stream ends inside ") + inside);
    return word;
  }
  std::int32_t xlong(const char* inside) {
    const std::uint8_t first = u8(inside);
    return first != kLongXlong ? first : static_cast<std::int32_t>(u32(inside));
  }
  // A length or count, which must be backed by the bytes left: each unit needs at least `bytesEach` of them.
  std::size_t count(const char* of, std::size_t bytesEach) {
    const std::size_t at = position();
    const std::int32_t n = xlong(of);
    if (failed()) return 0;
    if (n < 0) {
      fail(at, std::string("negative size ") + std::to_string(n) + " of " + of);
      return 0;
    }
    const std::size_t left = cursor_.remaining();
    if (static_cast<std::uint64_t>(n) * bytesEach > left) {
      fail(at, std::string(of) + " of size " + std::to_string(n) + " with " + std::to_string(left) + " bytes left");
      return 0;
    }
    return static_cast<std::size_t>(n);
  }
  std::vector<std::uint8_t> take(std::size_t n, const char* of) {
    if (failed()) return {};
    if (n > cursor_.remaining()) {
      fail(position(), std::string(of) + " of " + std::to_string(n) + " bytes runs past the end");
      return {};
    }
    const auto start = bytes_.begin() + static_cast<std::ptrdiff_t>(position());
    std::vector<std::uint8_t> out(start, start + static_cast<std::ptrdiff_t>(n));
    cursor_.skip(n);
    return out;
  }

  Value remember(Value object) {
    precedents_.push_back(object.objectId());
    return object;
  }

  // --- objects ---
  Value value(std::size_t depth) {
    if (failed()) return Value::nil();
    const std::size_t at = position();
    if (depth > kMaxDepth) return fail(at, "objects nested deeper than " + std::to_string(kMaxDepth));
    const std::uint8_t tag = u8("an object");
    if (failed()) return Value::nil();
    switch (tag) {
      case kTagImmediate: {
        const auto ref = static_cast<std::uint32_t>(xlong("an immediate"));
        const auto immediate = Value::fromRef(ref);
        if (!immediate) return fail(at, "pointer Ref " + hex(ref) + " in the stream");
        return *immediate;
      }
      case kTagCharacter: return Value::character(u8("a character"));
      case kTagUnicodeCharacter: {
        const std::uint8_t high = u8("a character");
        return Value::character(static_cast<char16_t>(high << 8 | u8("a character")));
      }
      case kTagBinary: return binary(depth);
      case kTagArray: return array(depth, false);
      case kTagPlainArray: return array(depth, true);
      case kTagFrame: return frame(depth);
      case kTagSymbol: return symbol(at);
      case kTagString: {
        const Value made = remember(graph_.add(Binary{graph_.symbol("string"), {}}));
        auto bytes = take(count("a string", 1), "a string");
        if (Binary* string = graph_.get<Binary>(made)) string->bytes = std::move(bytes);
        return made;
      }
      case kTagPrecedent: return precedent(at);
      case kTagNil: return Value::nil();
      case kTagSmallRect: {
        const Value made = remember(graph_.add(SmallRect{}));
        SmallRect rect;
        rect.top = u8("a small rect");
        rect.left = u8("a small rect");
        rect.bottom = u8("a small rect");
        rect.right = u8("a small rect");
        *graph_.get<SmallRect>(made) = rect;
        return made;
      }
      case kTagLargeBinary: return largeBinary(depth);
      default: return fail(at, "unknown tag " + std::to_string(tag));
    }
  }

  Value binary(std::size_t depth) {
    const Value made = remember(graph_.add(Binary{}));
    const std::size_t length = count("a binary", 1);
    const Value cls = value(depth + 1);
    auto bytes = take(length, "a binary");
    if (failed()) return made;
    Binary& binary = *graph_.get<Binary>(made);
    binary.cls = cls;
    binary.bytes = std::move(bytes);
    return made;
  }

  Value array(std::size_t depth, bool plain) {
    const Value made = remember(graph_.add(Array{}));
    const std::size_t n = count("an array", 1);
    const Value cls = plain ? graph_.symbol("array") : value(depth + 1);
    graph_.get<Array>(made)->cls = cls;
    // No reserve: n is only a promise, and growing as elements arrive keeps memory to what the input holds.
    for (std::size_t i = 0; i < n && !failed(); ++i) {
      const Value element = value(depth + 1);
      graph_.get<Array>(made)->elements.push_back(element);
    }
    return made;
  }

  Value frame(std::size_t depth) {
    const Value made = remember(graph_.add(Frame{}));
    const std::size_t n = count("a frame", 2);  // a tag and a value each
    for (std::size_t i = 0; i < n && !failed(); ++i) {
      const ObjectId tag = slotTag();
      if (!failed()) graph_.get<Frame>(made)->slots.push_back({tag, Value::nil()});
    }
    for (std::size_t i = 0; i < n && !failed(); ++i) {
      const Value slotValue = value(depth + 1);
      if (!failed()) graph_.get<Frame>(made)->slots[i].value = slotValue;
    }
    return made;
  }

  // A slot tag is a symbol or a precedent to one; anything else (the frame itself, say) is refused.
  ObjectId slotTag() {
    const std::size_t at = position();
    const std::uint8_t tag = u8("a frame");
    if (failed()) return 0;
    Value symbolValue;
    if (tag == kTagSymbol) symbolValue = symbol(at);
    else if (tag == kTagPrecedent) symbolValue = precedent(at);
    if (failed()) return 0;
    if (graph_.get<Symbol>(symbolValue) == nullptr) {
      fail(at, "a slot tag that is not a symbol");
      return 0;
    }
    return symbolValue.objectId();
  }

  Value symbol(std::size_t at) {
    const std::size_t length = count("a symbol", 1);
    if (failed()) return Value::nil();
    if (length > kMaxSymbolLength)
      return fail(at, "a symbol of " + std::to_string(length) + " bytes, longer than " +
                          std::to_string(kMaxSymbolLength));
    return remember(graph_.symbol(cursor_.text(length)));
  }

  Value precedent(std::size_t at) {
    const std::int32_t id = xlong("a precedent");
    if (failed()) return Value::nil();
    if (id < 0 || static_cast<std::size_t>(id) >= precedents_.size())
      return fail(at, "precedent " + std::to_string(id) + " not yet defined");
    return Value::object(precedents_[static_cast<std::size_t>(id)]);
  }

  Value largeBinary(std::size_t depth) {
    const Value made = remember(graph_.add(LargeBinary{}));
    const Value cls = value(depth + 1);
    const std::size_t at = position();
    const bool compressed = u8("a large binary") != 0;
    const std::uint32_t dataLength = u32("a large binary");
    const std::uint32_t nameLength = u32("a large binary");
    const std::uint32_t paramsLength = u32("a large binary");
    (void)u32("a large binary");  // reserved
    if (failed()) return made;
    if (std::uint64_t{dataLength} + nameLength + paramsLength > cursor_.remaining()) {
      fail(at, "a large binary of " + std::to_string(dataLength) + " bytes runs past the end");
      return made;
    }
    LargeBinary binary;
    binary.cls = cls;
    binary.compressed = compressed;
    binary.compander = cursor_.text(nameLength);
    binary.companderParams = take(paramsLength, "a large binary");
    binary.data = take(dataLength, "a large binary");
    *graph_.get<LargeBinary>(made) = std::move(binary);
    return made;
  }

  std::span<const std::uint8_t> bytes_;
  dock::Cursor cursor_;
  Graph& graph_;
  std::vector<ObjectId> precedents_;  // precedent ID -> object, for the stream being read
  std::optional<DecodeError> error_;
};

}  // namespace

Decoded decode(std::span<const std::uint8_t> bytes) {
  Decoded result;
  Decoder decoder(bytes, result.graph);
  result.root = decoder.stream();
  const std::size_t left = bytes.size() - decoder.position();
  if (!decoder.failed() && left > 0)
    decoder.fail(decoder.position(), std::to_string(left) + (left == 1 ? " byte" : " bytes") + " after the object");
  result.error = decoder.error();
  if (result.error) {
    Decoded failed;
    failed.error = result.error;
    return failed;
  }
  result.size = decoder.position();
  return result;
}

DecodedStreams decodeAll(std::span<const std::uint8_t> bytes) {
  DecodedStreams result;
  Decoder decoder(bytes, result.graph);
  while (decoder.position() < bytes.size()) {
    const std::size_t start = decoder.position();
    const Value root = decoder.stream();
    if (decoder.failed()) {
      DecodedStreams failed;
      failed.error = decoder.error();
      return failed;
    }
    result.streams.push_back({root, start, decoder.position() - start});
  }
  return result;
}

}  // namespace skiff::nsof
