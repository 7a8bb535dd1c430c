#pragma once

#include <string>

// The desktop keyring (Secret Service, KWallet) through QtKeychain, entries under the service
// "Quorvel". Its jobs are asynchronous: each call waits for its answer on a local event loop,
// at most kTimeoutMs. A keyring that does not answer, or answers with any error but the user's
// refusal, counts as unavailable for the rest of the run. QUORVEL_KEYRING=off in the environment
// (and the offscreen platform, where nobody could unlock one) means no keyring at all.
class CKeyring {
public:
    enum class Result { done, notFound, refused, unavailable };

    static constexpr const char* kService = "Quorvel";
    static constexpr int kTimeoutMs = 5000;

    static bool IsAvailable();

    static Result Write(const std::string& strKey, const std::string& strPassword,
                        std::string& strError);
    static Result Read(const std::string& strKey, std::string& strPassword);
};
