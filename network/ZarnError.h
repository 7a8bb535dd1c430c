#pragma once

#include "base/Export.h"

// Why the last analyser request failed, for diagnostics; the members' results stay 1 or 0.
enum class ZarnError {
    none,
    nodeRefused,      // node above the highest accepted ID; nothing sent
    portClosed,       // the port is not open
    writeFailed,      // the request could not be written
    noEcho,           // the line did not return the request
    echoDiffers,      // the echo differs from the request (a collision or noise)
    otherRequest,     // the echo is another valid request: noise made one (see GetCarriedRequest)
    noReply,          // nothing arrived within the read time-out
    shortReply,       // fewer bytes than a whole packet arrived
    badChecksum,      // checksum byte wrong
    badRotatingCheck, // rotating check byte wrong
    wrongDestination, // reply not addressed to the controller
    wrongSource,      // reply from another node
    unexpectedCode,   // a reply code other than the one the request waits for
    wrongEndValue,    // the end packet's value disagrees with what was received
    capacityExceeded, // more batch entries than the caller's array holds
    lineLost,         // the port's device failed (unplugged, hung up, closed by its server)
    refused,          // the line service refused it for this user; nothing sent
};

LINTARO_API const char* ZarnErrorText(ZarnError error);
