// The Notes soup: plain notes ('paperroll: shapes in `data`, each with its viewBounds), outlines ('list) and
// checklists ('checkList: `topics` with their level and mtgDone), as the Newton Programmer's Guide 2.0 describes
// the Notes application's entries. Paragraph text uses CR line ends; an ink word stands in the text as U+F700
// with its ink after the string's terminator. The array order of `data` is the order the shapes were made in,
// not where they stand: a user who moves a paragraph moves its viewBounds, so the array is deliberately out of
// on-screen order here.
#include "newton/content_build.h"

namespace skiff::newton::build {
namespace {

using nsof::Graph;
using nsof::Value;

const char* const kTitles[] = {"Shopping",     "Ideas for the garden", "Trip to Lisbon", "Book club",
                               "Project plan", "Recipes",              "Call list",      "Weekend"};
const char* const kParagraphs[] = {
    "Milk\rEggs\rBread, the dark one",
    "Ask Jürgen about the café on Rua Augusta; open until 23:00.",
    "Backup folder: C:\\Newton\\2026 (keep two copies)",
    "First draft done.\rSecond draft: shorten the intro, add figures.",
    "Tomatoes, basil, mint; the roses need cutting back.",
    "Meet at the station, 9:15 platform 3.",
};
const char* const kTopics[] = {"Book the flights", "Pack the charger", "Water the plants", "Renew passport",
                               "Choose a hotel",   "Write to Zoë",     "Pay the invoice",  "Buy a new stylus"};

Value inkShape(Graph& graph, Pick& pick, Value viewBounds) {
  return graph.frame({{"ink", graph.binary(graph.symbol("ink"), someBytes(pick, 48))}, {"viewBounds", viewBounds}});
}

Value pictureShape(Graph& graph, Pick& pick, Value viewBounds) {
  return graph.frame({{"viewStationery", graph.symbol("pict")},
                      {"viewBounds", viewBounds},
                      {"icon", graph.binary(graph.symbol("bits"), someBytes(pick, 64))}});
}

// A note whose shapes are out of on-screen order: two paragraphs side by side at one top, one with an ink
// word, one bounded by a small rect, an ink shape and a picture.
Value shapesOutOfOrder(Graph& graph, Pick& pick) {
  std::vector<Value> shapes;
  shapes.push_back(paragraph(graph, "Later: the last paragraph on screen.", bounds(graph, 5, 300, 315, 330)));
  shapes.push_back(graph.frame({{"viewStationery", graph.symbol("para")},
                                {"viewBounds", bounds(graph, 160, 120, 315, 150)},
                                {"text", richString(graph, u"Call \uF700 about the order", someBytes(pick, 24))}}));
  shapes.push_back(paragraph(graph, "Right after the title.\rSecond line of it.",
                             graph.smallRect({10, 5, 40, 250})));
  shapes.push_back(inkShape(graph, pick, bounds(graph, 5, 200, 300, 260)));
  shapes.push_back(paragraph(graph, "Left of the ink word's paragraph.", bounds(graph, 5, 120, 150, 150)));
  shapes.push_back(pictureShape(graph, pick, bounds(graph, 5, 60, 100, 100)));
  return graph.array(std::move(shapes));
}

Value plainShapes(Graph& graph, Pick& pick, int paragraphs) {
  std::vector<Value> shapes;
  for (int k = paragraphs - 1; k >= 0; --k)  // made bottom first
    shapes.push_back(paragraph(graph, pick.from(kParagraphs), bounds(graph, 5, 10 + 60 * k, 315, 60 + 60 * k)));
  if (pick.chance(30)) shapes.push_back(inkShape(graph, pick, bounds(graph, 5, 10 + 60 * paragraphs, 200, 90 + 60 * paragraphs)));
  return graph.array(std::move(shapes));
}

Value topics(Graph& graph, Pick& pick, bool checklist) {
  std::vector<Value> items;
  const int count = 3 + static_cast<int>(pick.below(4));
  int level = 1;
  for (int k = 0; k < count; ++k) {
    Value item = graph.frame({{"text", graph.string(pick.from(kTopics))},
                              {"viewBounds", bounds(graph, 5, 10 + 20 * k, 315, 28 + 20 * k)},
                              {"level", Value::integer(level)}});
    if (checklist) graph.setSlot(item, "mtgDone", k % 2 == 0 ? Value::trueValue() : Value::nil());
    items.push_back(item);
    level = k == 0 ? 2 : (level == 3 || pick.chance(40)) ? 1 : level + 1;  // nested a level at a time
  }
  return graph.array(std::move(items));
}

}  // namespace

ContentSoup notesSoup(const SoupPlan& plan) {
  ContentSoup soup = emptySoup({"Notes", "paperroll", "Notes", "Notes, checklists and outlines",
                                {{"timeStamp", "int"}, {"labels", "tags"}}});
  Pick pick(plan.seed, plan.onCard ? "card Notes" : "Notes");
  const char* const kLabels[] = {nullptr, "Business", "Personal"};
  for (int i = 0; i < plan.count; ++i) {
    Graph graph;
    const char* const kinds[] = {"paperroll", "paperroll", "list", "checkList"};
    const std::string_view kind = kinds[i % 4];
    const std::uint32_t modTime = plan.now - pick.below(60 * 24 * 90);
    const std::uint32_t timeStamp = modTime - pick.below(60 * 24 * 30);
    Value note = graph.frame({{"class", graph.symbol(kind)}, {"viewStationery", graph.symbol(kind)}});
    // One note in four has no title: its file is named from its first line. Two share a title.
    std::string title = pick.from(kTitles);
    if (i == 0 || i == 4) title = plan.onCard ? "Card: plans 2026/27" : "Plans 2026/27: Lisbon, Porto";
    if (i == 6) title = "A title far longer than a file name should be, " + std::string(80, 'x') + ", ends here";
    if (i % 4 != 1) graph.setSlot(note, "title", graph.string(title));
    const char* label = kLabels[i % 3];
    graph.setSlot(note, "labels", label != nullptr ? graph.symbol(label) : Value::nil());
    graph.setSlot(note, "timeStamp", Value::integer(static_cast<std::int32_t>(timeStamp)));
    graph.setSlot(note, "height", Value::integer(400));
    if (kind == "paperroll") {
      graph.setSlot(note, "data", i == 0 ? shapesOutOfOrder(graph, pick) : plainShapes(graph, pick, 1 + i % 3));
    } else {
      graph.setSlot(note, "topics", topics(graph, pick, kind == "checkList"));
      graph.setSlot(note, "hideCount", Value::integer(0));
    }
    soup.entries.push_back(finishEntry(graph, note, plan.firstId + static_cast<std::uint32_t>(i), modTime));
  }
  settle(soup);
  return soup;
}

}  // namespace skiff::newton::build
