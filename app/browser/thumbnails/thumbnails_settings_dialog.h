#pragma once

#include <QDialog>

class CThumbnailsView;
class QLineEdit;
class QPushButton;
class QSpinBox;

// "Thumbnails Settings": the size of the thumbnails, applied to the view
// while it is typed; Cancel puts the size back.
class CThumbnailsSettingsDlg : public QDialog {
    Q_OBJECT
public:
    CThumbnailsSettingsDlg(CThumbnailsView* view, QWidget* parent = nullptr);

    void accept() override;
    void reject() override;

    QLineEdit* m_pSize;    // 1019
    QSpinBox* m_pSpin;     // 1020
    QPushButton* m_pOk;

private:
    void _OnEdited(const QString& text);
    // The value when it parses and lies in 48 ... 1024.
    bool _Value(int& value) const;

    CThumbnailsView* m_pView;
    int m_nOriginalSize;
};
