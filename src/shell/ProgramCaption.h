#pragma once

#include <QString>

// The fixed table of the monitor programs the main window offers, by index.
inline constexpr int kProgramZeiterfassung = 0;
inline constexpr int kProgramKassa = 1;
inline constexpr int kProgramCount = 2;

// The caption with access key of program index (0 or 1); empty for any other index.
QString ProgramCaption(int index);
