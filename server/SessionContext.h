#pragma once

class SessionVariables;
class Store;
class XecuteInterpreter;

// What a class method may use: the store, and the variables of the calling session.
struct SessionContext {
    Store& store;
    SessionVariables& variables;
    const XecuteInterpreter& interpreter;
};
