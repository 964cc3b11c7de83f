#include "callnotify/ui/frm_tel_book.h"

#include "app/box_client.h"
#include "app/settings_file.h"
#include "callnotify/call_handler.h"
#include "callnotify/phone_book.h"
#include "common/activity_log.h"
#include "common/error.h"
#include "outlook/vcard_outlook.h"
#include "support/test_paths.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <ostream>

inline void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace {
class FakeBox final : public BoxClient
{
public:
    QString address() const override { return QStringLiteral("192.0.2.1"); }
    QByteArray httpGet(const QByteArray &target, AfterRequest) override
    {
        targets.append(target);
        if (fail)
            throw TransferError(QStringLiteral("Die Box 192.0.2.1 antwortet nicht."), 7);
        return "+ok";
    }
    std::unique_ptr<FtpSession> ftpConnect() override
    {
        throw TransferError(QStringLiteral("no FTP here"), 0);
    }

    QList<QByteArray> targets;
    bool fail = false;
};

class TelBookTest : public ::testing::Test
{
protected:
    TelBookTest()
        : source([this] { return contactsFile; }),
          handler(
              [] {
                  return CallSettings{true, QStringLiteral("41"), true, QStringLiteral("10"), false, 10, 10};
              },
              CallerFields{callerNumber, callerName, calledNumber}, book, box, log),
          window(deps())
    {
    }

    TelBookDeps deps()
    {
        TelBookDeps d;
        d.phoneBook = &book;
        d.callHandler = &handler;
        d.outlook = [this]() -> Outlook * {
            ++outlookAsked;
            return &source;
        };
        d.pb1 = &pb1;
        d.showError = [this](QWidget *, const QString &text) { errors.append(text); };
        return d;
    }

    QString cell(int row, int column) const
    {
        const QTableWidgetItem *item = window.sg1->item(row, column);
        return item ? item->text() : QString();
    }

    QString contactsFile = testpaths::fixturesDir() + QStringLiteral("/vcard/outlook21.vcf");
    VCardOutlook source;
    PhoneBook book;
    FakeBox box;
    ActivityLog log;
    QString callerNumber;
    QString callerName;
    QString calledNumber;
    CallHandler handler;
    QProgressBar pb1;
    QStringList errors;
    int outlookAsked = 0;
    TFrmTelBook window;
};
} // namespace

TEST_F(TelBookTest, StartsEmptyWithTheDefaultChoices)
{
    EXPECT_EQ(window.objectName(), QStringLiteral("FrmTelBook"));
    EXPECT_EQ(window.windowTitle(), QStringLiteral("++ Outlook Telefonbook ++"));
    EXPECT_EQ(window.CBTelName->count(), 65);
    EXPECT_EQ(window.CbTelNumber->count(), 9);
    EXPECT_EQ(window.CBTelName->currentText(), QStringLiteral("Business2TelephoneNumber "));
    EXPECT_EQ(window.CbTelNumber->currentText(), QStringLiteral("BusinessFaxNumber "));
    EXPECT_FALSE(window.CBTelName->isEditable());
    EXPECT_FALSE(window.chkMatchNotations->isChecked());
    EXPECT_EQ(window.sg1->columnCount(), 4);
    EXPECT_EQ(window.sg1->rowCount(), 2);
    EXPECT_EQ(window.sg1->columnWidth(1), 240);
    EXPECT_EQ(window.sg1->palette().color(QPalette::Base), QColor(255, 255, 164));
    EXPECT_EQ(outlookAsked, 0);
}

TEST_F(TelBookTest, SettingsLoadWithoutImportAndStoreBack)
{
    ConfigSettings settings;
    settings.CBTelName = 28;
    settings.CBTelNumber = 6;
    settings.MatchNotations = true;
    window.loadSettings(settings);
    EXPECT_EQ(outlookAsked, 0);
    EXPECT_EQ(window.CBTelName->currentText(), QStringLiteral("FullName "));
    EXPECT_EQ(window.CbTelNumber->currentText(), QStringLiteral("HomeTelephoneNumber "));
    EXPECT_EQ(book.matching(), NumberMatching::AnyNotation);

    ConfigSettings stored;
    window.storeSettings(stored);
    EXPECT_EQ(stored.CBTelName, 28);
    EXPECT_EQ(stored.CBTelNumber, 6);
    EXPECT_TRUE(stored.MatchNotations);

    settings.CBTelName = 99; // no such item: no selection, the import then reads FirstName
    settings.MatchNotations = false;
    window.loadSettings(settings);
    EXPECT_EQ(window.CBTelName->currentIndex(), -1);
    EXPECT_EQ(book.matching(), NumberMatching::Exact);
    window.storeSettings(stored);
    EXPECT_EQ(stored.CBTelName, -1);
    EXPECT_FALSE(stored.MatchNotations);

    QTest::mouseClick(window.chkMatchNotations, Qt::LeftButton);
    EXPECT_EQ(book.matching(), NumberMatching::AnyNotation);
}

TEST_F(TelBookTest, RefreshFillsTheGridAndHidesTheProgressBar)
{
    ConfigSettings settings;
    settings.CBTelName = 28;
    settings.CBTelNumber = 6;
    window.loadSettings(settings);
    pb1.show();
    QTest::mouseClick(window.BtnRefresh, Qt::LeftButton);

    EXPECT_TRUE(errors.isEmpty());
    ASSERT_EQ(window.sg1->rowCount(), 4);
    EXPECT_EQ(window.sg1->horizontalHeaderItem(1)->text(), QStringLiteral("FullName "));
    EXPECT_EQ(window.sg1->horizontalHeaderItem(3)->text(), QStringLiteral("e@Mail"));
    EXPECT_FALSE(window.sg1->horizontalHeader()->isHidden());
    EXPECT_EQ(cell(0, 0), QStringLiteral("1"));
    EXPECT_EQ(cell(0, 1), QStringLiteral("B\u00e4ckerei Gro\u00df"));
    EXPECT_EQ(cell(2, 2), QStringLiteral("030 7654321"));
    EXPECT_EQ(cell(3, 3), QStringLiteral("Paul Lehmann"));
    EXPECT_FALSE(pb1.isVisible());
    EXPECT_EQ(pb1.maximum(), 4);
    EXPECT_EQ(pb1.value(), 4);
}

TEST_F(TelBookTest, ChangingAChoiceImportsAgain)
{
    window.CbTelNumber->setCurrentIndex(2); // BusinessTelephoneNumber
    EXPECT_EQ(outlookAsked, 1);
    ASSERT_EQ(window.sg1->rowCount(), 4);
    EXPECT_EQ(cell(0, 2), QStringLiteral("0301234567"));
    window.CBTelName->setCurrentIndex(46); // LastName
    EXPECT_EQ(outlookAsked, 2);
    EXPECT_EQ(window.sg1->horizontalHeaderItem(1)->text(), QStringLiteral("LastName "));
    EXPECT_EQ(cell(1, 1), QStringLiteral("M\u00fcller"));
}

TEST_F(TelBookTest, EmptyFolderLeavesOnlyTheHeaderAndTheBarShowing)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    contactsFile = dir.filePath(QStringLiteral("leer.vcf"));
    QFile file(contactsFile);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    window.show();
    window.BtnRefreshClick();
    EXPECT_EQ(window.sg1->rowCount(), 0);
    EXPECT_FALSE(pb1.isHidden());
    EXPECT_EQ(pb1.value(), 0);
}

TEST_F(TelBookTest, ImportErrorsGoToTheErrorBox)
{
    window.BtnRefreshClick();
    ASSERT_EQ(window.sg1->rowCount(), 4);
    contactsFile = testpaths::fixturesDir() + QStringLiteral("/vcard/fehlt.vcf");
    window.BtnRefreshClick();
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors.first().contains(QStringLiteral("fehlt.vcf"))) << errors.first().toStdString();
    EXPECT_EQ(window.sg1->rowCount(), 4); // the file was not read: the grid keeps its rows
    EXPECT_THROW(window.ReadTelefonnumber(), FileError);
}

TEST_F(TelBookTest, FindAnnouncesAndShowsAFailedRequest)
{
    window.CbTelNumber->setCurrentIndex(2); // BusinessTelephoneNumber
    window.CBTelName->setCurrentIndex(28);  // FullName
    window.EdtFindNumber->setText(QStringLiteral("0301234567"));
    QTest::mouseClick(window.BtnFind, Qt::LeftButton);
    ASSERT_EQ(box.targets.size(), 1);
    EXPECT_TRUE(box.targets.first().endsWith("body=Anrufer:%200301234567%20:%20Baeckerei%20Gross"))
        << box.targets.first().toStdString();
    EXPECT_TRUE(errors.isEmpty());

    box.fail = true;
    QTest::mouseClick(window.BtnFind, Qt::LeftButton);
    ASSERT_EQ(errors.size(), 1);
    EXPECT_EQ(errors.first(), QStringLiteral("Die Box 192.0.2.1 antwortet nicht."));
}
