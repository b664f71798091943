// Two graphs hold the same values when a walk from both roots pairs their objects one to one: the same kind and
// contents, and an object met again is met again on the other side too, so shared objects and cycles must match.
// Symbols are values, equal by name whatever their case or identity.
#include "dock/nsof.h"

namespace skiff::nsof {
namespace {

constexpr std::int64_t kUnpaired = -1;

class Comparer {
 public:
  Comparer(const Graph& a, const Graph& b) : a_(a), b_(b), pairOfA_(a.size(), kUnpaired), pairOfB_(b.size(), kUnpaired) {}

  bool same(Value x, Value y, std::size_t depth) {
    if (x.kind() != y.kind()) return false;
    if (!x.isObject()) return x == y;
    if (!a_.holds(x) || !b_.holds(y) || depth > kMaxDepth) return false;
    const Object& ox = a_.at(x.objectId());
    const Object& oy = b_.at(y.objectId());
    if (ox.index() != oy.index()) return false;
    if (const auto* symbol = std::get_if<Symbol>(&ox)) return equalsIgnoringCase(symbol->name, std::get<Symbol>(oy).name);
    auto& pairX = pairOfA_[x.objectId()];
    auto& pairY = pairOfB_[y.objectId()];
    if (pairX != kUnpaired || pairY != kUnpaired) return pairX == y.objectId() && pairY == x.objectId();
    pairX = y.objectId();
    pairY = x.objectId();
    return sameContents(ox, oy, depth);
  }

 private:
  bool sameAll(const std::vector<Value>& x, const std::vector<Value>& y, std::size_t depth) {
    if (x.size() != y.size()) return false;
    for (std::size_t i = 0; i < x.size(); ++i)
      if (!same(x[i], y[i], depth + 1)) return false;
    return true;
  }

  bool sameContents(const Object& ox, const Object& oy, std::size_t depth) {
    if (const auto* x = std::get_if<Binary>(&ox)) {
      const auto& y = std::get<Binary>(oy);
      return x->bytes == y.bytes && same(x->cls, y.cls, depth + 1);
    }
    if (const auto* x = std::get_if<Array>(&ox)) {
      const auto& y = std::get<Array>(oy);
      return same(x->cls, y.cls, depth + 1) && sameAll(x->elements, y.elements, depth);
    }
    if (const auto* x = std::get_if<Frame>(&ox)) {
      const auto& y = std::get<Frame>(oy);
      if (x->slots.size() != y.slots.size()) return false;
      for (std::size_t i = 0; i < x->slots.size(); ++i)
        if (!same(Value::object(x->slots[i].tag), Value::object(y.slots[i].tag), depth + 1) ||
            !same(x->slots[i].value, y.slots[i].value, depth + 1))
          return false;
      return true;
    }
    if (const auto* x = std::get_if<SmallRect>(&ox)) return *x == std::get<SmallRect>(oy);
    const auto& x = std::get<LargeBinary>(ox);
    const auto& y = std::get<LargeBinary>(oy);
    return x.compressed == y.compressed && x.compander == y.compander && x.companderParams == y.companderParams &&
           x.data == y.data && same(x.cls, y.cls, depth + 1);
  }

  const Graph& a_;
  const Graph& b_;
  std::vector<std::int64_t> pairOfA_;  // the object of b paired with each object of a
  std::vector<std::int64_t> pairOfB_;
};

}  // namespace

bool sameGraph(const Graph& a, Value rootA, const Graph& b, Value rootB) {
  return Comparer(a, b).same(rootA, rootB, 0);
}

}  // namespace skiff::nsof
