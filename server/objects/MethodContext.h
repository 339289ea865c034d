#pragma once

struct SignedInUser;
class ProcessVariables;
class Store;
class XecuteInterpreter;

// What a class method may use: the store, and the variables and the signed-in user of the
// calling session.
struct MethodContext {
    Store& store;
    ProcessVariables& variables;
    const XecuteInterpreter& interpreter;
    const SignedInUser* identity;
};
