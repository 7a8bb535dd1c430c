#include "service/PeerAccess.h"

#include <grp.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

bool GroupId(const std::string& name, gid_t& gid) {
    std::vector<char> buffer(16384);
    group entry{};
    group* found = nullptr;
    if (getgrnam_r(name.c_str(), &entry, buffer.data(), buffer.size(), &found) != 0 ||
        found == nullptr) {
        return false;
    }
    gid = found->gr_gid;
    return true;
}

} // namespace

bool CPeerAccess::GroupExists(const std::string& strGroup) {
    gid_t gid = 0;
    return !strGroup.empty() && GroupId(strGroup, gid);
}

bool CPeerAccess::IsMember(uid_t uid, const std::string& strUser, const std::string& strGroup) {
    if (uid == 0) {
        return true;
    }
    gid_t wanted = 0;
    if (strGroup.empty() || !GroupId(strGroup, wanted)) {
        return false;
    }
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr ||
        strUser != found->pw_name) {
        return false;
    }
    if (found->pw_gid == wanted) {
        return true;
    }
    // The account's groups as the group database has them now, not as the client's process
    // had them when it started.
    int count = 64;
    std::vector<gid_t> groups(static_cast<std::size_t>(count));
    while (getgrouplist(found->pw_name, found->pw_gid, groups.data(), &count) < 0) {
        if (count > 65536) {
            return false;
        }
        groups.resize(static_cast<std::size_t>(count));
    }
    groups.resize(static_cast<std::size_t>(count));
    for (gid_t g : groups) {
        if (g == wanted) {
            return true;
        }
    }
    return false;
}

bool CPeerAccess::Of(int fd, const std::string& strEngineers, CPeerAccess& access) {
    ucred credentials{};
    socklen_t length = sizeof credentials;
    if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0) {
        return false;
    }
    access.m_nUid = credentials.uid;
    access.m_nPid = credentials.pid;
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(credentials.uid, &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr) {
        access.m_strUser = found->pw_name;
    } else {
        access.m_strUser = "uid " + std::to_string(credentials.uid);
    }
    access.m_bEngineer = IsMember(credentials.uid, access.m_strUser, strEngineers);
    return true;
}
