#include "ecu/forced_output_notice.h"

namespace m797 {
namespace {

struct EntryName {
    const char* name;
    const char* left;  // "left switched on", agreeing with the name
};

constexpr const char* kFeminine = "включённой";
constexpr const char* kMasculineOrNeuter = "включённым";
constexpr const char* kPlural = "включёнными";

constexpr EntryName kEntries[kActuatorListEntries] = {{"Форсунка 1", kFeminine},
                                                      {"Форсунка 2", kFeminine},
                                                      {"Форсунка 3", kFeminine},
                                                      {"Форсунка 4", kFeminine},
                                                      {"Зажигание 1-4", kMasculineOrNeuter},
                                                      {"Зажигание 2-3", kMasculineOrNeuter},
                                                      {"Реле бензонасоса", kMasculineOrNeuter},
                                                      {"Реле вентилятора 1", kMasculineOrNeuter},
                                                      {"Реле вентилятора 2", kMasculineOrNeuter},
                                                      {"Реле кондиционера", kMasculineOrNeuter},
                                                      {"Реле стартера", kMasculineOrNeuter},
                                                      {"Лампа неисправности", kFeminine},
                                                      {"Регулятор ХХ", kMasculineOrNeuter},
                                                      {"Обороты ХХ", kPlural},
                                                      {"Клапан продувки адсорбера", kMasculineOrNeuter},
                                                      {"Сброс ЭБУ", ""},
                                                      {"Инициализация ЭБУ", ""}};

}  // namespace

const char* actuatorEntryName(int entry) {
    return entry >= 0 && entry < kActuatorListEntries ? kEntries[entry].name : "";
}

std::string forcedOutputNotice(const std::vector<int>& entries) {
    std::string text;
    for (int e : entries) {
        if (e < 0 || e >= kActuatorListEntries || !*kEntries[e].left) continue;
        text += std::string("«") + kEntries[e].name + "» может остаться " + kEntries[e].left +
                " — выключите зажигание\n";
    }
    return text;
}

}  // namespace m797
