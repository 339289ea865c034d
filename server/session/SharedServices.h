#pragma once

class KeyedBudget;
class MemoryBudget;
class ServerLog;
class SignInService;

// What the server shares with each of its sessions.
struct SharedServices {
    SignInService& signIn;
    const ServerLog& log;
    // Unfinished frames and unread replies of all sessions together.
    MemoryBudget& frameBudget;
    MemoryBudget& replyBudget;
    // The parts of the frame budget per address and per signed-in user.
    KeyedBudget& frameShares;
};
