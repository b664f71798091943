// Newton objects as an arena: a Graph owns every object of a decoded stream (or of one being built) in a vector,
// and values refer to them by index. Shared objects and reference cycles, which real soup entries have, are then
// plain indices, and nothing owns anything twice. "Newton Formats" (the NSOF chapter) describes the objects.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace skiff::nsof {

using ObjectId = std::uint32_t;  // an index into a Graph

inline constexpr std::int32_t kMinInteger = -(1 << 29);  // NewtonScript integers have 30 bits
inline constexpr std::int32_t kMaxInteger = (1 << 29) - 1;

// A NewtonScript value: an immediate, or a reference to an object of a Graph.
class Value {
 public:
  enum class Kind : std::uint8_t { Nil, True, Integer, Character, MagicPointer, Immediate, Object };

  constexpr Value() = default;  // nil
  static constexpr Value nil() { return {}; }
  static constexpr Value trueValue() { return {Kind::True, 0}; }
  static constexpr Value integer(std::int32_t v) { return {Kind::Integer, static_cast<std::uint32_t>(v)}; }
  static constexpr Value character(char16_t c) { return {Kind::Character, c}; }
  static constexpr Value magicPointer(std::uint32_t index) { return {Kind::MagicPointer, index & 0x3FFFFFFF}; }
  static constexpr Value object(ObjectId id) { return {Kind::Object, id}; }
  // What a stream's 32-bit Ref stands for (low two bits: 00 integer, 10 immediate, 11 magic pointer); nothing for
  // a pointer Ref (01), which no stream may hold.
  static std::optional<Value> fromRef(std::uint32_t ref);

  Kind kind() const { return kind_; }
  bool isNil() const { return kind_ == Kind::Nil; }
  bool isObject() const { return kind_ == Kind::Object; }
  std::int32_t integerValue() const { return static_cast<std::int32_t>(bits_); }
  char16_t characterValue() const { return static_cast<char16_t>(bits_); }
  std::uint32_t magicIndex() const { return bits_; }
  ObjectId objectId() const { return bits_; }
  // The 32-bit Ref of an immediate as a stream carries it (integers shifted, out of range or not).
  std::uint32_t ref() const;

  friend bool operator==(Value a, Value b) = default;

 private:
  constexpr Value(Kind kind, std::uint32_t bits) : kind_(kind), bits_(bits) {}
  Kind kind_ = Kind::Nil;
  std::uint32_t bits_ = 0;  // Immediate: the raw Ref
};

struct Symbol {
  std::string name;  // ASCII (MacRoman) bytes as sent
};

// A binary object: strings (class 'string or a subclass, UTF-16BE with a terminator), reals (class 'real, a
// big-endian double), ink, sounds...
struct Binary {
  Value cls;
  std::vector<std::uint8_t> bytes;
};

struct Array {
  Value cls;  // 'array for a plain array
  std::vector<Value> elements;
};

struct Slot {
  ObjectId tag;  // a Symbol
  Value value;
};

struct Frame {
  std::vector<Slot> slots;  // in the order the stream gave them
};

// A frame {top, left, bottom, right} of values 0..255, as a stream carries it in four bytes.
struct SmallRect {
  std::uint8_t top = 0, left = 0, bottom = 0, right = 0;
  friend bool operator==(const SmallRect&, const SmallRect&) = default;
};

// A large binary (a virtual binary object): packages, sounds, pictures, perhaps compressed by a compander.
struct LargeBinary {
  Value cls;
  bool compressed = false;
  std::string compander;  // the compander's class name, e.g. "TLZStoreCompander"; empty when none
  std::vector<std::uint8_t> companderParams;
  std::vector<std::uint8_t> data;
};

using Object = std::variant<Symbol, Binary, Array, Frame, SmallRect, LargeBinary>;

class Node;

class Graph {
 public:
  std::size_t size() const { return objects_.size(); }
  const Object& at(ObjectId id) const { return objects_.at(id); }
  Object& at(ObjectId id) { return objects_.at(id); }
  // A value whose object is one of this graph's (immediates always are).
  bool holds(Value value) const { return !value.isObject() || value.objectId() < objects_.size(); }
  template <class T>
  const T* get(Value value) const {
    return value.isObject() && holds(value) ? std::get_if<T>(&objects_[value.objectId()]) : nullptr;
  }
  template <class T>
  T* get(Value value) {
    return value.isObject() && holds(value) ? std::get_if<T>(&objects_[value.objectId()]) : nullptr;
  }
  Node node(Value value) const;

  // A new object as it stands (symbols included, which symbol() would share instead).
  Value add(Object object);

  // Building values. Symbols are made once per name: the same name gives the same object.
  Value symbol(std::string_view name);
  Value string(std::string_view utf8);                              // class 'string
  Value string(std::string_view utf8, std::string_view className);  // e.g. 'faxPhone
  Value real(double value);
  Value binary(Value cls, std::vector<std::uint8_t> bytes);
  Value array(std::vector<Value> elements);  // a plain array
  Value array(Value cls, std::vector<Value> elements);
  Value frame(std::initializer_list<std::pair<std::string_view, Value>> slots = {});
  Value smallRect(SmallRect rect) { return add(rect); }
  Value largeBinary(LargeBinary binary) { return add(std::move(binary)); }
  // Sets the slot of that name (found without regard to case), else adds it last; false if `frame` is none.
  bool setSlot(Value frame, std::string_view name, Value value);
  bool append(Value array, Value element);  // false if `array` is none

 private:
  std::vector<Object> objects_;
  std::map<std::string, ObjectId, std::less<>> symbols_;
};

}  // namespace skiff::nsof
