#pragma once

struct SessionIdentity;
class SessionVariables;
class Store;
class XecuteInterpreter;

// What a class method may use: the store, and the variables and the signed-in user of the
// calling session.
struct SessionContext {
    Store& store;
    SessionVariables& variables;
    const XecuteInterpreter& interpreter;
    const SessionIdentity* identity;
};
