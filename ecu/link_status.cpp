#include "ecu/link_status.h"

#include "app/record/cp1251.h"

namespace m797 {
namespace {

struct StatusTexts {
    std::string text[9];
    StatusTexts() {
        const char* utf8[9] = {"Установление связи.", "Ошибка открытия порта!",  "Проверте адаптер!",
                               "Нет ответа.",         "Контроллер не отвечает.", "Адаптер не подключен!",
                               "Данные получены.",    "Конец записи.",           "Помехи на линии!"};
        for (int i = 0; i < 9; ++i) text[i] = toCp1251(utf8[i]);
    }
};

}  // namespace

const std::string& linkStatusText(LinkStatus status) {
    static const StatusTexts texts;
    return texts.text[static_cast<int>(status)];
}

}  // namespace m797
