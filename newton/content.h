// What the simulated Newton holds for a desktop to back up: stores, their soups and the soups' entries, each entry
// as the NSOF bytes a Newton sends in "entr". Generated from a seed (the stock soups of a Newton OS 2.x
// MessagePad, with the slots their applications keep), or read from a folder laid out as `skiff export --raw`
// writes one (DIR/STORE/SOUP/UNIQUEID.nsof), and changed between sessions to show a desktop what an incremental
// backup must find.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "dock/nsof_graph.h"

namespace skiff::newton {

struct ContentEntry {
  std::uint32_t uniqueId = 0;
  std::uint32_t modTime = 0;        // minutes since 1904, as the entry's _modTime slot holds it
  std::vector<std::uint8_t> nsof;   // the entry frame, with its _uniqueID and _modTime slots
};

struct ContentSoup {
  std::string name;                  // "Notes", "Names", ...
  std::vector<std::uint8_t> info;    // NSOF: the soup info frame ("gsin")
  std::vector<std::uint8_t> indexes; // NSOF: the array of index descriptions ("gind")
  std::vector<ContentEntry> entries; // in uniqueID order
  std::uint32_t changedAt = 0;       // when an entry was last added, changed or deleted (minutes since 1904)
};

struct ContentStore {
  std::string name;                  // "Internal", or a card's name
  std::string kind;                  // "Internal", "Flash storage card", ...
  std::uint32_t signature = 0;
  bool isDefault = false;
  bool readOnly = false;
  std::vector<ContentSoup> soups;
};

struct NewtonContent {
  std::vector<ContentStore> stores;
};

struct ContentOptions {
  unsigned seed = 1;
  int entriesPerSoup = 12;           // the stock soups of both stores get about this many each
  std::uint32_t now = 0;             // the Newton's clock; 0: a fixed time in 2026
};

// A Newton's stock stores and soups: an internal store and a card; Notes (plain notes, outlines, checklists, ink),
// Names (people, companies, the owner card, every phone kind), the four Dates soups (meetings, repeating
// meetings with exceptions, events) and To do, Packages (with installable package data), System and others.
NewtonContent generatedContent(const ContentOptions& options);

// The store's frame as a Newton lists it in "stor" (and a desktop's raw export keeps it as STORE/.store.nsof):
// {name, signature, TotalSize, UsedSize, kind, info, readOnly, storepassword, defaultStore, storeversion}.
std::vector<std::uint8_t> storeFrame(const ContentStore& store);
// The same frame made in `graph` (a "stor" reply holds the frames of every store in one array).
nsof::Value storeFrame(nsof::Graph& graph, const ContentStore& store);

// The folder DIR/STORE/SOUP/UNIQUEID.nsof (SOUP's info and indexes, when present, as SOUP/.info.nsof and
// SOUP/.indexes.nsof; the store's frame, when present, as STORE/.store.nsof, which gives its name, kind,
// signature and whether it is the default or read-only), folder names as dock/entry_files.h makes them. Every
// file must decode as NSOF and every entry's _uniqueID agree with its file's name. Empty, with the reason
// naming the file in *error, when it cannot be read.
std::optional<NewtonContent> loadContent(const std::string& dir, std::string* error);

// Between two sessions, as a user would: in the soup named `soup` of store `store` (empty: the default store),
// `changed` entries get new data and a new _modTime, `added` new entries get the next uniqueIDs, `deleted`
// entries are removed; all at time `now`, which becomes the soup's changedAt. The first entries are the ones
// changed and the last ones the ones deleted (never the same entry); a changed entry's first text slot gets
// " (edited)" added, an added one is a copy of an entry already there with its own ID and time. Returns what
// could not be done ("no soup Foo on store Internal"), empty when every edit was made.
struct ContentEdit {
  std::string store;
  std::string soup;
  int changed = 0;
  int added = 0;
  int deleted = 0;
};
std::string editContent(NewtonContent& content, const std::vector<ContentEdit>& edits, std::uint32_t now);

}  // namespace skiff::newton
