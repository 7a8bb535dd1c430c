#pragma once

// A TCP port on 127.0.0.1 that nobody listens on now (the kernel's choice), for a server a test
// starts; 0 when none could be had.
int FreeLoopbackPort();
// Whether a server takes connections on 127.0.0.1 at the port.
bool LoopbackPortOpen(int nPort);
