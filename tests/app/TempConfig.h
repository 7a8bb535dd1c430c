#pragma once

#include <QDir>
#include <QTemporaryDir>

#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// A fresh settings folder, data folder (the history) and working folder for one test:
// XDG_CONFIG_HOME and XDG_DATA_HOME point into a temporary folder, and the process works in
// another, until the object goes. Database passwords go to a password file in the temporary
// folder, never to a keyring or the user's own files.
class CTempConfig {
public:
    CTempConfig() {
        Set("XDG_CONFIG_HOME", ConfigHome());
        Set("XDG_DATA_HOME", DataHome());
        Set("PGPASSFILE", PasswordFile());
        Set("PGSERVICEFILE", Root() + "/pg_service.conf");
        Set("QUORVEL_KEYRING", "off");
        m_oldCwd = QDir::currentPath();
        QDir(QString::fromStdString(ConfigHome())).mkpath(".");
        QDir(QString::fromStdString(WorkDir())).mkpath(".");
        QDir::setCurrent(QString::fromStdString(WorkDir()));
    }
    ~CTempConfig() {
        QDir::setCurrent(m_oldCwd);
        for (const auto& [name, old] : m_oldEnv) {
            if (old) {
                setenv(name.c_str(), old->c_str(), 1);
            } else {
                unsetenv(name.c_str());
            }
        }
    }
    CTempConfig(const CTempConfig&) = delete;
    CTempConfig& operator=(const CTempConfig&) = delete;

    std::string Root() const { return m_dir.path().toStdString(); }
    std::string ConfigHome() const { return Root() + "/config"; }
    std::string WorkDir() const { return Root() + "/work"; }
    std::string DataHome() const { return Root() + "/data"; }
    std::string ProgramFolder() const { return ConfigHome() + "/Velmora/Quorvel"; }
    std::string PasswordFile() const { return Root() + "/pgpass"; }

private:
    void Set(const std::string& name, const std::string& value) {
        const char* old = std::getenv(name.c_str());
        m_oldEnv.emplace_back(name, old != nullptr ? std::optional<std::string>(old)
                                                   : std::optional<std::string>());
        setenv(name.c_str(), value.c_str(), 1);
    }

    QTemporaryDir m_dir;
    std::vector<std::pair<std::string, std::optional<std::string>>> m_oldEnv;
    QString m_oldCwd;
};
