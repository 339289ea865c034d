#include "DemoData.h"

#include "PasswordHash.h"
#include "Store.h"

namespace DemoData {

namespace {

void seedPersonnel(Store& store) {
    // code, password, active, name (logical), personnel no., department, extension, rights
    const UserRecord users[] = {
        {1, "DEMO", "demo", "J", "Muster,Dora", "1001", "10", "201", "9"},
        {1, "LESER", "leser", "J", "Leser,Lukas", "1002", "20", "202", "5"},
        {1, "ALT", "alt", "N", "Altmann,Anton", "1003", "10", "203", "9"},
        {1, "CHEF", "chef", "J", "Berger,Brigitte", "1004", "1", "100", "8"},
        {1, "OHNEABT", "ohneabt", "J", "Irrweg,Ida", "1005", "99", "205", "9"},
        {1, "OHNEBASIS", "ohnebasis", "J", "Leer,Ludwig", "1099", "10", "206", "9"},
        {2, "DEMO", "demo2", "J", "Zweite,Zora", "2001", "10", "301", "9"},
    };
    for (UserRecord user : users) {
        // The table above holds the demo passwords; the store gets their hashes only.
        user.passwordHash = QString::fromLatin1(PasswordHash::make(user.passwordHash));
        store.putUser(user);
    }
    const DepartmentRecord departments[] = {
        {1, "1", "Geschäftsleitung", "1"},
        {1, "10", "Verwaltung^EDV", "1"},
        {1, "20", "Verkauf^Filialen", "1"},
        {2, "10", "Zentrale", "10"},
    };
    for (const DepartmentRecord& department : departments) {
        store.putDepartment(department);
    }
    const BaseDataRecord baseData[] = {
        {1, "1001", "+43 1 234 5678-99", " Dora.Muster@LORVEX.Example "},
        {1, "1002", "+43 1 234 5678-98", "lukas.leser@Lorvex.Example"},
        {1, "1003", "", "anton.altmann@lorvex.example"},
        {1, "1004", "+43 1 234 5678-90", "Brigitte.Berger@LORVEX.EXAMPLE"},
        {1, "1005", "", "ida.irrweg@lorvex.example"},
        {2, "2001", "+43 2 222 2222", "zora.zweite@lorvex.example"},
    };
    for (const BaseDataRecord& data : baseData) {
        store.putBaseData(data);
    }
}

void seedTelemetry(Store& store) {
    store.clearRegisters(1, 0);
    store.clearRegisters(1, 1);
    // Branch 0: registers 3 and 5 report from two terminals each.
    const RegisterRecord registers[] = {
        {1, 0, 0, "3", "2", "815", "817"}, {1, 0, 0, "5", "1", "020", "020"},
        {1, 0, 0, "3", "4", "810", "816"}, {1, 0, 0, "7", "0", "1200", "1200"},
        {1, 0, 0, "5", "3", "021", "023"}, {1, 0, 0, "12", "007", "4410", "4416"},
        {1, 1, 0, "1", "5", "300", "304"}, {1, 1, 0, "2", "0", "118", "118"},
        {1, 1, 0, "1", "1", "299", "299"},
    };
    for (const RegisterRecord& record : registers) {
        store.appendRegister(record);
    }
    // Branch 0: clock 3 is off by three counts on its first counter.
    const ClockRecord clocks[] = {
        {1, 0, 1, "1", "10250", "10250", "5120", "5120"},
        {1, 0, 2, "2", "8800", "8800", "4400", "4400"},
        {1, 0, 3, "3", "7300", "7297", "3650", "3650"},
        {1, 0, 4, "4", "620", "620", "310", "310"},
        {1, 1, 1, "11", "2040", "2040", "1020", "1020"},
        {1, 1, 2, "12", "1500", "1500", "750", "751"},
        {1, 1, 3, "13", "980", "980", "490", "490"},
        {1, 1, 4, "14", "75", "75", "40", "40"},
    };
    for (const ClockRecord& clock : clocks) {
        store.putClock(clock);
    }
}

} // namespace

void seed(Store& store) {
    store.inTransaction([&store] {
        seedPersonnel(store);
        seedTelemetry(store);
    });
}

} // namespace DemoData
