// Portable rules of the catalog file: how many entries an evaluation visits.
#pragma once

// The evaluation visits entries 1 to COUNT, and never more than this many:
// a catalog that claims two billion entries must not hold the window back.
constexpr int kCatalogEntryLimit = 10000;

// The number of entries to visit for the COUNT value `count`: 0 for none or
// a negative value, at most kCatalogEntryLimit.
inline int EntriesToVisit(int count) {
    return count < 0 ? 0 : count > kCatalogEntryLimit ? kCatalogEntryLimit : count;
}
