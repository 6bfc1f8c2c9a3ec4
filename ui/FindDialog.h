#pragma once
// The small non-modal Find dialog over the table's search (table/FindSearch.h).
#include "table/FindSearch.h"

#include <QDialog>
#include <QString>
#include <QStringList>

class ParameterTable;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

class FindDialog : public QDialog {
    Q_OBJECT
public:
    explicit FindDialog(QWidget* parent = nullptr);

    QString findText() const;
    void setFindText(const QString& text);
    bool matchCase() const;
    bool wholeWord() const;
    // Find Next can be pressed only with a text and while finding is offered.
    void setFindOffered(bool on);
    // Captions from the table's section of the language file; a missing key keeps the English.
    void ApplyLanguage(const QString& languageIniPath);

    QLabel* FindLabel = nullptr;
    QLineEdit* FindEdit = nullptr;
    QCheckBox* MatchCase = nullptr;
    QCheckBox* WholeWord = nullptr;
    QPushButton* FindNextButton = nullptr;
    QPushButton* CancelButton = nullptr;

signals:
    // Find Next was pressed (or Enter in the text).
    void findNext();
    // Cancel, Esc or the window's close button.
    void closed();

protected:
    // Every way the dialog ends (Cancel, Esc, the close button) comes through here.
    void done(int result) override;

private:
    void updateButton();
    bool offered_ = true;
};
