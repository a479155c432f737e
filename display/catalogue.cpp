#include "display/catalogue.h"

#include <array>

namespace m797 {
namespace {

// The entries' texts and rules are filled in with the live-data work.
std::array<CatalogueEntry, kParameterCount> build() {
    std::array<CatalogueEntry, kParameterCount> t{};
    for (int i = 0; i < kParameterCount; ++i) t[i].number = i + 1;
    return t;
}

}  // namespace

const CatalogueEntry* catalogueEntry(int parameterNumber) {
    static const std::array<CatalogueEntry, kParameterCount> table = build();
    if (parameterNumber < 1 || parameterNumber > kParameterCount) return nullptr;
    return &table[parameterNumber - 1];
}

}  // namespace m797
