// The terminal in raw mode while `skiff keyboard` types at the Newton, and as it found it again on every way
// out: the normal end, an error, an exception that ends the program, exit(), and the signals that end, stop or
// interrupt it (the settings go back before the signal takes its course; after a stop, raw mode comes back with
// the continue).
#pragma once

#include <string>

namespace skiff::cli {

class RawTerminal {
 public:
  RawTerminal() = default;
  RawTerminal(const RawTerminal&) = delete;
  RawTerminal& operator=(const RawTerminal&) = delete;
  ~RawTerminal() { leave(); }

  // Raw input on terminal `fd` (each byte as it is typed, no echo, no signals from the keys; output as before).
  // False, with the reason, when it is no terminal or refuses. One RawTerminal at a time.
  bool enter(int fd, std::string* problem);
  // The settings found at enter(), and the signals' handlers as they were; again is harmless.
  void leave();
};

}  // namespace skiff::cli
