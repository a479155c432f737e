#include "dialogs/ecu_init_dialog.h"

TForm7::TForm7(m797::LiveRecord& record, std::function<void(bool yes)> onAnswer)
    : ConfirmationDialog(
          record, std::move(onAnswer), QStringLiteral("Инициализация ЭБУ"),
          {QStringLiteral("Полный аппаратный сброс блока"), QStringLiteral("с инициализацией и очисткой"),
           QStringLiteral("данных обучения."), QStringLiteral("Вы уверены?")}) {}
