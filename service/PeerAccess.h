#pragma once

#include <string>
#include <sys/types.h>

// Who is on the other end of a client socket (SO_PEERCRED) and whether that account may change
// analysers: root and the members of the engineers' group may; everybody else may only read.
class CPeerAccess {
public:
    uid_t m_nUid = static_cast<uid_t>(-1);
    pid_t m_nPid = 0;
    std::string m_strUser; // the account's name, "uid N" when it has none
    bool m_bEngineer = false;

    // False when the socket tells nothing of its peer.
    static bool Of(int fd, const std::string& strEngineers, CPeerAccess& access);
    // Whether the account (by uid and name) is root or in the group.
    static bool IsMember(uid_t uid, const std::string& strUser, const std::string& strGroup);
    static bool GroupExists(const std::string& strGroup);
};
