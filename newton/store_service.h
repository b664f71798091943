// The simulated Newton's stores as a desktop backs them up over the dock: "gsto" lists the stores, "ssto" picks
// one, "gets" lists its soups, "ssou" picks one, "gsin" and "gind" give its info and indexes, "snds" streams all
// its entries ("entr" each, then "bsdn"), "stme" gives the Newton's clock and sets the time that "cinf", "cidx"
// and "bksp" count changes from; "bksp" streams the entries changed since then or newer than the ID it is given,
// and the IDs of the others ("base", "bids") so that the desktop learns which are gone, or says "ndir" when
// nothing changed (the Dante Connection Protocol ERS describes each). A desktop that imports chooses the default
// store ("sdef"), makes a soup from the Newton's own definition of it ("cdsp") and adds entries ("adde"): each
// gets the next unique ID and the Newton's time as its _uniqueID and _modTime and is answered "adid" with the ID.
// Pure, like DockProtocol, which hands it these frames.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "dock/frame.h"
#include "newton/content.h"

namespace skiff::newton {

// What goes wrong on a real Newton while a desktop backs it up: a damaged soup fails (-48005, "object
// corrupted", as users of damaged units report), the line drops, the user taps Stop, a Newton is slow.
struct BackupFaults {
  std::string failSoup;               // "snds" on the first soup of this name answers "dres" -48005
  std::string dropInSoup;             // the line drops after `dropAfterEntries` entries of this soup
  int dropAfterEntries = 0;
  std::string cancelInSoup;           // the Newton cancels ("opca") after `cancelAfterEntries` entries of it
  int cancelAfterEntries = 0;
  int entryMs = 0;                    // each entry takes this long to come
  // The n-th "adde" of the session (from 1) is refused with this result: -10617 the store is full, -10605 it
  // is write-protected (a locked card).
  std::map<int, std::int32_t> refusedAdds;
};

// An entry the desktop added, as the Newton keeps it.
struct AddedEntry {
  std::string store;
  std::string soup;
  std::uint32_t uniqueId = 0;
  std::vector<std::uint8_t> nsof;  // with the _uniqueID and _modTime the Newton gave it
};

struct StoreAnswer {
  std::vector<std::vector<std::uint8_t>> frames;  // to send, in order
  bool hangUp = false;                           // the line drops (a fault)
  std::vector<std::string> log;
  std::optional<AddedEntry> added;
};

class StoreService {
 public:
  StoreService(NewtonContent content, BackupFaults faults, std::uint32_t clock);

  // Whether `command` is one of the frames this answers.
  static bool answers(const std::string& command);
  StoreAnswer answer(const dock::Frame& frame);

  // A soup's entries are streaming: the next frame of the stream (an entry, then "bsdn"), when its time has
  // come (`nowMs` on any steady clock).
  bool streaming() const { return streaming_; }
  std::optional<StoreAnswer> nextOfStream(std::int64_t nowMs);
  // The desktop cancelled: the stream ends after the entry under way.
  void cancelStream() { streaming_ = false; }

  const NewtonContent& content() const { return content_; }
  std::uint32_t clock() const { return clock_; }

 private:
  const ContentStore* store() const;
  const ContentSoup* soup() const;
  std::vector<std::uint8_t> storesFrame() const;
  void addEntry(const dock::Frame& frame, StoreAnswer& out);
  void makeSoup(const dock::Frame& frame, StoreAnswer& out);

  NewtonContent content_;
  BackupFaults faults_;
  std::uint32_t clock_;
  std::optional<std::size_t> store_;
  std::optional<std::size_t> soup_;
  void planIncremental(std::uint32_t lastId);

  bool streaming_ = false;
  std::uint32_t since_ = 0;        // "stme": changes after this time count (minutes since 1904)
  // The stream: frames of a "bksp" planned in ID order, else (empty) every entry of the soup.
  std::vector<std::vector<std::uint8_t>> planned_;
  std::size_t next_ = 0;           // the next entry (or planned frame) of the stream
  std::int64_t nextAtMs_ = -1;     // when it may go (a slow Newton)
  int adds_ = 0;                   // "adde" frames so far
};

}  // namespace skiff::newton
