#pragma once

#include <QDir>
#include <QTemporaryDir>

#include <cstdlib>
#include <optional>
#include <string>

// A fresh settings folder and working folder for one test: XDG_CONFIG_HOME points into a
// temporary folder, and the process works in another, until the object goes.
class CTempConfig {
public:
    CTempConfig() {
        if (const char* old = std::getenv("XDG_CONFIG_HOME")) {
            m_oldXdg = old;
        }
        m_oldCwd = QDir::currentPath();
        setenv("XDG_CONFIG_HOME", ConfigHome().c_str(), 1);
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
    }
    CTempConfig(const CTempConfig&) = delete;
    CTempConfig& operator=(const CTempConfig&) = delete;

    std::string Root() const { return m_dir.path().toStdString(); }
    std::string ConfigHome() const { return Root() + "/config"; }
    std::string WorkDir() const { return Root() + "/work"; }
    std::string ProgramFolder() const { return ConfigHome() + "/Velmora/Quorvel"; }

private:
    QTemporaryDir m_dir;
    std::optional<std::string> m_oldXdg;
    QString m_oldCwd;
};
