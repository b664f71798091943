#include "export/vcard.h"

#include <array>
#include <set>
#include <utility>

#include "export/content_line.h"
#include "export/export_time.h"
#include "export/newton_text.h"

namespace skiff::exporting {
namespace {

using nsof::Node;

std::string text(const Node& node) { return textOf(node).value_or(""); }

// A slot of the card, else of its name frame (where the Names application may keep company and title too).
std::string cardText(const Node& card, std::string_view slot) {
  std::string value = text(card.slot(slot));
  return value.empty() ? text(card.slot("name").slot(slot)) : value;
}

std::string joined(std::initializer_list<std::string> parts, std::string_view separator) {
  std::string out;
  for (const std::string& part : parts) {
    if (part.empty()) continue;
    if (!out.empty()) out += separator;
    out += part;
  }
  return out;
}

void addAddress(std::string& out, const Node& place) {
  const std::array<std::string, 7> parts = {"",
                                            text(place.slot("address2")),
                                            text(place.slot("address")),
                                            text(place.slot("city")),
                                            text(place.slot("region")),
                                            text(place.slot("postal_code")),
                                            text(place.slot("country"))};
  std::string value;
  bool any = false;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    value += (i == 0 ? "" : ";") + escapeText(parts[i]);
    any = any || !parts[i].empty();
  }
  if (any) addLine(out, "ADR", value);
}

void addDate(std::string& out, std::string_view name, const Node& date) {
  if (const auto minutes = date.asInt()) addLine(out, name, isoDate(*minutes));
}

// The card's notes: paragraphs like a note's, one after the other.
std::string notesOf(const Node& notes) {
  if (auto single = textOf(notes)) return *single;
  std::string all;
  for (const Node& paragraph : notes.elements()) {
    const auto words = textOf(paragraph.slot("text"));
    if (!words) continue;
    if (!all.empty()) all += "\n";
    all += *words;
  }
  return all;
}

}  // namespace

std::string_view phoneType(std::string_view phoneClass) {
  static constexpr std::array<std::pair<std::string_view, std::string_view>, 9> kTypes = {{
      {"homePhone", "HOME,VOICE"},
      {"workPhone", "WORK,VOICE"},
      {"faxPhone", "WORK,FAX"},
      {"homeFaxPhone", "HOME,FAX"},
      {"mobilePhone", "CELL,VOICE"},
      {"carPhone", "CAR,CELL"},
      {"beeperPhone", "PAGER"},
      {"otherPhone", "VOICE"},
      {"phone", "VOICE"},
  }};
  for (const auto& [cls, type] : kTypes)
    if (nsof::equalsIgnoringCase(cls, phoneClass)) return type;
  return "VOICE";
}

CardResult vcardOf(const Node& entry, std::string_view uid) {
  const std::string_view cls = entry.slot("class").symbolName();
  if (!nsof::equalsIgnoringCase(cls, "person") && !nsof::equalsIgnoringCase(cls, "owner") &&
      !nsof::equalsIgnoringCase(cls, "company"))
    return {{}, cls.empty() ? "not a card: no class" : "a '" + std::string(cls) + "' entry is no person, owner or company card"};
  const Node name = entry.slot("name");
  const std::string first = text(name.slot("first")), last = text(name.slot("last"));
  const std::string honorific = text(name.slot("honorific"));
  const std::string company = cardText(entry, "company"), title = cardText(entry, "title");
  std::string full = joined({first, last}, " ");
  if (full.empty()) full = company;
  if (full.empty()) full = text(entry.slot("sorton"));
  if (full.empty()) return {{}, "a card with no name, company or sorton"};

  std::string out;
  addLine(out, "BEGIN", "VCARD");
  addLine(out, "VERSION", "3.0");
  addLine(out, "UID", escapeText(uid));
  addLine(out, "N", escapeText(last) + ";" + escapeText(first) + ";;" + escapeText(honorific) + ";");
  addLine(out, "FN", escapeText(full));
  if (!company.empty()) addLine(out, "ORG", escapeText(company));
  if (!title.empty()) addLine(out, "TITLE", escapeText(title));
  for (const Node& phone : entry.slot("phones").elements())
    if (const auto number = textOf(phone, " "))
      addLine(out, "TEL;TYPE=" + std::string(phoneType(phone.className())), escapeText(*number));
  for (const Node& pager : entry.slot("pagers").elements())
    if (const auto number = textOf(pager.slot("pagerNum"), " ")) addLine(out, "TEL;TYPE=PAGER", escapeText(*number));
  std::set<std::string> emails;  // `email` is usually the first of `emailAddrs` again
  const auto addEmail = [&](const Node& node) {
    const std::string address = text(node);
    if (!address.empty() && emails.insert(address).second) addLine(out, "EMAIL;TYPE=INTERNET", escapeText(address));
  };
  addEmail(entry.slot("email"));
  for (const Node& address : entry.slot("emailAddrs").elements()) addEmail(address.slot("email"));
  addAddress(out, entry);
  for (const Node& place : entry.slot("addresses").elements()) addAddress(out, place);
  for (const Node& url : entry.slot("URLs").elements())
    if (const auto link = textOf(url, " ")) addLine(out, "URL", *link);  // a URI, which is not escaped
  addDate(out, "BDAY", entry.slot("bday"));
  addDate(out, "X-ANNIVERSARY", entry.slot("anniversary"));
  if (const std::string notes = notesOf(entry.slot("notes")); !notes.empty()) addLine(out, "NOTE", escapeText(notes));
  if (const std::string_view label = entry.slot("labels").symbolName(); !label.empty())
    addLine(out, "CATEGORIES", escapeText(label));
  addLine(out, "END", "VCARD");
  return {std::move(out), {}};
}

}  // namespace skiff::exporting
