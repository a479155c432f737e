#include "dialogs/ecu_reset_dialog.h"

TForm6::TForm6(m797::LiveRecord& record, TForm5* actuatorWindow)
    : ConfirmationDialog(record, actuatorWindow, m797::ActuatorSession::Confirmation::Reset,
                         QStringLiteral("Сбрс ЭБУ"),
                         {QStringLiteral("Полный аппаратны сброс блока"),
                          QStringLiteral("управления  (как по включению)."),
                          QStringLiteral("Вы уверены?")}) {}
