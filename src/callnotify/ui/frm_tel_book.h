#pragma once

// The phone book window: the imported contacts in the grid sg1, the two property choices that
// decide what is imported as name and number, the Refresh, Find and Close buttons, the search
// field, and the option to recognise other notations of a number. The rows themselves live in
// PhoneBook; the search and announcement in CallHandler.

#include <QDialog>

#include <functional>

struct ConfigSettings;
class CallHandler;
class Outlook;
class PhoneBook;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTableWidget;

struct TelBookDeps
{
    PhoneBook *phoneBook = nullptr;
    // Find runs its search and announcement; without one Find does nothing.
    CallHandler *callHandler = nullptr;
    // The contacts source as configured now; nullptr counts as "not installed".
    std::function<Outlook *()> outlook;
    // The main window's progress bar, shown during an import.
    QProgressBar *pb1 = nullptr;
    // The application's error box; QMessageBox::critical when unset.
    std::function<void(QWidget *, const QString &)> showError;
};

class TFrmTelBook final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TFrmTelBook)

public:
    explicit TFrmTelBook(TelBookDeps deps, QWidget *parent = nullptr);
    ~TFrmTelBook() override;

    // Imports the contacts with the current choices; throws what the import throws (start-up
    // lets the error end its sequence).
    void ReadTelefonnumber();
    // Refresh and combo changes: the import, with an error shown in the error box.
    void BtnRefreshClick();
    // Search EdtFindNumber's text and announce; an error is shown in the error box.
    void BtnFindClick();
    void BtnCloseClick();

    // "FrmTelBook" keys: CBTelName, CBTelNumber, MatchNotations. Loading imports nothing.
    void loadSettings(const ConfigSettings &settings);
    void storeSettings(ConfigSettings &settings) const;

    // Shows the phone book's rows in sg1 (after an import).
    void showRows();

    QComboBox *CBTelName;
    QComboBox *CbTelNumber;
    QCheckBox *chkMatchNotations;
    QTableWidget *sg1;
    QPushButton *BtnRefresh;
    QPushButton *BtnFind;
    QPushButton *BtnClose;
    QLineEdit *EdtFindNumber;

private:
    void reportError(const QString &text);

    TelBookDeps m_deps;
};
