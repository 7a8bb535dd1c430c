#include "app/history/HistorySettingsDlg.h"

#include "app/framework/MessageService.h"
#include "app/history/HistoryRecorder.h"
#include "app/shell/Resource.h"
#include "history/HistoryStore.h"
#include "history/PostgresDatabase.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

} // namespace

CHistorySettingsDlg::CHistorySettingsDlg(const CHistorySettings& settings,
                                         const std::string& strRunTarget, bool bCommandLine,
                                         CHistoryRecorder* pRecorder, QWidget* pParent)
    : CDialog(pParent), m_settings(settings),
      m_pLocal(new QRadioButton(QStringLiteral("The &local file"), this)),
      m_pFile(new QRadioButton(QStringLiteral("Another &SQLite file:"), this)),
      m_pServer(new QRadioButton(QStringLiteral("A plant &database (PostgreSQL):"), this)),
      m_pFileEdit(new QLineEdit(this)), m_pUrlEdit(new QLineEdit(this)),
      m_pPasswordEdit(new QLineEdit(this)), m_pRetention(new QSpinBox(this)),
      m_pStatus(new QLabel(this)) {
    setObjectName(QStringLiteral("HistorySettingsDlg"));
    setWindowTitle(QStringLiteral("History Settings"));
    setMinimumWidth(UnitsToPixelsX(280));

    auto* where = new QGroupBox(QStringLiteral("Record the history in"), this);
    auto* grid = new QGridLayout(where);
    grid->addWidget(m_pLocal, 0, 0);
    auto* localPath = new QLabel(Text(CHistoryStore::DefaultLocalPath()), where);
    localPath->setTextInteractionFlags(Qt::TextSelectableByMouse);
    grid->addWidget(localPath, 0, 1, 1, 2);
    grid->addWidget(m_pFile, 1, 0);
    m_pFileEdit->setObjectName(QStringLiteral("HistoryFile"));
    grid->addWidget(m_pFileEdit, 1, 1);
    auto* browse = new QPushButton(QStringLiteral("&Browse..."), where);
    grid->addWidget(browse, 1, 2);
    grid->addWidget(m_pServer, 2, 0);
    m_pUrlEdit->setObjectName(QStringLiteral("HistoryUrl"));
    m_pUrlEdit->setPlaceholderText(
        QStringLiteral("postgresql://user@host:5432/database or postgresql:///?service=name"));
    grid->addWidget(m_pUrlEdit, 2, 1, 1, 2);
    auto* passwordLabel = new QLabel(QStringLiteral("&Password:"), where);
    passwordLabel->setBuddy(m_pPasswordEdit);
    grid->addWidget(passwordLabel, 3, 0, Qt::AlignRight);
    m_pPasswordEdit->setObjectName(QStringLiteral("HistoryPassword"));
    m_pPasswordEdit->setEchoMode(QLineEdit::Password);
    m_pPasswordEdit->setPlaceholderText(QStringLiteral("Leave empty to keep the stored password"));
    grid->addWidget(m_pPasswordEdit, 3, 1, 1, 2);
    auto* keeping = new QLabel(
        QStringLiteral(
            "Passwords are kept in the desktop keyring, or in ~/.pgpass where none runs."),
        where);
    grid->addWidget(keeping, 4, 0, 1, 3);
    auto* outbox = new QLabel(QStringLiteral("While the plant database cannot be reached, records "
                                             "wait in the local file and are sent later."),
                              where);
    outbox->setWordWrap(true);
    grid->addWidget(outbox, 5, 0, 1, 3);
    grid->setColumnStretch(1, 1);

    auto* keep = new QHBoxLayout;
    auto* keepLabel = new QLabel(QStringLiteral("&Keep records in the local file for"), this);
    keepLabel->setBuddy(m_pRetention);
    m_pRetention->setObjectName(QStringLiteral("HistoryRetention"));
    m_pRetention->setRange(0, CHistorySettings::kMaxRetentionDays);
    m_pRetention->setSuffix(QStringLiteral(" days"));
    m_pRetention->setSpecialValueText(QStringLiteral("ever"));
    keep->addWidget(keepLabel);
    keep->addWidget(m_pRetention);
    keep->addWidget(new QLabel(QStringLiteral("(0 keeps all)"), this));
    keep->addStretch(1);

    auto* now = new QGroupBox(QStringLiteral("Now"), this);
    auto* nowLayout = new QVBoxLayout(now);
    if (bCommandLine) {
        auto* note = new QLabel(
            Text("This run records to " +
                 (strRunTarget.empty() ? std::string("the local file")
                                       : CHistorySettings::Masked(strRunTarget)) +
                 " as given with --history on the command line; a choice made here is stored "
                 "for the next start."),
            now);
        note->setObjectName(QStringLiteral("HistoryCommandLine"));
        note->setWordWrap(true);
        nowLayout->addWidget(note);
    }
    m_pStatus->setObjectName(QStringLiteral("HistoryStatusText"));
    m_pStatus->setWordWrap(true);
    m_pStatus->setTextInteractionFlags(Qt::TextSelectableByMouse);
    nowLayout->addWidget(m_pStatus);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &CHistorySettingsDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(where);
    layout->addLayout(keep);
    layout->addWidget(now);
    layout->addWidget(buttons);

    // The stored choice; a stored password stays where it is kept.
    switch (CHistorySettings::KindOf(m_settings.m_strTarget)) {
    case CHistorySettings::Kind::localFile:
        m_pLocal->setChecked(true);
        break;
    case CHistorySettings::Kind::otherFile:
        m_pFile->setChecked(true);
        m_pFileEdit->setText(Text(m_settings.m_strTarget));
        break;
    case CHistorySettings::Kind::plantDatabase: {
        m_pServer->setChecked(true);
        std::string ignored;
        m_pUrlEdit->setText(Text(CHistorySettings::SplitPassword(m_settings.m_strTarget, ignored)));
        break;
    }
    }
    m_pRetention->setValue(m_settings.m_nRetentionDays);
    for (QRadioButton* button : {m_pLocal, m_pFile, m_pServer}) {
        connect(button, &QRadioButton::toggled, this, &CHistorySettingsDlg::EnableFields);
    }
    connect(browse, &QPushButton::clicked, this, &CHistorySettingsDlg::Browse);
    EnableFields();

    if (pRecorder != nullptr) {
        ShowStatus(pRecorder->GetStatus());
        connect(pRecorder, &CHistoryRecorder::StatusChanged, this,
                &CHistorySettingsDlg::ShowStatus);
    } else {
        ShowStatus(CHistoryStatus());
    }
}

std::string CHistorySettingsDlg::DescribeStatus(const CHistoryStatus& status) {
    using State = CHistoryStatus::State;
    using Server = CHistoryStatus::Server;
    std::string text = "Local file: ";
    switch (status.m_state) {
    case State::off:
        text += "not recording";
        break;
    case State::opening:
        text += status.m_strLocalPath + ", opening";
        break;
    case State::ok:
        text += status.m_strLocalPath + ", recording";
        break;
    case State::holding:
        text += status.m_strLocalPath + ", " + status.m_strProblem + "; " +
                std::to_string(status.m_nHeld) + " records held in memory";
        break;
    case State::failed:
        text += "not recording: " + status.m_strProblem;
        break;
    }
    text += "\nPlant database: ";
    switch (status.m_server) {
    case Server::none:
        text += "none";
        break;
    case Server::connecting:
        text += CHistorySettings::Masked(status.m_strServer) + ", connecting";
        break;
    case Server::online:
        text += CHistorySettings::Masked(status.m_strServer) + ", reachable";
        break;
    case Server::unreachable:
        text += CHistorySettings::Masked(status.m_strServer) +
                ", cannot be reached: " + status.m_strServerError;
        break;
    case Server::refused:
        text +=
            CHistorySettings::Masked(status.m_strServer) + ", refused: " + status.m_strServerError;
        break;
    }
    text +=
        "\nWaiting in the local file for the plant database: " + std::to_string(status.m_nWaiting) +
        (status.m_nUnreadable != 0
             ? "\nCannot be read from the local file: " + std::to_string(status.m_nUnreadable)
             : std::string()) +
        "\nRecorded since the start: " + std::to_string(status.m_nRecorded) +
        "\nLost: " + std::to_string(status.m_nDropped);
    return text;
}

void CHistorySettingsDlg::ShowStatus(const CHistoryStatus& status) {
    m_pStatus->setText(Text(DescribeStatus(status)));
}

void CHistorySettingsDlg::EnableFields() {
    m_pFileEdit->setEnabled(m_pFile->isChecked());
    m_pUrlEdit->setEnabled(m_pServer->isChecked());
    m_pPasswordEdit->setEnabled(m_pServer->isChecked());
}

void CHistorySettingsDlg::Browse() {
    const QString chosen =
        QFileDialog::getSaveFileName(this, QStringLiteral("History File"), m_pFileEdit->text(),
                                     QStringLiteral("History files (*.db);;All files (*)"), nullptr,
                                     QFileDialog::DontConfirmOverwrite);
    if (!chosen.isEmpty()) {
        m_pFileEdit->setText(chosen);
        m_pFile->setChecked(true);
    }
}

void CHistorySettingsDlg::accept() {
    CHistorySettings chosen = m_settings;
    chosen.m_nRetentionDays = m_pRetention->value();
    if (m_pLocal->isChecked()) {
        chosen.m_strTarget.clear();
    } else if (m_pFile->isChecked()) {
        chosen.m_strTarget = m_pFileEdit->text().trimmed().toStdString();
        // A file name that looks like an address would be taken for one.
        if (chosen.m_strTarget.empty() ||
            CHistorySettings::KindOf(chosen.m_strTarget) != CHistorySettings::Kind::otherFile) {
            AfxMessageBox(IDS_HISTORY_NO_FILE, MB_OK | MB_ICONEXCLAMATION);
            m_pFileEdit->setFocus();
            return;
        }
    } else {
        const std::string url = m_pUrlEdit->text().trimmed().toStdString();
        if (!CPostgresDatabase::IsUrl(url) || url.size() <= url.find("://") + 3) {
            AfxMessageBox(IDS_HISTORY_BAD_URL, MB_OK | MB_ICONEXCLAMATION);
            m_pUrlEdit->setFocus();
            return;
        }
        // A password typed into the address counts unless the password field has one.
        std::string typed;
        const std::string bare = CHistorySettings::SplitPassword(url, typed);
        const std::string password =
            m_pPasswordEdit->text().isEmpty() ? typed : m_pPasswordEdit->text().toStdString();
        std::string problem;
        if (!password.empty() && !CHistorySettings::StorePassword(bare, password, problem)) {
            AfxMessageBox("The password cannot be stored: " + CHistorySettings::Masked(problem),
                          MB_OK | MB_ICONEXCLAMATION);
            m_pPasswordEdit->setFocus();
            return;
        }
        chosen.m_strTarget = bare;
    }
    m_settings = chosen;
    CDialog::accept();
}
