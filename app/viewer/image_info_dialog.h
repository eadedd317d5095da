#pragma once

#include <QDialog>
#include <QString>

class CVelvix;
class QLabel;
class QLineEdit;

// "Image Information": the file's name and folder, and the picture's size.
class CImageInfoDlg : public QDialog {
    Q_OBJECT
public:
    CImageInfoDlg(const QString& path, CVelvix& image, QWidget* parent = nullptr);

    QLineEdit* m_pFileName;  // 1061
    QLineEdit* m_pFolder;    // 1009
    QLabel* m_pWidth;
    QLabel* m_pHeight;
};
