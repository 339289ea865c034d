#pragma once

class ServerProcess;

// Monitors signing in all at once, as after a server restart: first each with its password
// (a password check each), then, after the server was restarted, each with the resume token its
// first sign-in got, parallel of them at a time (16 at most with the password). Prints the wall
// time and the server's CPU per sign-in of both.
void compareSignInStorms(ServerProcess& server, int monitors, int parallel);
