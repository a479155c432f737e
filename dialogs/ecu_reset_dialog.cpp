#include "dialogs/ecu_reset_dialog.h"

TForm6::TForm6(m797::LiveRecord& record, std::function<void(bool yes)> onAnswer)
    : ConfirmationDialog(record, std::move(onAnswer), QStringLiteral("Сбрс ЭБУ"),
                         {QStringLiteral("Полный аппаратны сброс блока"),
                          QStringLiteral("управления  (как по включению)."), QStringLiteral("Вы уверены?")}) {}
