#pragma once

class Store;

// The demo data the monitor can be tried with (described in docs/server.md): company 1 with
// branches 0 and 1, users of every kind the sign-in tells apart, registers and clocks.
namespace DemoData {

// Writes the demo rows in one transaction; existing rows with the same keys are replaced.
void seed(Store& store);

} // namespace DemoData
