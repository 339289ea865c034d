#include "shell/ProgramCaption.h"

QString ProgramCaption(int index) {
    switch (index) {
    case kProgramZeiterfassung:
        return QStringLiteral("&Zeiterfassung");
    case kProgramKassa:
        return QStringLiteral("&Kassa");
    default:
        return {};
    }
}
