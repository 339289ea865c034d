#pragma once

#include "platform/MessageBoxes.h"

// Application-modal QMessageBox with German button texts.
class QtMessageBoxes : public MessageBoxes {
public:
    MsgAnswer show(const QString& text, const QString& title, MsgButtons buttons,
                   MsgIcon icon) override;
};
