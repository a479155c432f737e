#pragma once
// The two kinds of adapter the line can go through: the plain K-line adapter
// (echoes every byte, leaves the wake-up and all timing to the program) and
// an ELM327-type interpreter (text, does the fast initialisation itself).

#include <optional>
#include <string_view>

namespace m797 {

enum class AdapterKind { KLine, Elm327 };

// "kline" and "elm327", as on the command line and in the settings.
constexpr std::string_view adapterKindName(AdapterKind kind) {
    return kind == AdapterKind::Elm327 ? "elm327" : "kline";
}

constexpr std::optional<AdapterKind> parseAdapterKind(std::string_view name) {
    if (name == "kline") return AdapterKind::KLine;
    if (name == "elm327") return AdapterKind::Elm327;
    return std::nullopt;
}

}  // namespace m797
