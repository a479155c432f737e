#pragma once
// TForm7: confirms the reset with initialisation that also clears the learnt
// data (ECUReset mode 0x90).

#include "dialogs/confirmation_dialog.h"

class TForm7 : public ConfirmationDialog {
    Q_OBJECT
public:
    TForm7(m797::LiveRecord& record, std::function<void(bool yes)> onAnswer);
};
