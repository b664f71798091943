// The dump walks the graph twice: once to count how often each object is reached, once to print, labelling the
// objects reached more than once (#1=...) and naming them by label after (#1). Each object is printed once, so a
// cycle ends and a much-shared object costs its size once. Both walks stop at kMaxDepth.
#include <charconv>
#include <cstdio>

#include "dock/nsof.h"

namespace skiff::nsof {
namespace {

bool isPlainName(std::string_view name) {
  if (name.empty() || (name[0] >= '0' && name[0] <= '9')) return false;
  for (char c : name)
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_')) return false;
  return true;
}

std::string hexByte(std::uint8_t byte) {
  char text[3];
  std::snprintf(text, sizeof text, "%02X", byte);
  return text;
}

// A name as a symbol's bytes stand, bytes outside printable ASCII as \xNN.
std::string printable(std::string_view name) {
  std::string out;
  for (char c : name) {
    const auto byte = static_cast<std::uint8_t>(c);
    out += byte >= 0x20 && byte < 0x7F && c != '\\' && c != '|' ? std::string(1, c) : "\\x" + hexByte(byte);
  }
  return out;
}

// NewtonScript's way to write a symbol's name: plain, or between bars.
std::string symbolText(std::string_view name) { return isPlainName(name) ? std::string(name) : "|" + printable(name) + "|"; }

std::string quoted(std::u16string_view units) {
  std::string out = "\"";
  for (char16_t unit : units) {
    switch (unit) {
      case u'"': out += "\\\""; break;
      case u'\\': out += "\\\\"; break;
      case u'\r': out += "\\r"; break;
      case u'\n': out += "\\n"; break;
      case u'\t': out += "\\t"; break;
      default:
        if (unit < 0x20) {
          out += "\\u00" + hexByte(static_cast<std::uint8_t>(unit));
        } else {
          out += utf8FromUtf16(std::u16string_view(&unit, 1));
        }
    }
  }
  return out + "\"";
}

class Dumper {
 public:
  explicit Dumper(const Graph& graph) : graph_(graph), reached_(graph.size(), 0), labels_(graph.size(), 0) {}

  std::string run(Value root) {
    count(root, 0);
    print(root, 0);
    return std::move(out_);
  }

 private:
  template <class Visit>
  void forEachChild(const Object& object, Visit visit) const {
    if (const auto* binary = std::get_if<Binary>(&object)) visit(binary->cls);
    if (const auto* large = std::get_if<LargeBinary>(&object)) visit(large->cls);
    if (const auto* array = std::get_if<Array>(&object)) {
      visit(array->cls);
      for (Value element : array->elements) visit(element);
    }
    if (const auto* frame = std::get_if<Frame>(&object))
      for (const Slot& slot : frame->slots) visit(slot.value);
  }

  void count(Value v, std::size_t depth) {
    if (!v.isObject() || !graph_.holds(v) || depth > kMaxDepth) return;
    const Object& object = graph_.at(v.objectId());
    if (std::holds_alternative<Symbol>(object) || ++reached_[v.objectId()] > 1) return;
    forEachChild(object, [&](Value child) { count(child, depth + 1); });
  }

  void print(Value v, std::size_t depth) {
    switch (v.kind()) {
      case Value::Kind::Nil: out_ += "nil"; return;
      case Value::Kind::True: out_ += "true"; return;
      case Value::Kind::Integer: out_ += std::to_string(v.integerValue()); return;
      case Value::Kind::MagicPointer: out_ += "@" + std::to_string(v.magicIndex()); return;
      case Value::Kind::Character: {
        const char16_t c = v.characterValue();
        if (c > 0x20 && c < 0x7F && c != '\\') {
          out_ += '$';
          out_ += static_cast<char>(c);
        } else {
          out_ += "$\\u" + hexByte(static_cast<std::uint8_t>(c >> 8)) + hexByte(static_cast<std::uint8_t>(c));
        }
        return;
      }
      case Value::Kind::Immediate: {
        char text[32];
        std::snprintf(text, sizeof text, "<immediate 0x%X>", static_cast<unsigned>(v.ref()));
        out_ += text;
        return;
      }
      case Value::Kind::Object: break;
    }
    if (!graph_.holds(v)) {
      out_ += "<no object " + std::to_string(v.objectId()) + ">";
      return;
    }
    if (depth > kMaxDepth) {
      out_ += "...";
      return;
    }
    const ObjectId id = v.objectId();
    const Object& object = graph_.at(id);
    if (const auto* symbol = std::get_if<Symbol>(&object)) {
      out_ += "'" + symbolText(symbol->name);
      return;
    }
    if (reached_[id] > 1) {
      if (labels_[id] != 0) {
        out_ += "#" + std::to_string(labels_[id]);
        return;
      }
      labels_[id] = ++lastLabel_;
      out_ += "#" + std::to_string(labels_[id]) + "=";
    }
    const Node node = graph_.node(v);
    if (std::holds_alternative<Binary>(object)) {
      binary(node, depth);
    } else if (const auto* array = std::get_if<Array>(&object)) {
      out_ += "[";
      if (!node.classOf().isSymbol("array")) {
        classText(array->cls, depth, true);
        out_ += ":";
        if (!array->elements.empty()) out_ += " ";
      }
      for (std::size_t i = 0; i < array->elements.size(); ++i) {
        if (i > 0) out_ += ", ";
        print(array->elements[i], depth + 1);
      }
      out_ += "]";
    } else if (const auto* frame = std::get_if<Frame>(&object)) {
      out_ += "{";
      for (std::size_t i = 0; i < frame->slots.size(); ++i) {
        if (i > 0) out_ += ", ";
        out_ += symbolText(node.slotName(i)) + ": ";
        print(frame->slots[i].value, depth + 1);
      }
      out_ += "}";
    } else if (const auto* rect = std::get_if<SmallRect>(&object)) {
      out_ += "<rect top: " + std::to_string(rect->top) + ", left: " + std::to_string(rect->left) +
              ", bottom: " + std::to_string(rect->bottom) + ", right: " + std::to_string(rect->right) + ">";
    } else if (const auto* large = std::get_if<LargeBinary>(&object)) {
      out_ += "<large ";
      classText(large->cls, depth, false);
      out_ += " " + std::to_string(large->data.size()) + " bytes";
      if (large->compressed) out_ += " compressed";
      if (!large->compander.empty()) out_ += " by " + printable(large->compander);
      out_ += ">";
    }
  }

  // A class: a symbol by its name (as NewtonScript writes it in an array, else bare), anything else as a value.
  void classText(Value cls, std::size_t depth, bool asInArray) {
    const Node node = graph_.node(cls);
    if (node.isSymbol()) {
      out_ += asInArray ? symbolText(node.symbolName()) : printable(node.symbolName());
    } else {
      print(cls, depth + 1);
    }
  }

  void binary(const Node& node, std::size_t depth) {
    if (const auto units = node.asUtf16()) {
      if (node.classOf().isSymbol("string")) {
        out_ += quoted(*units);
        return;
      }
      out_ += "<" + printable(node.className()) + " " + quoted(*units) + ">";
      return;
    }
    if (const auto real = node.asReal()) {
      char text[32];
      const auto end = std::to_chars(text, text + sizeof text, *real).ptr;
      out_ += "<real " + std::string(text, end) + ">";
      return;
    }
    const auto bytes = node.bytes();
    out_ += "<";
    classText(std::get<Binary>(*node.object()).cls, depth, false);
    out_ += " " + std::to_string(bytes.size()) + " bytes";
    if (!bytes.empty()) out_ += " ";
    for (std::size_t i = 0; i < bytes.size() && i < 16; ++i) out_ += hexByte(bytes[i]);
    if (bytes.size() > 16) out_ += "...";
    out_ += ">";
  }

  const Graph& graph_;
  std::vector<std::uint32_t> reached_;  // how often each object is reached from the root
  std::vector<std::uint32_t> labels_;   // its label once printed, 0 before
  std::uint32_t lastLabel_ = 0;
  std::string out_;
};

}  // namespace

std::string dump(const Graph& graph, Value root) { return Dumper(graph).run(root); }

}  // namespace skiff::nsof
