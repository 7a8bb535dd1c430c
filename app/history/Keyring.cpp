#include "app/history/Keyring.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QGuiApplication>
#include <QTimer>
#include <qt6keychain/keychain.h>

#include <cstdlib>
#include <cstring>

namespace {

bool g_bUnavailable = false;

// Starts a job and waits for it; false when it did not finish in time.
bool Run(QKeychain::Job* pJob) {
    pJob->setAutoDelete(false);
    QEventLoop loop;
    bool finished = false;
    QObject::connect(pJob, &QKeychain::Job::finished, &loop, [&] {
        finished = true;
        loop.quit();
    });
    QTimer::singleShot(CKeyring::kTimeoutMs, &loop, &QEventLoop::quit);
    pJob->start();
    if (!finished) {
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    return finished;
}

// A job is let go of once its outcome has been read; one still running goes when it finishes.
void Release(QKeychain::Job* pJob, bool finished) {
    if (finished) {
        pJob->deleteLater();
    } else {
        pJob->setAutoDelete(true);
    }
}

// The outcome of a finished job (or one that did not finish).
CKeyring::Result Outcome(bool finished, QKeychain::Job* pJob) {
    if (!finished) {
        g_bUnavailable = true;
        return CKeyring::Result::unavailable;
    }
    switch (pJob->error()) {
    case QKeychain::NoError:
        return CKeyring::Result::done;
    case QKeychain::EntryNotFound:
        return CKeyring::Result::notFound;
    case QKeychain::AccessDeniedByUser:
        return CKeyring::Result::refused;
    default:
        // No backend, no session bus, a locked or broken service: none to rely on.
        g_bUnavailable = true;
        return CKeyring::Result::unavailable;
    }
}

} // namespace

bool CKeyring::IsAvailable() {
    if (g_bUnavailable || QCoreApplication::instance() == nullptr) {
        return false;
    }
    const char* setting = std::getenv("QUORVEL_KEYRING");
    if (setting != nullptr && std::strcmp(setting, "off") == 0) {
        return false;
    }
    return QGuiApplication::platformName() != QStringLiteral("offscreen");
}

CKeyring::Result CKeyring::Write(const std::string& strKey, const std::string& strPassword,
                                 std::string& strError) {
    if (!IsAvailable()) {
        return Result::unavailable;
    }
    auto* job = new QKeychain::WritePasswordJob(QString::fromLatin1(kService),
                                                QCoreApplication::instance());
    job->setKey(QString::fromStdString(strKey));
    job->setTextData(QString::fromStdString(strPassword));
    const bool finished = Run(job);
    const Result result = Outcome(finished, job);
    if (finished && result != Result::done) {
        strError = job->errorString().toStdString();
    }
    Release(job, finished);
    return result;
}

CKeyring::Result CKeyring::Read(const std::string& strKey, std::string& strPassword) {
    strPassword.clear();
    if (!IsAvailable()) {
        return Result::unavailable;
    }
    auto* job =
        new QKeychain::ReadPasswordJob(QString::fromLatin1(kService), QCoreApplication::instance());
    job->setKey(QString::fromStdString(strKey));
    const bool finished = Run(job);
    const Result result = Outcome(finished, job);
    if (result == Result::done) {
        strPassword = job->textData().toStdString();
    }
    Release(job, finished);
    return result;
}
