#pragma once

#include <QDir>
#include <QTemporaryDir>

#include <cstdlib>
#include <optional>
#include <string>

// A fresh settings folder, data folder (the history) and working folder for one test:
// XDG_CONFIG_HOME and XDG_DATA_HOME point into a temporary folder, and the process works in
// another, until the object goes.
class CTempConfig {
public:
    CTempConfig() {
        if (const char* old = std::getenv("XDG_CONFIG_HOME")) {
            m_oldXdg = old;
        }
        if (const char* old = std::getenv("XDG_DATA_HOME")) {
            m_oldData = old;
        }
        m_oldCwd = QDir::currentPath();
        setenv("XDG_CONFIG_HOME", ConfigHome().c_str(), 1);
        setenv("XDG_DATA_HOME", DataHome().c_str(), 1);
        QDir(QString::fromStdString(ConfigHome())).mkpath(".");
        QDir(QString::fromStdString(WorkDir())).mkpath(".");
        QDir::setCurrent(QString::fromStdString(WorkDir()));
    }
    ~CTempConfig() {
        QDir::setCurrent(m_oldCwd);
        if (m_oldXdg) {
            setenv("XDG_CONFIG_HOME", m_oldXdg->c_str(), 1);
        } else {
            unsetenv("XDG_CONFIG_HOME");
        }
        if (m_oldData) {
            setenv("XDG_DATA_HOME", m_oldData->c_str(), 1);
        } else {
            unsetenv("XDG_DATA_HOME");
        }
    }
    CTempConfig(const CTempConfig&) = delete;
    CTempConfig& operator=(const CTempConfig&) = delete;

    std::string Root() const { return m_dir.path().toStdString(); }
    std::string ConfigHome() const { return Root() + "/config"; }
    std::string WorkDir() const { return Root() + "/work"; }
    std::string DataHome() const { return Root() + "/data"; }
    std::string ProgramFolder() const { return ConfigHome() + "/Velmora/Quorvel"; }

private:
    QTemporaryDir m_dir;
    std::optional<std::string> m_oldXdg;
    std::optional<std::string> m_oldData;
    QString m_oldCwd;
};
