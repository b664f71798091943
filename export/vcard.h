// A Names entry as a vCard 3.0 (RFC 2426): people, the owner's card and companies, with every slot the Names
// application shows that a vCard has room for.
#pragma once

#include <string>
#include <string_view>

#include "dock/nsof.h"

namespace skiff::exporting {

// The TYPE of a phone from the class of its string: homePhone HOME,VOICE; workPhone WORK,VOICE; faxPhone WORK,FAX;
// homeFaxPhone HOME,FAX; mobilePhone CELL,VOICE; carPhone CAR,CELL; beeperPhone PAGER; otherPhone, phone and any
// other class VOICE.
std::string_view phoneType(std::string_view phoneClass);

struct CardResult {
  std::string vcard;    // BEGIN:VCARD ... END:VCARD, CRLF line ends, folded; empty when not a card
  std::string problem;  // why not
};

// `uid` names the card for good (the store's signature, the soup and the entry's ID).
CardResult vcardOf(const nsof::Node& entry, std::string_view uid);

}  // namespace skiff::exporting
