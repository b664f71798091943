// The Names soup (the cardfile): people ('person), the owner's own card ('owner) and companies ('company), as
// the Newton Programmer's Guide 2.0 describes Names entries. Phone numbers are strings whose class says their
// kind (homePhone ... beeperPhone, or plain phone); name parts sit in a `name` frame; `sorton` is a string of
// class 'name holding "Last First" or the company; birthdays and anniversaries are dates in minutes since 1904.
#include "newton/content_build.h"

namespace skiff::newton::build {
namespace {

using nsof::Graph;
using nsof::Value;

struct Person {
  const char* honorific;
  const char* first;
  const char* last;
  const char* title;
  const char* company;
  const char* city;
  const char* country;
};

const Person kPeople[] = {
    {"Dr.", "Jürgen", "Müller", "Head of Research", "Müller & Söhne, Werkzeuge; Berlin", "Berlin", "Germany"},
    {"Ms.", "Zoë", "O'Brien", "Editor", "Harbour Press", "Dublin", "Ireland"},
    {"Mr.", "François", "Lefèvre", nullptr, nullptr, "Lyon", "France"},
    {nullptr, "Søren", "Kierkegård", "Pastor", "Vor Frue Kirke", "København", "Denmark"},
    {"Mrs.", "Ana", "Ribeiro", "Architect", "Ribeiro, Costa e Filhos", "Lisboa", "Portugal"},
    {nullptr, "Łukasz", "Wiśniewski", "Developer", "Gdańsk Software", "Gdańsk", "Poland"},
    {"Mr.", "Kenji", "Tanaka", "Sales, Europe", "Tanaka Trading", "Osaka", "Japan"},
    {nullptr, "Walter", "Smith", "Engineer", "Newton Group", "Cupertino", "USA"},
};

// Every kind of phone the Names application knows, by the class of its string.
const char* const kPhoneClasses[] = {"homePhone",   "workPhone",    "faxPhone",   "carPhone",   "mobilePhone",
                                     "homeFaxPhone", "otherPhone",  "beeperPhone", "phone"};

std::string number(Pick& pick) {
  std::string digits = "+49 30 ";
  for (int k = 0; k < 7; ++k) digits += static_cast<char>('0' + pick.below(10));
  return digits;
}

std::string emailOf(const Person& person, std::string_view domain) {
  std::string local;
  for (const char* c = person.last; *c != '\0'; ++c)
    if ((*c >= 'a' && *c <= 'z') || (*c >= 'A' && *c <= 'Z')) local += static_cast<char>(*c | 0x20);
  return local + "@" + std::string(domain);
}

void addAddress(Graph& graph, Value card, Pick& pick, const char* city, const char* country) {
  graph.setSlot(card, "address", graph.string(std::to_string(1 + pick.below(120)) + " Harbour Street", "address"));
  graph.setSlot(card, "address2", graph.string("Building " + std::string(1, static_cast<char>('A' + pick.below(4)))));
  graph.setSlot(card, "city", graph.string(city));
  graph.setSlot(card, "region", graph.string("Region " + std::to_string(pick.below(9))));
  graph.setSlot(card, "postal_code", graph.string(std::to_string(10000 + pick.below(89999))));
  graph.setSlot(card, "country", graph.string(country));
}

Value phones(Graph& graph, Pick& pick, int index) {
  std::vector<Value> list;
  if (index == 0) {
    for (const char* cls : kPhoneClasses) list.push_back(graph.string(number(pick), cls));
  } else {
    for (int k = 0; k < 2; ++k)
      list.push_back(graph.string(number(pick), kPhoneClasses[(static_cast<std::size_t>(index) + 3 * k) % 9]));
  }
  return graph.array(std::move(list));
}

Value notes(Graph& graph, std::string_view text) {
  return graph.array({paragraph(graph, text, bounds(graph, 5, 5, 300, 60))});
}

Value personCard(Graph& graph, Pick& pick, int index, bool owner) {
  const Person& person = kPeople[static_cast<std::size_t>(index) % std::size(kPeople)];
  Value name = graph.frame({{"class", graph.symbol("person")}, {"first", graph.string(person.first)},
                            {"last", graph.string(person.last)}});
  if (person.honorific != nullptr) graph.setSlot(name, "honorific", graph.string(person.honorific));
  Value card = graph.frame({{"class", graph.symbol(owner ? "owner" : "person")}, {"name", name}});
  if (person.title != nullptr) graph.setSlot(card, "title", graph.string(person.title, "title"));
  if (person.company != nullptr) graph.setSlot(card, "company", graph.string(person.company, "company"));
  graph.setSlot(card, "phones", phones(graph, pick, index));
  const std::string email = emailOf(person, "example.org");
  graph.setSlot(card, "email", graph.string(email));
  graph.setSlot(card, "emailAddrs", graph.array({graph.frame({{"email", graph.string(email)}}),
                                                 graph.frame({{"email", graph.string(emailOf(person, "mail.example"))}})}));
  addAddress(graph, card, pick, person.city, person.country);
  if (index % 2 == 0) {
    Value second = graph.frame({});
    addAddress(graph, second, pick, "Porto", "Portugal");
    graph.setSlot(card, "addresses", graph.array({second}));
  }
  const int year = 1950 + static_cast<int>(pick.below(50));
  graph.setSlot(card, "bday", Value::integer(static_cast<std::int32_t>(at(year, 1 + pick.below(12), 1 + pick.below(28)))));
  if (index % 3 == 0)
    graph.setSlot(card, "anniversary", Value::integer(static_cast<std::int32_t>(at(year + 25, 6, 21))));
  if (index % 2 == 1)
    graph.setSlot(card, "notes", notes(graph, "Met at the fair.\rLikes coffee; no sugar, \"strong\"."));
  graph.setSlot(card, "sorton", graph.string(std::string(person.last) + " " + person.first, "name"));
  graph.setSlot(card, "labels", index % 2 == 0 ? graph.symbol("Business") : Value::nil());
  graph.setSlot(card, "cardType", Value::integer(0));
  graph.setSlot(card, "version", Value::integer(2));
  return card;
}

Value companyCard(Graph& graph, Pick& pick) {
  const char* company = "Harbour Supplies, Inc.; Dept. \\ Logistics";
  Value card = graph.frame({{"class", graph.symbol("company")}, {"company", graph.string(company, "company")}});
  graph.setSlot(card, "phones", graph.array({graph.string(number(pick), "workPhone"), graph.string(number(pick), "faxPhone")}));
  graph.setSlot(card, "email", graph.string("orders@harbour.example"));
  addAddress(graph, card, pick, "Hamburg", "Germany");
  graph.setSlot(card, "sorton", graph.string(company, "name"));
  graph.setSlot(card, "version", Value::integer(2));
  return card;
}

}  // namespace

ContentSoup namesSoup(const SoupPlan& plan) {
  ContentSoup soup = emptySoup({"Names", "cardfile", "Names", "Soup with Names and Addresses",
                                {{"sorton", "string"}, {"labels", "tags"}}});
  Pick pick(plan.seed, plan.onCard ? "card Names" : "Names");
  for (int i = 0; i < plan.count; ++i) {
    Graph graph;
    // The internal store holds the owner's card first and one company; a card holds people only.
    const bool owner = !plan.onCard && i == 0;
    const bool company = !plan.onCard && i == 1;
    const int person = plan.onCard ? i + 3 : i;
    const Value card = company ? companyCard(graph, pick) : personCard(graph, pick, person, owner);
    const std::uint32_t modTime = plan.now - pick.below(60 * 24 * 365);
    soup.entries.push_back(finishEntry(graph, card, plan.firstId + static_cast<std::uint32_t>(i), modTime));
  }
  settle(soup);
  return soup;
}

}  // namespace skiff::newton::build
