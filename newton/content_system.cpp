// The soups no application of the user's owns outright: "Packages" (each installed package as an entry whose
// pkgRef is the package file, kept as a large binary, and packageName its name, which a desktop restores with
// "lpkg"), "System" (the user's configuration, one entry per setting, found by `tag`) and "Cities" (the Time
// Zones application's places).
#include "newton/content_build.h"
#include "newton/package_maker.h"

namespace skiff::newton::build {
namespace {

using nsof::Graph;
using nsof::Value;

struct Package {
  const char* name;
  std::size_t partSize;
};
const Package kInternalPackages[] = {{"Calculator Plus:SIMPLE", 3000}, {"Skiff Companion:SKIFF", 8000}};
const Package kCardPackages[] = {{"Tide Tables:HARBOUR", 5000}};

}  // namespace

ContentSoup packagesSoup(const SoupPlan& plan) {
  ContentSoup soup = emptySoup({"Packages", "system", "Extras", "Packages", {{"packageName", "string"}}});
  Pick pick(plan.seed, plan.onCard ? "card Packages" : "Packages");
  const std::span<const Package> packages = plan.onCard ? std::span<const Package>(kCardPackages)
                                                        : std::span<const Package>(kInternalPackages);
  std::uint32_t id = plan.firstId;
  for (const Package& package : packages) {
    Graph graph;
    nsof::LargeBinary data;
    data.cls = graph.symbol("package");
    data.data = makePackage(package.name, someBytes(pick, package.partSize));
    const std::size_t size = data.data.size();
    Value entry = graph.frame({{"packageName", graph.string(package.name)},
                               {"packageSize", Value::integer(static_cast<std::int32_t>(size))},
                               {"pkgRef", graph.largeBinary(std::move(data))},
                               {"timestamp", Value::integer(static_cast<std::int32_t>(plan.now - 60 * 24 * 200))}});
    soup.entries.push_back(finishEntry(graph, entry, id++, plan.now - pick.below(60 * 24 * 200)));
  }
  settle(soup);
  return soup;
}

ContentSoup systemSoup(const SoupPlan& plan) {
  ContentSoup soup = emptySoup({"System", "system", "System", "System settings", {{"tag", "string"}}});
  Pick pick(plan.seed, "System");
  const char* const kTags[] = {"userConfiguration", "location", "homeCity", "printer", "sound", "letterStyle"};
  for (int i = 0; i < plan.count; ++i) {
    Graph graph;
    const std::string tag = std::string(kTags[static_cast<std::size_t>(i) % std::size(kTags)]) +
                            (i >= static_cast<int>(std::size(kTags)) ? std::to_string(i) : "");
    Value entry = graph.frame({{"tag", graph.string(tag)},
                               {"value", Value::integer(static_cast<std::int32_t>(pick.below(1000)))},
                               {"data", graph.binary(graph.symbol("binary"), someBytes(pick, 8 + pick.below(24)))}});
    soup.entries.push_back(finishEntry(graph, entry, plan.firstId + static_cast<std::uint32_t>(i),
                                       plan.now - pick.below(60 * 24 * 400)));
  }
  settle(soup);
  return soup;
}

ContentSoup citiesSoup(const SoupPlan& plan) {
  ContentSoup soup = emptySoup({"Cities", "worldClock", "Time Zones", "Cities", {{"name", "string"}}});
  Pick pick(plan.seed, "Cities");
  struct City {
    const char* name;
    const char* country;
    int gmtMinutes;
  };
  const City kCities[] = {{"Berlin", "Germany", 60}, {"Lisboa", "Portugal", 0}, {"São Paulo", "Brazil", -180},
                          {"Osaka", "Japan", 540},   {"Cupertino", "USA", -480}};
  for (int i = 0; i < plan.count / 2 + 1; ++i) {
    const City& city = kCities[static_cast<std::size_t>(i) % std::size(kCities)];
    Graph graph;
    Value entry = graph.frame({{"name", graph.string(city.name)},
                               {"country", graph.string(city.country)},
                               {"gmt", Value::integer(city.gmtMinutes * 60)},
                               {"latitude", Value::integer(static_cast<std::int32_t>(pick.below(90)))},
                               {"longitude", Value::integer(static_cast<std::int32_t>(pick.below(180)))}});
    soup.entries.push_back(finishEntry(graph, entry, plan.firstId + static_cast<std::uint32_t>(i),
                                       plan.now - pick.below(60 * 24 * 400)));
  }
  settle(soup);
  return soup;
}

}  // namespace skiff::newton::build
