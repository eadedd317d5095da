#pragma once

#include <QDialog>
#include <QString>

class QLineEdit;
class QPushButton;

// "Rename File": the name without its extension. OK is refused while the
// name is empty or holds a "." or a "/" (the extension stays, and a name is
// never a path).
class CRenameDialog : public QDialog {
    Q_OBJECT
public:
    explicit CRenameDialog(const QString& name, QWidget* parent = nullptr);

    QString GetName() const;
    QLineEdit* Edit() const { return m_pEdit; }
    QPushButton* OriginalButton() const { return m_pOriginal; }
    QPushButton* SerialButton() const { return m_pSerial; }

    void accept() override;

private:
    QString m_strOriginal;
    QLineEdit* m_pEdit;
    QPushButton* m_pOriginal;
    QPushButton* m_pSerial;
};
