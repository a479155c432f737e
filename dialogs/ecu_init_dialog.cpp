#include "dialogs/ecu_init_dialog.h"

TForm7::TForm7(m797::LiveRecord& record, TForm5* actuatorWindow)
    : ConfirmationDialog(record, actuatorWindow, m797::ActuatorSession::Confirmation::Init,
                         QStringLiteral("Инициализация ЭБУ"),
                         {QStringLiteral("Полный аппаратный сброс блока"),
                          QStringLiteral("с инициализацией и очисткой"),
                          QStringLiteral("данных обучения."), QStringLiteral("Вы уверены?")}) {}
