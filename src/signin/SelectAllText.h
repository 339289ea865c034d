#pragma once

class QLineEdit;

// Selects the whole text of a box so that typing replaces it; gives the box the focus unless
// noFocus is true.
void SelectAllText(QLineEdit& box, bool noFocus);
