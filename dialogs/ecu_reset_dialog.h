#pragma once
// TForm6: confirms the control unit's hardware reset (ECUReset mode 0x01).

#include "dialogs/confirmation_dialog.h"

class TForm6 : public ConfirmationDialog {
    Q_OBJECT
public:
    TForm6(m797::LiveRecord& record, std::function<void(bool yes)> onAnswer);
};
