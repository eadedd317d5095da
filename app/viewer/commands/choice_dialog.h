#pragma once

#include <QDialog>
#include <QStringList>

class QComboBox;

// "Choose": a text and a list of entries; the result is the chosen index.
class CChoiceDialog : public QDialog {
    Q_OBJECT
public:
    CChoiceDialog(const QString& text, const QStringList& entries, QWidget* parent = nullptr);

    int Choice() const;
    QComboBox* List() const { return m_pList; }

private:
    QComboBox* m_pList;
};
