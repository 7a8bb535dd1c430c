#include "network/ZarnPacket.h"
#include "network/ZarnError.h"

namespace {
unsigned char Rotl(unsigned char x) {
    return static_cast<unsigned char>((x << 1) | (x >> 7));
}
} // namespace

unsigned char ZarnChecksum(const COAXNWKPACKET& p) {
    return static_cast<unsigned char>(p.dest + p.code + p.src + p.data_lo + p.data_hi);
}

unsigned char ZarnRotatingCheck(const COAXNWKPACKET& p) {
    unsigned char r = Rotl(p.dest ^ p.code);
    r = Rotl(r ^ p.src);
    r = Rotl(r ^ p.data_lo);
    r = Rotl(r ^ p.data_hi);
    return r ^ p.csum;
}

COAXNWKPACKET MakeZarnPacket(unsigned char dest, unsigned char code, unsigned char src,
                             std::uint16_t data) {
    COAXNWKPACKET p{ZARN_START,
                    dest,
                    code,
                    src,
                    static_cast<unsigned char>(data & 0xFF),
                    static_cast<unsigned char>(data >> 8),
                    0,
                    0};
    p.csum = ZarnChecksum(p);
    p.lrc = ZarnRotatingCheck(p);
    return p;
}

const char* ZarnErrorText(ZarnError error) {
    switch (error) {
    case ZarnError::none:
        return "no error";
    case ZarnError::nodeRefused:
        return "node ID above the highest accepted one";
    case ZarnError::portClosed:
        return "the port is not open";
    case ZarnError::writeFailed:
        return "the request could not be written";
    case ZarnError::noEcho:
        return "the line did not echo the request";
    case ZarnError::echoDiffers:
        return "the echo differs from the request";
    case ZarnError::otherRequest:
        return "the line carried another request in place of this one";
    case ZarnError::noReply:
        return "no reply";
    case ZarnError::shortReply:
        return "incomplete reply";
    case ZarnError::badChecksum:
        return "reply checksum wrong";
    case ZarnError::badRotatingCheck:
        return "reply rotating check wrong";
    case ZarnError::wrongDestination:
        return "reply not addressed to the controller";
    case ZarnError::wrongSource:
        return "reply from another node";
    case ZarnError::unexpectedCode:
        return "unexpected reply code";
    case ZarnError::wrongEndValue:
        return "end value or count wrong";
    case ZarnError::lineLost:
        return "the line is lost (the port's device failed)";
    case ZarnError::capacityExceeded:
        return "more batch entries than room for them";
    case ZarnError::refused:
        return "refused by the line service";
    }
    return "unknown error";
}
