#pragma once

// Builds the main window, the configuration dialog and the log window against a temporary
// start folder and settings file, with message boxes recorded instead of shown.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <memory>
#include <ostream>

#include "app/settings_file.h"
#include "app/ui/error_box.h"
#include "app/ui/frm_config.h"
#include "app/ui/frm_log.h"
#include "app/ui/frm_main.h"
#include "common/activity_log.h"
#include "outlook/outlook_interface.h"

// Readable strings in failure messages.
inline void PrintTo(const QString &s, std::ostream *os)
{
    *os << '"' << s.toStdString() << '"';
}

struct ShownMessage
{
    MessageKind kind;
    QString text;
};

// An Outlook source that says whether it is installed and nothing else.
class FakeOutlook final : public Outlook
{
public:
    explicit FakeOutlook(bool installed) : m_installed(installed) {}
    bool isInstalled() const override { return m_installed; }
    bool isRunning() const override { return m_installed; }
    void connect() override {}
    void displayInbox() override {}
    int unreadItemCount() override { return 0; }
    std::unique_ptr<ContactFolder> openContacts() override { return nullptr; }
    int inboxItemCount() override { return 0; }
    MailItem inboxItem(int) override { return {}; }
    MailItem inboxItemById(const QString &) override { return {}; }

private:
    bool m_installed;
};

inline const QStringList kGatewayLines = {
    QStringLiteral("[Telecom Paging]; (NZ);+64 (26) 4001283;80;;TAP"),
    QStringLiteral("D2 Vodafone;D;01722278000;160;;UCP"),
    QStringLiteral("Short line;D;0190;160;"),
    QStringLiteral("Lower case;D;0190;160;;tap"),
    QStringLiteral("Padded;D;0190;160;; TAP"),
};

class AppUiTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_oldCwd = QDir::currentPath();
        QDir::setCurrent(m_dir.path());
        iniPath = m_dir.filePath(QStringLiteral("Boxvisor.ini"));
    }

    void TearDown() override
    {
        main.reset();
        QDir::setCurrent(m_oldCwd);
    }

    void writeGatewayList(const QStringList &lines = kGatewayLines)
    {
        QFile f(m_dir.filePath(QStringLiteral("SMSProvider.txt")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write((lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8());
    }

    void writeIni(const QByteArray &text)
    {
        QFile f(iniPath);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
    }

    // Creates the windows as the program entry does, main window first.
    void createWindows()
    {
        MainWindowDeps deps;
        deps.log = &log;
        deps.iniPath = iniPath;
        deps.makeOutlook = [this](const ConfigSettings &) {
            return std::make_unique<FakeOutlook>(outlookInstalled);
        };
        deps.terminate = [this] { ++terminateCalls; };
        main = std::make_unique<TFrmMain>(deps);
        main->setConectOutlookHandler([this] { ++conectOutlookCalls; });

        ConfigDialogLinks cl;
        cl.Timer1 = main->Timer1;
        cl.MssgHint = main->MssgHint;
        cl.started = [this] { return main->Started; };
        cl.conectOutlook = [this] { main->ConectOutlook(); };
        cl.readSettingsFile = [this] { return loadSettings(iniPath); };
        config = new TFrmConfig(cl, main.get());
        logWindow = new TFrmLog(log, main.get());

        MainWindowLinks links;
        links.FrmConfig = config;
        links.FrmLog = logWindow;
        links.importContacts = [this] { ++importCalls; };
        links.settingsParticipants.push_back(
            {[this](const ConfigSettings &s) { phoneBookName = s.CBTelName; },
             [this](ConfigSettings &s) { s.CBTelName = phoneBookName; }});
        main->attachWindows(std::move(links));
    }

    int errorCount() const
    {
        return int(std::count_if(messages.begin(), messages.end(),
                                 [](const ShownMessage &m) { return m.kind == MessageKind::Error; }));
    }

    QString iniPath;
    ActivityLog log;
    std::vector<ShownMessage> messages;
    ScopedMessagePresenter presenter{[this](QWidget *, MessageKind kind, const QString &text) {
        messages.push_back({kind, text});
    }};
    bool outlookInstalled = false;
    int terminateCalls = 0;
    int conectOutlookCalls = 0;
    int importCalls = 0;
    int phoneBookName = -1;
    std::unique_ptr<TFrmMain> main;
    TFrmConfig *config = nullptr;
    TFrmLog *logWindow = nullptr;

    QTemporaryDir m_dir;

private:
    QString m_oldCwd;
};
