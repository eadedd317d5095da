#pragma once

#include <QDialog>

#include <vector>

class QListWidget;

// The source manager's list of sources to pick from.
class CSourceChooserDialog : public QDialog {
    Q_OBJECT
public:
    CSourceChooserDialog(QWidget* parent, const std::vector<QString>& names, int current);

    // The chosen row, or -1 when the user cancels.
    static int Choose(QWidget* parent, const std::vector<QString>& names, int current);

private:
    QListWidget* m_pList;
};
