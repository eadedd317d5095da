#pragma once

#include <QDialog>
#include <QString>

class CThumbnailStatic;
class QLabel;
class QPushButton;

// "Confirm file overwrite": both files side by side with their sizes and
// dates. The result is the button's number.
class CConfirmOverwriteDialog : public QDialog {
    Q_OBJECT
public:
    enum { kOverwrite = 1, kCancel = 2, kAutoRename = 3, kRename = 4 };

    CConfirmOverwriteDialog(const QString& source, const QString& target, QWidget* parent = nullptr);

    // "%i bytes" and "d-m-yyyy h:m:s" (UTC, no leading zeros) of a file.
    static QString SizeText(const QString& path);
    static QString DateText(const QString& path);

    CThumbnailStatic* SourceBox() const { return m_pSource; }
    CThumbnailStatic* TargetBox() const { return m_pTarget; }
    QLabel* SizeLabel(bool source) const { return source ? m_pSourceSize : m_pTargetSize; }
    QLabel* DateLabel(bool source) const { return source ? m_pSourceDate : m_pTargetDate; }
    QPushButton* Button(int number) const;

    void reject() override;

private:
    CThumbnailStatic* m_pSource;
    CThumbnailStatic* m_pTarget;
    QLabel* m_pSourceSize;
    QLabel* m_pTargetSize;
    QLabel* m_pSourceDate;
    QLabel* m_pTargetDate;
    QPushButton* m_pButtons[4];
};
