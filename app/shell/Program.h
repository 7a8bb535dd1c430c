#pragma once

// The whole program: command line, the simulated line when asked for, the application object
// and its message loop. Returns the process's exit code.
int RunQuorvel(int argc, char** argv);
